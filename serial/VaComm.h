#pragma once
// PLACEHOLDER until the serial component lands: the members the window uses, with the names and
// shapes the real component keeps. It opens nothing and reads nothing.
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/Classes.h"
#include "toolkit/ThreadPriority.h"

enum TVaBaudrate : uint8_t { brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
                             br38400, br56000, br57600, br115200, br128000, br256000 };
enum TVaStopbits : uint8_t { sb1, sb15, sb2 };
enum TVaControlDtr : uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts : uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum TVaCommEvent : uint8_t { ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag,
                              cePErr, ceRx80Full, ceEvent1, ceEvent2 };


using TVaCommRxCharEvent = std::function<void(toolkit::TObject* Sender, int32_t Count)>;

class TVaComm : public toolkit::TComponent {
public:
    explicit TVaComm(toolkit::TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    bool Active() const { return false; }
    void Open() {}
    void Close() {}
    bool ReadChar(uint8_t& Ch) { (void)Ch; return false; }
    bool WriteChar(uint8_t Ch) { (void)Ch; return false; }
    bool WriteText(const std::string& S) { return S.empty(); }
    void PurgeReadWrite() {}
    void SetDeviceName(const std::string& Value) { FDeviceName = Value; }
    const std::string& DeviceName() const { return FDeviceName; }
    TVaCommRxCharEvent OnRxChar;

private:
    std::string FDeviceName = "COM%d";
};
