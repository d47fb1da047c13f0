// The port list as the registry gives it: string values in enumeration order, cut at a zero
// character; other value types and a missing key.
#include <gtest/gtest.h>

#include <windows.h>

#include "toolkit/PortList.h"
#include "toolkit/SysUtils.h"
#include "toolkit/windows/UniqueKey.h"

namespace {

// A scratch key under HKLM (the test's own Wine prefix), removed again afterwards.
class ScratchKey : public ::testing::Test {
protected:
    static constexpr const wchar_t* kPath = L"Software\\TorvaneTest\\SERIALCOMM";

    void SetUp() override {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPath);
        FKey = toolkit::CreateKey(HKEY_LOCAL_MACHINE, kPath, KEY_ALL_ACCESS);
        ASSERT_TRUE(FKey.Valid());
        FOptions.registryKey = "Software\\TorvaneTest\\SERIALCOMM";
    }
    void TearDown() override {
        FKey.Reset();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\TorvaneTest");
    }

    void SetString(const wchar_t* name, const std::wstring& data) {
        ASSERT_EQ(::RegSetValueExW(FKey.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    toolkit::UniqueKey FKey;
    toolkit::SerialPortListOptions FOptions;
};

// Value names sort as they are created: Windows enumerates in creation order, Wine in name order.
TEST_F(ScratchKey, StringValuesInRegistryOrderCutAtTheirFirstZero) {
    SetString(L"\\Device\\Serial0", L"COM3");
    SetString(L"\\Device\\Serial1", std::wstring(L"COM12\0junk", 10));
    SetString(L"\\Device\\Serial2", L"");
    SetString(L"\\Device\\Serial3", L"COM1");
    EXPECT_EQ(toolkit::ListSerialPorts(FOptions), (std::vector<std::string>{"COM3", "COM12", "", "COM1"}));
    // Read afresh each time: a port that appears in between is listed.
    SetString(L"\\Device\\Serial4", L"COM7");
    EXPECT_EQ(toolkit::ListSerialPorts(FOptions).size(), 5u);
}

TEST_F(ScratchKey, ValueOfAnotherTypeIsReportedByName) {
    SetString(L"\\Device\\Serial0", L"COM3");
    const DWORD number = 4;
    ASSERT_EQ(::RegSetValueExW(FKey.Get(), L"Odd", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    try {
        toolkit::ListSerialPorts(FOptions);
        FAIL() << "a number among the port names was accepted";
    } catch (const toolkit::Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'Odd'");
    }
}

TEST_F(ScratchKey, MissingKeyListsNothing) {
    FOptions.registryKey = "Software\\TorvaneTest\\NoSuchKey";
    EXPECT_TRUE(toolkit::ListSerialPorts(FOptions).empty());
}

TEST(PortNames, BecomeDevicePathsOnce) {
    EXPECT_EQ(toolkit::PortNameToDevicePath("COM5"), "\\\\.\\COM5");
    EXPECT_EQ(toolkit::PortNameToDevicePath("\\\\.\\COM12"), "\\\\.\\COM12");
}

} // namespace
