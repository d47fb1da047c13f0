// Untrusted bytes from the serial line through the frame assembler and record decoder, split
// into received-character events of fuzzer-chosen sizes. Checks the decoder's promises: rows stay
// within 1..31, the header row is never written, and the line buffer stays bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/ReceiveDecoder.h"

namespace {

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    CheckingView view;
    view.filter = (data[0] & 1) != 0;
    double clock = 46000.0;
    ReceiveDecoder rx(view, [&clock] { return clock += 0.000001; }, ":");
    rx.RowCounter = (data[0] & 2) ? 2147483640 : 1;
    const uint8_t chunkSeed = data[1];
    size_t pos = 2;
    while (pos < size) {
        const size_t chunk = 1 + (chunkSeed + pos) % 37;
        size_t available = size - pos;
        // Sometimes announce more bytes than are there: the read then delivers nothing.
        const int32_t announced = static_cast<int32_t>(chunk);
        rx.ReceiveBytes(announced, [&](uint8_t& b) {
            if (available == 0) return false;
            b = data[pos++];
            --available;
            return true;
        });
        if (rx.RxLine.size() > ReceiveDecoder::kMaxLineLength) std::abort();
        if (rx.RowCounter < 1) std::abort();
        if (rx.DeviceFound) rx.DeviceFound = false;
    }
    return 0;
}
