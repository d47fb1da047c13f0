// The write path. Minimal first version: direct writes only, no writer thread yet.
#include <mutex>

#include "VaComm.h"
#include "VaConst.h"

int32_t TVaCustomComm::WriteBuf(const void* Buffer, int32_t Count) {
    if (!Active() || Count < 0) return 0;
    std::lock_guard<TVaCriticalSection> lock(FWriteLock);
    size_t written = 0;
    const int error = FDevice->Write(static_cast<const uint8_t*>(Buffer), static_cast<size_t>(Count),
                                     FBuffers->WriteTimeout(), written);
    if (error != 0) RaiseCommError(vaconst::sWriteError, error);
    return static_cast<int32_t>(written);
}

bool TVaCustomComm::WriteText(const std::string& S) {
    const auto n = static_cast<int32_t>(S.size());
    return WriteBuf(S.data(), n) == n;
}

bool TVaCustomComm::WriteChar(uint8_t Ch) { return WriteBuf(&Ch, 1) == 1; }

void TVaCustomComm::ApplyWriteThreadPriority() {}

void TVaCustomComm::FlushWriteQueue() {}
