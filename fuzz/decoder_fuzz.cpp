// Untrusted bytes from the serial line through the frame assembler and record decoder, split
// into received-character events of fuzzer-chosen sizes. Checks the decoder's promises: rows stay
// within 1..31, the header row is never written, and the line buffer stays bounded.
//
// Input: one byte of flags, one byte choosing the event sizes, then the line's bytes (at most
// kMaxStreamBytes are fed). The decoder's whole state is the line being assembled, the escape
// flag, the row counter and the last status time, so the flags set that state up directly
// (a line a few bytes short of its limit, a pending escape, a counter about to wrap): what a
// long stream could reach, a short input reaches too, and every input stays cheap.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/ReceiveDecoder.h"

namespace {

constexpr size_t kMaxStreamBytes = 64;

struct CheckingView : CaptureView {
    void SetCell(int col, int row, const std::string& text) override {
        if (col < 0 || col > 5 || row < 1 || row > 31 || text.size() > 64) std::abort();
    }
    void SelectCell(int col, int row) override {
        if (col != 0 || row < 1 || row > 31) std::abort();
    }
    void SetUnitId(double v) override {
        if (!(v >= 0 && v <= 255)) std::abort();
    }
    void SetUnitName(const std::string& text) override {
        if (text.size() > 16) std::abort();  // 8 Latin-1 bytes are at most 16 UTF-8 bytes
    }
    bool FilterChecked() const override { return filter; }
    bool filter = false;
};

} // namespace

// The harness reads at most this much of an input; libFuzzer is told so unless its command line
// says otherwise, so it spends no mutations on bytes nobody reads.
constexpr size_t kMaxInputBytes = 2 + kMaxStreamBytes;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], "-max_len=", 9) == 0) return 0;
    }
    static std::vector<char*> args;
    static std::string maxLen = "-max_len=" + std::to_string(kMaxInputBytes);
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, maxLen.data());
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t flags = data[0];
    const uint8_t chunkSeed = data[1];
    const uint8_t* stream = data + 2;
    const size_t streamSize = std::min(size - 2, kMaxStreamBytes);

    // One decoder for every input, its state set afresh: nothing is built or allocated per input.
    static CheckingView view;
    static double clock = 46000.0;
    static double step = 0;
    static ReceiveDecoder rx(view, [] { return clock += step; }, ":");
    view.filter = (flags & 1) != 0;
    // Records a tenth of the filter's span apart, or twice it, so both sides of it are reached.
    step = (flags & 0x10) ? 2.0 * ReceiveDecoder::kStatusFilterDays : ReceiveDecoder::kStatusFilterDays / 10;
    clock = 46000.0;
    rx.ResetFraming();
    rx.DeviceFound = false;
    rx.LastStatusTime = 0.0;
    rx.RowCounter = (flags & 2) ? std::numeric_limits<int32_t>::max() - (chunkSeed & 63) : 1 + (chunkSeed & 31);
    if (flags & 4) rx.EscapeState = 1;
    if (flags & 8) rx.RxLine.assign(ReceiveDecoder::kMaxLineLength - (chunkSeed & 7), 'x');

    size_t pos = 0;
    while (pos < streamSize) {
        const size_t chunk = 1 + (chunkSeed + pos) % 37;
        size_t available = streamSize - pos;
        // Sometimes announce more bytes than are there: the read then delivers nothing.
        rx.ReceiveBytes(static_cast<int32_t>(chunk), [&](uint8_t& b) {
            if (available == 0) return false;
            b = stream[pos++];
            --available;
            return true;
        });
        if (rx.RxLine.size() > ReceiveDecoder::kMaxLineLength) std::abort();
        if (rx.RowCounter < 1) std::abort();
        if (rx.DeviceFound) rx.DeviceFound = false;
    }
    return 0;
}
