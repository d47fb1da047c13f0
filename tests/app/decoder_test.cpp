// The frame assembler and record decoder, fed through a test double of the port's read side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "app/ReceiveDecoder.h"
#include "UnitWire.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct RecordingView : CaptureView {
    std::map<std::pair<int, int>, std::string> cells;  // (col,row) -> text
    std::pair<int, int> selected{-1, -1};
    double unitId = -1;
    std::string unitName = "unset";
    bool filter = false;
    int cellWrites = 0;

    void SetCell(int col, int row, const std::string& text) override {
        cells[{col, row}] = text;
        ++cellWrites;
    }
    void SelectCell(int col, int row) override { selected = {col, row}; }
    void SetUnitId(double v) override { unitId = v; }
    void SetUnitName(const std::string& t) override { unitName = t; }
    bool FilterChecked() const override { return filter; }
    std::string Cell(int col, int row) const {
        auto it = cells.find({col, row});
        return it == cells.end() ? std::string() : it->second;
    }
};

// The read side of the port: a queue of received bytes that ReadChar takes one at a time.
struct FakePort {
    std::deque<uint8_t> queue;
    void Receive(const Bytes& b) { queue.insert(queue.end(), b.begin(), b.end()); }
    bool ReadChar(uint8_t& out) {
        if (queue.empty()) return false;
        out = queue.front();
        queue.pop_front();
        return true;
    }
};

class DecoderTest : public ::testing::Test {
protected:
    RecordingView view;
    FakePort port;
    toolkit::TDateTime clock = toolkit::EncodeDateTime(2026, 12, 7, 9, 5, 3, 42);
    ReceiveDecoder rx{view, [this] { return clock; }, ":"};

    void SetUp() override { rx.RowCounter = 1; }

    // One received-characters event announcing everything queued.
    void Event() { rx.ReceiveBytes(static_cast<int32_t>(port.queue.size()), [this](uint8_t& b) { return port.ReadChar(b); }); }
    void Deliver(const Bytes& b) {
        port.Receive(b);
        Event();
    }
    void DeliverOneByteAtATime(const Bytes& b) {
        for (uint8_t x : b) Deliver({x});
    }
    std::vector<std::string> Row(int row) const {
        std::vector<std::string> r;
        for (int c = 0; c < 6; ++c) r.push_back(view.Cell(c, row));
        return r;
    }
};

const Bytes kStatus = {0x53, 0x00, 0x07, 0x2C, 0x64, 0x00, 0x01, 0x0D};

TEST_F(DecoderTest, StatusRecordFillsOneRowAndSelectsIt) {
    Deliver(kStatus);
    EXPECT_THAT(Row(1), ::testing::ElementsAre("7", "9:05:03.042", "12 R", "100", "0", "Yes"));
    EXPECT_EQ(rx.RowCounter, 2);
    EXPECT_EQ(view.selected, std::make_pair(0, 1));
    EXPECT_DOUBLE_EQ(rx.LastStatusTime, clock);
}

TEST_F(DecoderTest, EscapedBytesSplitsAndLineEndsDecodeTheSame) {
    Deliver({0x53, 0x00, 0x07, 0x2C, 0x64, 0x21, 0xFF, 0x01, 0x0D});  // byte 5 escaped
    DeliverOneByteAtATime(kStatus);
    // An escape byte that is the last byte of one event.
    Deliver({0x53, 0x00, 0x07, 0x2C, 0x64, 0x21});
    EXPECT_EQ(rx.EscapeState, 1);
    Deliver({0xFF, 0x01, 0x0D});
    for (int row = 1; row <= 3; ++row) EXPECT_EQ(Row(row), Row(1)) << "row " << row;
    EXPECT_EQ(rx.RowCounter, 4);
}

