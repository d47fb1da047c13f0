#include "ReceiveDecoder.h"

#include <algorithm>
#include <array>
#include <limits>

// The unit's wire format. The simulated unit (tools/unit-sim) keeps its own copy on purpose, so
// the two sides check each other in the tests.
namespace {
const char kHandshakeLine[] = "IWRX";
constexpr uint8_t kStatusRecord = 0x53;  // 'S'
constexpr uint8_t kNameRecord = 0x4E;    // 'N'
constexpr size_t kNameOffset = 2;
constexpr size_t kNameLength = 8;
} // namespace

int CaptureRowFor(int32_t rowCounter) {
    // ((n - 1) mod 31) + 1 for n >= 1; kept within 1..31 for any n.
    const int64_t zeroBased = (static_cast<int64_t>(rowCounter) - 1) % ReceiveDecoder::kDataRows;
    return static_cast<int>((zeroBased + ReceiveDecoder::kDataRows) % ReceiveDecoder::kDataRows) + 1;
}

int32_t NextRowCounter(int32_t rowCounter) {
    if (rowCounter == std::numeric_limits<int32_t>::max()) {
        // Continue the rotation with the smallest counter that names the next row.
        return CaptureRowFor(rowCounter) % ReceiveDecoder::kDataRows + 1;
    }
    return rowCounter + 1;
}

std::string Latin1ToUtf8UpToNul(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (b == 0) break;
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

ReceiveDecoder::ReceiveDecoder(CaptureView& view, ClockFn clock, std::string timeSeparator)
    : FView(view), FClock(std::move(clock)), FTimeSeparator(std::move(timeSeparator)) {}

void ReceiveDecoder::ReceiveBytes(int32_t Count, const ReadCharFn& readChar) {
    for (int32_t i = 0; i < Count; ++i) {
        uint8_t b = 0;
        if (!readChar(b)) return;  // nothing delivered: never act on a stale byte
        if (EscapeState == 1) {
            AppendToLine(static_cast<uint8_t>(b ^ 0xFF));
            EscapeState = 0;
            continue;
        }
        if (b == kEscapeByte) {
            EscapeState = 1;
        } else if (b == kLineEnd) {
            if (DecodeLine() == LineResult::Handshake) return;
        } else {
            AppendToLine(b);
        }
    }
}

void ReceiveDecoder::AddObserver(RecordObserver* observer) {
    if (observer && std::find(FObservers.begin(), FObservers.end(), observer) == FObservers.end())
        FObservers.push_back(observer);
}

void ReceiveDecoder::RemoveObserver(RecordObserver* observer) {
    FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), observer), FObservers.end());
}

void ReceiveDecoder::ClearLine() {
    RxLine.clear();
    FLineOverflowed = false;
}

void ReceiveDecoder::ResetFraming() {
    EscapeState = 0;
    ClearLine();
}

void ReceiveDecoder::AppendToLine(uint8_t b) {
    if (FLineOverflowed) return;
    if (RxLine.size() >= kMaxLineLength) {
        FLineOverflowed = true;
        RxLine.clear();
        RxLine.shrink_to_fit();
        return;
    }
    RxLine += static_cast<char>(b);
}

ReceiveDecoder::LineResult ReceiveDecoder::DecodeLine() {
    if (FLineOverflowed) {
        ClearLine();
        return LineResult::Other;
    }
    if (RxLine == kHandshakeLine) {
        DeviceFound = true;
        ClearLine();
        return LineResult::Handshake;
    }
    if (!RxLine.empty()) {
        const auto kind = static_cast<uint8_t>(RxLine[0]);
        if (kind == kStatusRecord) DecodeStatusRecord();
        else if (kind == kNameRecord) DecodeNameRecord();
    }
    ClearLine();
    return LineResult::Other;
}

uint8_t ReceiveDecoder::LineByte(size_t offset) const {
    // Offsets a short record does not carry read as 0.
    return offset < RxLine.size() ? static_cast<uint8_t>(RxLine[offset]) : 0;
}

void ReceiveDecoder::DecodeStatusRecord() {
    const toolkit::TDateTime t = FClock();
    if (FView.FilterChecked() &&
        static_cast<long double>(t) - static_cast<long double>(LastStatusTime) <= kStatusFilterDays) {
        return;
    }
    const int row = CaptureRowFor(RowCounter);
    record::Record& r = FRecord;
    r.time = FLocalClock.FromLocal(t);
    record::SetStatusValues(r, RxLine);
    const std::array<std::string, 6> cells = record::TableTexts(r, FTimeSeparator);
    for (int c = 0; c < 6; ++c) FView.SetCell(c, row, cells[static_cast<size_t>(c)]);
    FView.SelectCell(0, row);
    RowCounter = NextRowCounter(RowCounter);
    LastStatusTime = t;
    if (!FObservers.empty()) {
        const ShownStatusRecord shown{t,          row,          r.car, r.lastLb, r.drivePwm,
                                      r.brakePwm, r.laneChange, RxLine, r};
        for (RecordObserver* observer : FObservers) observer->StatusShown(shown);
    }
}

void ReceiveDecoder::DecodeNameRecord() {
    FView.SetUnitId(static_cast<double>(LineByte(1)));
    std::string name;
    if (RxLine.size() > kNameOffset) name = RxLine.substr(kNameOffset, kNameLength);
    std::string nameUtf8 = Latin1ToUtf8UpToNul(name);
    FView.SetUnitName(nameUtf8);
    if (!FObservers.empty()) {
        const ReceivedNameRecord record{LineByte(1), std::move(nameUtf8), RxLine};
        for (RecordObserver* observer : FObservers) observer->NameReceived(record);
    }
}
