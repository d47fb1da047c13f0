// The write path: direct writes on the caller's thread, or queued for the writer thread.
#include <mutex>

#include "VaComm.h"
#include "VaCommWriteThread.h"
#include "VaConst.h"

int32_t TVaCustomComm::WriteBuf(const void* Buffer, int32_t Count) {
    if (!Active() || Count < 0 || (Buffer == nullptr && Count > 0)) return 0;
    if (!FDirectWrite && FWriteThread) {
        if (!FWriteThread->Enqueue(Buffer, Count)) RaiseCommError(vaconst::sOutputFull, 0);
        return Count;
    }
    // Waits up to WriteTimeout for room on the line and accepts a partial write: the result is
    // what went out, so a caller never sends bytes twice.
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