TEST_F(DecoderTest, EscapedLineEndIsPayloadNotTheEndOfTheLine) {
    Deliver({0x41, 0x21, 0x0D});
    EXPECT_EQ(rx.RxLine, std::string("A\xF2", 2));
    EXPECT_EQ(rx.EscapeState, 0);
}

TEST_F(DecoderTest, HandshakeSetsDeviceFoundAndLeavesTheRestQueued) {
    port.Receive({0x49, 0x57, 0x52, 0x58, 0x0D, 0x53, 0x00, 0x07});
    Event();
    EXPECT_TRUE(rx.DeviceFound);
    EXPECT_TRUE(rx.RxLine.empty());
    EXPECT_EQ(port.queue.size(), 3u);  // read at the next event
    rx.DeviceFound = false;
    Deliver({0x49, 0x57, 0x52, 0x58, 0x20, 0x0D});  // trailing blank: not the handshake
    EXPECT_FALSE(rx.DeviceFound);
    EXPECT_TRUE(rx.RxLine.empty());
}

TEST_F(DecoderTest, RowsTurnRoundAfterThirtyOne) {
    for (int i = 0; i < 31; ++i) Deliver(kStatus);
    EXPECT_EQ(view.selected.second, 31);
    view.cells.clear();
    Deliver(kStatus);
    EXPECT_EQ(view.selected.second, 1);
    EXPECT_EQ(view.Cell(0, 1), "7");
    EXPECT_EQ(view.cells.count({0, 0}), 0u) << "the header row is never written";
}

TEST_F(DecoderTest, RowCounterPastItsLargestValueKeepsRowsInRange) {
    rx.RowCounter = std::numeric_limits<int32_t>::max();
    std::vector<int> rows;
    for (int i = 0; i < 40; ++i) {
        Deliver(kStatus);
        rows.push_back(view.selected.second);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_GE(rows[i], 1);
        ASSERT_LE(rows[i], 31);
        if (i > 0) {
            EXPECT_EQ(rows[i], rows[i - 1] % 31 + 1) << "the rotation goes on without a jump";
        }
    }
    EXPECT_GT(rx.RowCounter, 0);
    EXPECT_EQ(CaptureRowFor(0), 31);  // never the header row, even for a counter not yet set
    EXPECT_GE(CaptureRowFor(std::numeric_limits<int32_t>::min()), 1);
}

TEST_F(DecoderTest, FilterPassesOnlyRecordsMoreThan200msApart) {
    view.filter = true;
    Deliver(kStatus);
    clock += 150 * toolkit::kMillisecondInDays;
    Deliver(kStatus);
    EXPECT_EQ(rx.RowCounter, 2) << "150 ms later: skipped";
    clock += 100 * toolkit::kMillisecondInDays;  // 250 ms after the shown one
    Deliver(kStatus);
    EXPECT_EQ(rx.RowCounter, 3);
    // The clock set back: skipped until it passes the last shown time by more than 200 ms.
    const toolkit::TDateTime shown = clock;
    clock = shown - 1000 * toolkit::kMillisecondInDays;
    Deliver(kStatus);
    EXPECT_EQ(rx.RowCounter, 3);
    clock = shown + 201 * toolkit::kMillisecondInDays;
    Deliver(kStatus);
    EXPECT_EQ(rx.RowCounter, 4);
}

TEST_F(DecoderTest, LastLbTexts) {
    EXPECT_EQ(LastLbText(0x2C), "12 R");
    EXPECT_EQ(LastLbText(0x83), "3 L*");
    EXPECT_EQ(LastLbText(0x00), "0");
    EXPECT_EQ(LastLbText(0xA0), "0*");
    EXPECT_EQ(LastLbText(0x6F), "no LB yet");
    EXPECT_EQ(LastLbText(0x5F), "31 L");  // bit 6 means nothing
}

