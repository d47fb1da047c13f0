// Untrusted bytes as a session file handed to the replay (`unit-sim --replay`), which takes files
// from anywhere. The reader must refuse what it cannot play with a reason, never misbehave, and
// play what it accepts the same way at every setup.
// Input: one byte of flags (bit 0: put the session header first, so the fuzzer works on the rows
// rather than on guessing the header), then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "SessionReplay.h"
#include "app/record/Columns.h"

namespace {
void Check(bool condition) {
    if (!condition) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string file = (data[0] & 1) ? record::HeaderRow() : std::string();
    file.append(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        unitsim::SessionReplay replay(unitsim::ReplayBytes(file), "fuzz.csv");
        Check(replay.IdentityRecord().empty() || replay.IdentityRecord().size() == 10);
        std::vector<std::string> first;
        for (int setup = 0; setup < 2; ++setup) {
            replay.Rewind();
            size_t n = 0;
            while (auto record = replay.Next()) {
                Check(!record->bytes.empty() && record->bytes.size() <= unitsim::SessionReplay::kMaxRowBytes);
                if (setup == 0) {
                    first.push_back(record->bytes);
                } else {
                    Check(n < first.size() && first[n] == record->bytes);
                }
                ++n;
            }
            Check(n == first.size());
            Check(n > 0);  // accepted only with a row to play
        }
    } catch (const std::runtime_error& e) {
        Check(std::string(e.what()).rfind("fuzz.csv", 0) == 0);  // the reason names the file
    }
    return 0;
}
