// The Windows rule for a unit pulled out: the port list read from the registry (a scratch key
// in the test's own Wine prefix in place of HARDWARE\DEVICEMAP\SERIALCOMM), and which errors of
// the port then mean the line is gone.
#include <gtest/gtest.h>

#include <string>

#include "serial/platform/SerialDevice.h"
#include "serial/platform/windows/Api.h"  // <windows.h> as the device layer has it
#include "serial/platform/windows/Comm.h"
#include "toolkit/windows/UniqueKey.h"

namespace {

constexpr const wchar_t* kKey = L"Software\\TorvaneRemovalTest\\SERIALCOMM";

class ScratchPortList : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\TorvaneRemovalTest");
        FKey = toolkit::CreateKey(HKEY_LOCAL_MACHINE, kKey, KEY_ALL_ACCESS);
        ASSERT_TRUE(FKey.Valid());
        Set(L"\\Device\\Serial0", L"COM3");
        Set(L"\\Device\\USBSER000", L"COM7");
        FPrevious = serialdev::SetPortListedCheck(serialdev::SystemPortListedCheck("Software\\TorvaneRemovalTest\\SERIALCOMM"));
    }
    void TearDown() override {
        serialdev::SetPortListedCheck(std::move(FPrevious));
        FKey.Reset();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\TorvaneRemovalTest");
    }
    void Set(const wchar_t* name, const std::wstring& port) {
        ASSERT_EQ(::RegSetValueExW(FKey.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    // The adapter goes: Windows takes its value out of the list.
    void Unplug() { ASSERT_EQ(::RegDeleteValueW(FKey.Get(), L"\\Device\\USBSER000"), ERROR_SUCCESS); }

    toolkit::UniqueKey FKey;
    serialdev::PortListedCheck FPrevious;
};

} // namespace

TEST_F(ScratchPortList, APortIsListedByNameOrDevicePathInAnyCase) {
    EXPECT_TRUE(serialdev::IsPortListed("\\\\.\\COM7"));
    EXPECT_TRUE(serialdev::IsPortListed("com7"));
    EXPECT_FALSE(serialdev::IsPortListed("\\\\.\\COM70"));
    Unplug();
    EXPECT_FALSE(serialdev::IsPortListed("\\\\.\\COM7"));
    EXPECT_TRUE(serialdev::IsPortListed("\\\\.\\COM3"));
    // The last port gone and the key with it: nothing is listed.
    FKey.Reset();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\TorvaneRemovalTest");
    EXPECT_FALSE(serialdev::IsPortListed("\\\\.\\COM3"));
}

TEST_F(ScratchPortList, AValueThatCannotBeReadLeavesThePortListed) {
    Unplug();
    const DWORD number = 7;
    ASSERT_EQ(::RegSetValueExW(FKey.Get(), L"Odd", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    EXPECT_TRUE(serialdev::IsPortListed("\\\\.\\COM7"));  // cannot tell: not taken as gone
}

// Codes a USB serial driver answers once its adapter has gone.
TEST_F(ScratchPortList, AnyErrorMeansGoneOnceThePortLeftTheListAndOnlyTheLineCodesBefore) {
    const serialdev::RemovalWatch watch("\\\\.\\COM7");
    struct Case {
        DWORD Code;
        bool GoneWhileListed;  // a code that means the line went, listed or not
    };
    const Case cases[] = {{ERROR_ACCESS_DENIED, false},
                          {ERROR_BAD_COMMAND, true},
                          {ERROR_GEN_FAILURE, true},
                          {ERROR_OPERATION_ABORTED, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(serialdev::WindowsComm::MeansGone(c.Code, watch), c.GoneWhileListed) << c.Code;
    }
    EXPECT_FALSE(serialdev::WindowsComm::MeansGone(0, watch));
    Unplug();
    for (const Case& c : cases) EXPECT_TRUE(serialdev::WindowsComm::MeansGone(c.Code, watch)) << c.Code;
    EXPECT_FALSE(serialdev::WindowsComm::MeansGone(0, watch));

    // A port that was not listed when it opened is judged by its codes alone.
    const serialdev::RemovalWatch virtualPort("\\\\.\\CNCB0");
    EXPECT_FALSE(serialdev::WindowsComm::MeansGone(ERROR_ACCESS_DENIED, virtualPort));
    EXPECT_TRUE(serialdev::WindowsComm::MeansGone(ERROR_GEN_FAILURE, virtualPort));
}