TEST_F(DecoderTest, ShortStatusRecordsReadMissingBytesAsZero) {
    Deliver({0x53, 0x00, 0x07, 0x2C, 0x64, 0x05, 0x0D});  // six bytes: no lane change byte
    EXPECT_THAT(Row(1), ::testing::ElementsAre("7", "9:05:03.042", "12 R", "100", "5", "No"));
    Deliver({0x53, 0x0D});
    EXPECT_THAT(Row(2), ::testing::ElementsAre("0", "9:05:03.042", "0", "0", "0", "No"));
}

TEST_F(DecoderTest, NameRecordsOfAnyLength) {
    Deliver({0x4E, 0x05, 0x41, 0x42, 0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D});
    EXPECT_EQ(view.unitId, 5);
    EXPECT_EQ(view.unitName, "ABC");
    Deliver({0x4E, 0x07, 0x5A, 0x0D});  // three bytes
    EXPECT_EQ(view.unitId, 7);
    EXPECT_EQ(view.unitName, "Z");
    Deliver({0x4E, 0x05, 0x0D});
    EXPECT_EQ(view.unitName, "");
    Deliver({0x4E, 0x0D});  // one byte: identifier 0
    EXPECT_EQ(view.unitId, 0);
    Deliver({0x4E, 0x09, '1', '2', '3', '4', '5', '6', '7', '8', '9', 'X', 0x0D});  // only 8 name bytes
    EXPECT_EQ(view.unitName, "12345678");
    // Eight high bytes arrive as Latin-1 text.
    Deliver({0x4E, 0x01, 0xE9, 0xFF, 0xC0, 0x80, 0x81, 0xA0, 0xB5, 0xDF, 0x0D});
    EXPECT_EQ(view.unitName, "\xC3\xA9\xC3\xBF\xC3\x80\xC2\x80\xC2\x81\xC2\xA0\xC2\xB5\xC3\x9F");
}

struct ObservedRecords : RecordObserver {
    std::vector<std::pair<int, std::string>> status;  // row, bytes
    std::vector<std::string> names;
    void StatusShown(const ShownStatusRecord& r) override {
        status.emplace_back(r.Row, r.Bytes);
        EXPECT_EQ(r.Car, static_cast<uint8_t>(r.Bytes.size() > 2 ? r.Bytes[2] : 0));
    }
    void NameReceived(const ReceivedNameRecord& r) override { names.push_back(std::to_string(r.UnitId) + ":" + r.NameUtf8); }
};

TEST_F(DecoderTest, ObserversHearShownRecordsOnlyWithTheirUnescapedBytes) {
    ObservedRecords first, second;
    rx.AddObserver(&first);
    rx.AddObserver(&second);
    rx.AddObserver(&first);  // added once only
    Deliver({0x53, 0x00, 0x07, 0x2C, 0x21, 0xDE, 0x00, 0x01, 0x0D});  // drive 0x21, escaped
    Deliver({0x4E, 0x05, 0x41, 0x42, 0x0D, 0x58, 0x0D});
    view.filter = true;
    Deliver(kStatus);  // filtered: the table does not show it, so no one hears of it
    ASSERT_EQ(first.status.size(), 1u);
    EXPECT_EQ(first.status[0], std::make_pair(1, std::string("\x53\x00\x07\x2C\x21\x00\x01", 7)));
    EXPECT_EQ(first.names, std::vector<std::string>{"5:AB"});
    EXPECT_EQ(second.status, first.status);
    rx.RemoveObserver(&first);
    view.filter = false;
    Deliver(kStatus);
    EXPECT_EQ(first.status.size(), 1u);
    EXPECT_EQ(second.status.size(), 2u);
}

TEST_F(DecoderTest, OtherAndEmptyLinesAreDropped) {
    Deliver({0x0D, 0x0D, 0x58, 0x59, 0x0D, 0x0A, 0x0D});
    EXPECT_EQ(view.cellWrites, 0);
    EXPECT_TRUE(rx.RxLine.empty());
}

