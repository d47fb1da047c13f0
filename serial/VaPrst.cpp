#include "VaPrst.h"

void TVaBuffers::SetNotifying(TVaIntW& member, TVaIntW Value) {
    if (member == Value) return;
    member = Value;
    Changed();
}

void TVaBuffers::Assign(const toolkit::TPersistent* Source) {
    const auto* from = dynamic_cast<const TVaBuffers*>(Source);
    if (from == nullptr) return TVaPersistent::Assign(Source);
    CopyNotifyingOnce([&] {
        FReadSize = from->FReadSize;
        FReadTimeout = from->FReadTimeout;
        FWriteSize = from->FWriteSize;
        FWriteTimeout = from->FWriteTimeout;
        FXonLimit = from->FXonLimit;
        FXoffLimit = from->FXoffLimit;
    });
}

void TVaEventChars::SetEventChar(int AIndex, uint8_t Value) {
    if (AIndex < ixXonChar || AIndex > ixEofChar) return;
    FChars[AIndex] = Value;
    Changed();
}

void TVaEventChars::Assign(const toolkit::TPersistent* Source) {
    const auto* from = dynamic_cast<const TVaEventChars*>(Source);
    if (from == nullptr) return TVaPersistent::Assign(Source);
    CopyNotifyingOnce([&] {
        SetXonChar(from->XonChar());
        SetXoffChar(from->XoffChar());
        SetErrorChar(from->ErrorChar());
        SetEventChar(from->EventChar());
        SetEofChar(from->EofChar());
    });
}

void TVaFlowControl::Assign(const toolkit::TPersistent* Source) {
    const auto* from = dynamic_cast<const TVaFlowControl*>(Source);
    if (from == nullptr) return TVaPersistent::Assign(Source);
    CopyNotifyingOnce([&] {
        SetOutCtsFlow(from->OutCtsFlow());
        SetOutDsrFlow(from->OutDsrFlow());
        SetControlDtr(from->ControlDtr());
        SetControlRts(from->ControlRts());
        SetXonXoffOut(from->XonXoffOut());
        SetXonXoffIn(from->XonXoffIn());
        SetDsrSensitivity(from->DsrSensitivity());
        SetTxContinueOnXoff(from->TxContinueOnXoff());
    });
}
