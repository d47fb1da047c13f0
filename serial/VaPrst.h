#pragma once
// The component's settings sub-objects: queue sizes and wait limits, special characters,
// flow control.
#include <cstdint>

#include "VaClasses.h"
#include "VaTypes.h"

enum TVaControlDtr : uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts : uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

class TVaBuffers : public TVaPersistent {
public:
    std::string ClassName() const override { return "TVaBuffers"; }
    void Assign(const toolkit::TPersistent* Source) override;

    TVaIntW ReadSize() const { return FReadSize; }
    TVaIntW WriteSize() const { return FWriteSize; }
    TVaIntW ReadTimeout() const { return FReadTimeout; }
    TVaIntW WriteTimeout() const { return FWriteTimeout; }
    TVaIntW XonLimit() const { return FXonLimit; }
    TVaIntW XoffLimit() const { return FXoffLimit; }

    void SetReadSize(TVaIntW Value) { SetNotifying(FReadSize, Value); }
    void SetWriteSize(TVaIntW Value) { SetNotifying(FWriteSize, Value); }
    // The wait limits act at the next read or write; nobody needs telling.
    void SetReadTimeout(TVaIntW Value) { FReadTimeout = Value; }
    void SetWriteTimeout(TVaIntW Value) { FWriteTimeout = Value; }
    void SetXonLimit(TVaIntW Value) { SetNotifying(FXonLimit, Value); }
    void SetXoffLimit(TVaIntW Value) { SetNotifying(FXoffLimit, Value); }

private:
    void SetNotifying(TVaIntW& member, TVaIntW Value);

    TVaIntW FReadSize = 4096;
    TVaIntW FWriteSize = 2048;
    TVaIntW FReadTimeout = 1000;
    TVaIntW FWriteTimeout = 1000;
    TVaIntW FXonLimit = 1024;
    TVaIntW FXoffLimit = 1024;
};

class TVaEventChars : public TVaPersistent {
public:
    enum Index : int { ixXonChar = 1, ixXoffChar, ixErrorChar, ixEventChar, ixEofChar };

    std::string ClassName() const override { return "TVaEventChars"; }
    void Assign(const toolkit::TPersistent* Source) override;

    uint8_t XonChar() const { return FChars[ixXonChar]; }
    uint8_t XoffChar() const { return FChars[ixXoffChar]; }
    uint8_t ErrorChar() const { return FChars[ixErrorChar]; }
    uint8_t EventChar() const { return FChars[ixEventChar]; }
    uint8_t EofChar() const { return FChars[ixEofChar]; }

    // Stores and notifies even when the value is unchanged: re-applying is wanted then too.
    void SetEventChar(int AIndex, uint8_t Value);
    void SetXonChar(uint8_t Value) { SetEventChar(ixXonChar, Value); }
    void SetXoffChar(uint8_t Value) { SetEventChar(ixXoffChar, Value); }
    void SetErrorChar(uint8_t Value) { SetEventChar(ixErrorChar, Value); }
    void SetEventChar(uint8_t Value) { SetEventChar(ixEventChar, Value); }
    void SetEofChar(uint8_t Value) { SetEventChar(ixEofChar, Value); }

private:
    uint8_t FChars[6] = {0, 0x11, 0x13, 0x00, 0x00, 0x00};  // [0] unused: indices start at 1
};

class TVaFlowControl : public TVaPersistent {
public:
    std::string ClassName() const override { return "TVaFlowControl"; }
    void Assign(const toolkit::TPersistent* Source) override;

    bool OutCtsFlow() const { return FOutCtsFlow; }
    bool OutDsrFlow() const { return FOutDsrFlow; }
    TVaControlDtr ControlDtr() const { return FControlDtr; }
    TVaControlRts ControlRts() const { return FControlRts; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DsrSensitivity() const { return FDsrSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }

    void SetOutCtsFlow(bool Value) { SetNotifying(FOutCtsFlow, Value); }
    void SetOutDsrFlow(bool Value) { SetNotifying(FOutDsrFlow, Value); }
    void SetControlDtr(TVaControlDtr Value) { SetNotifying(FControlDtr, Value); }
    void SetControlRts(TVaControlRts Value) { SetNotifying(FControlRts, Value); }
    void SetXonXoffOut(bool Value) { SetNotifying(FXonXoffOut, Value); }
    void SetXonXoffIn(bool Value) { SetNotifying(FXonXoffIn, Value); }
    void SetDsrSensitivity(bool Value) { SetNotifying(FDsrSensitivity, Value); }
    void SetTxContinueOnXoff(bool Value) { SetNotifying(FTxContinueOnXoff, Value); }

private:
    template <class T>
    void SetNotifying(T& member, T Value) {
        if (member == Value) return;
        member = Value;
        Changed();
    }

    bool FOutCtsFlow = false;
    bool FOutDsrFlow = false;
    TVaControlDtr FControlDtr = dtrDisabled;
    TVaControlRts FControlRts = rtsDisabled;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDsrSensitivity = false;
    bool FTxContinueOnXoff = false;
};