TEST_F(DecoderTest, ReadThatDeliversNothingEndsTheEvent) {
    port.Receive({0x53, 0x00});
    rx.ReceiveBytes(5, [this](uint8_t& b) { return port.ReadChar(b); });  // announces more than is there
    EXPECT_EQ(rx.RxLine, std::string("S\0", 2));
    int calls = 0;
    rx.ReceiveBytes(3, [&](uint8_t& b) { ++calls; b = 0x0D; return false; });  // stale byte must not count
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(rx.RxLine, std::string("S\0", 2));
    rx.ReceiveBytes(0, [&](uint8_t&) -> bool { ADD_FAILURE() << "nothing to read"; return false; });
    rx.ReceiveBytes(-4, [&](uint8_t&) -> bool { ADD_FAILURE() << "nothing to read"; return false; });
}

TEST_F(DecoderTest, OverlongLineIsDroppedAndTheNextLineDecodes) {
    Bytes noise(ReceiveDecoder::kMaxLineLength * 3, 0x53);
    Deliver(noise);
    EXPECT_LE(rx.RxLine.capacity(), ReceiveDecoder::kMaxLineLength + 64);
    Deliver({0x0D});
    EXPECT_EQ(view.cellWrites, 0) << "the overlong line is not decoded";
    Deliver(kStatus);
    EXPECT_EQ(view.Cell(0, 1), "7");
    // A line exactly at the limit still counts.
    Bytes longest(ReceiveDecoder::kMaxLineLength, 0x00);
    longest[0] = 0x53;
    longest[2] = 9;
    longest.push_back(0x0D);
    Deliver(longest);
    EXPECT_EQ(view.Cell(0, 2), "9");
}

TEST_F(DecoderTest, EscapeOnlyLinesAndRandomBytesStayBoundedAndGoodRecordsAfterDecode) {
    Deliver(Bytes(100000, 0x21));
    EXPECT_LE(rx.RxLine.size(), ReceiveDecoder::kMaxLineLength);
    uint32_t state = 12345;
    Bytes random(200000);
    for (auto& b : random) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    Deliver(random);
    EXPECT_LE(rx.RxLine.size(), ReceiveDecoder::kMaxLineLength);
    // Resynchronise: a line end (after a possible pending escape), then a good record.
    Deliver({0x00, 0x0D});
    const int before = rx.RowCounter;
    Deliver(kStatus);
    EXPECT_EQ(rx.RowCounter, before + 1);
    EXPECT_EQ(view.Cell(0, CaptureRowFor(before)), "7");
}

TEST_F(DecoderTest, SimulatedUnitRecordsRoundTrip) {
    for (uint32_t seq : {0u, 0x0Du, 0x21u, 0x210D0Du, 0xABCDEFu}) {
        for (bool escapeAll : {false, true}) {
            const std::string wire = unitsim::EncodeLine(unitsim::StatusPayload(seq), escapeAll);
            Deliver(Bytes(wire.begin(), wire.end()));
            const int row = view.selected.second;
            EXPECT_EQ(unitsim::SequenceFromFields(std::stoi(view.Cell(0, row)), std::stoi(view.Cell(3, row)),
                                                  std::stoi(view.Cell(4, row))),
                      seq);
        }
    }
}

TEST(TimeOfDay, FormatsWithTheLocaleSeparator) {
    EXPECT_EQ(toolkit::FormatTimeOfDay(toolkit::EncodeDateTime(2026, 1, 2, 9, 5, 3, 42), ":"), "9:05:03.042");
    EXPECT_EQ(toolkit::FormatTimeOfDay(toolkit::EncodeDateTime(2026, 1, 2, 23, 59, 59, 999), "."), "23.59.59.999");
    EXPECT_EQ(toolkit::FormatTimeOfDay(toolkit::EncodeDateTime(2026, 1, 2, 0, 0, 0, 0), ":"), "0:00:00.000");
}

} // namespace
