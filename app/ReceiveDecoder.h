#pragma once
// The receive side of the window: the frame assembler (undoes the escaping and collects bytes
// until a carriage return) and the record decoder (handshake line, status and name records).
// Plain C++ so that it can be fuzzed and tested without a window; it writes through CaptureView.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/record/Record.h"
#include "app/record/TableText.h"
#include "toolkit/DateTime.h"

// What the decoder writes to. Texts are UTF-8.
class CaptureView {
public:
    virtual ~CaptureView() = default;
    virtual void SetCell(int col, int row, const std::string& text) = 0;
    virtual void SelectCell(int col, int row) = 0;
    virtual void SetUnitId(double value) = 0;
    virtual void SetUnitName(const std::string& text) = 0;
    virtual bool FilterChecked() const = 0;
};

// A status record as the table shows it, for those who keep or draw records beside the table.
struct ShownStatusRecord {
    toolkit::TDateTime Time = 0.0;  // the time shown in the row
    int Row = 0;                    // the row it went to (1..31)
    uint8_t Car = 0;
    uint8_t LastLb = 0;             // the byte behind the "Last LB" text
    uint8_t DrivePwm = 0;
    uint8_t BrakePwm = 0;
    bool LaneChange = false;
    const std::string& Bytes;       // the whole record, unescaped, without the line end
    const record::Record& Record;   // the same as a record (its time as an instant; no number, no unit)
};

// A name record as decoded.
struct ReceivedNameRecord {
    uint8_t UnitId = 0;
    std::string NameUtf8;
    const std::string& Bytes;  // the whole record, unescaped, without the line end
};

// Hears of each record right after the decoder has written it to the view, on the same thread.
// Observers must not feed bytes back into the decoder.
class RecordObserver {
public:
    virtual ~RecordObserver() = default;
    virtual void StatusShown(const ShownStatusRecord& record) = 0;
    virtual void NameReceived(const ReceivedNameRecord& record) = 0;
};

class ReceiveDecoder {
public:
    static constexpr uint8_t kEscapeByte = 0x21;
    static constexpr uint8_t kLineEnd = 0x0D;
    static constexpr int kDataRows = 31;
    // A peer that never sends a line end must not grow memory without bound: a line longer than
    // this is dropped whole at its line end, and decoding goes on with the next line.
    static constexpr size_t kMaxLineLength = 4096;
    // 200 ms in days, compared in extended precision.
    static constexpr long double kStatusFilterDays = 2.3148148148148148e-06L;

    using ReadCharFn = std::function<bool(uint8_t&)>;
    using ClockFn = std::function<toolkit::TDateTime()>;

    explicit ReceiveDecoder(CaptureView& view, ClockFn clock = toolkit::Now,
                            std::string timeSeparator = toolkit::LocaleTimeSeparator());

    // Handles one received-characters event: reads Count bytes one at a time with readChar.
    // Returns early after the handshake line (the rest stays queued for the next event) and when
    // readChar delivers nothing.
    void ReceiveBytes(int32_t Count, const ReadCharFn& readChar);

    // Empties the line being assembled (a probe, or Start), leaving the escape state alone.
    void ClearLine();
    // Empties the line and forgets a pending escape byte (Start).
    void ResetFraming();

    // The window's receive state, under the names the window's handlers use.
    bool DeviceFound = false;
    uint8_t EscapeState = 0;
    std::string RxLine;
    toolkit::TDateTime LastStatusTime = 0.0;
    int32_t RowCounter = 0;

    bool LineOverflowed() const { return FLineOverflowed; }

    // Observers are told in the order they were added; the caller keeps them alive until removed.
    void AddObserver(RecordObserver* observer);
    void RemoveObserver(RecordObserver* observer);

private:
    enum class LineResult { Handshake, Other };
    void AppendToLine(uint8_t b);
    LineResult DecodeLine();
    void DecodeStatusRecord();
    void DecodeNameRecord();
    uint8_t LineByte(size_t offset) const;

    CaptureView& FView;
    ClockFn FClock;
    std::string FTimeSeparator;
    bool FLineOverflowed = false;
    std::vector<RecordObserver*> FObservers;
    record::LocalClock FLocalClock;
    record::Record FRecord;
};

// Row (1..31) of the capture table that a status record with this sequence number goes to.
int CaptureRowFor(int32_t rowCounter);
// The sequence number after this one; past the largest value it wraps so the rows keep turning.
int32_t NextRowCounter(int32_t rowCounter);
using record::LastLbText;
// Bytes of the unit's 8-bit text (Latin-1) as UTF-8, up to the first zero byte.
std::string Latin1ToUtf8UpToNul(const std::string& bytes);
