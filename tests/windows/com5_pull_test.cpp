// A USB adapter pulled out while the unit streams, as Windows shows it: the driver fails the
// port's calls (error 5; port_fault_shim.c, switched on by a trigger file) and the port leaves
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in either order. Either way the component tells the
// hang-up once and Close works; a port that keeps failing while listed is told as a failure.
// Run through unit-on-com5.sh, one case per Wine session.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/ReportRecorder.h"
#include "serial/VaComm.h"
#include "serial/platform/SerialDevice.h"
#include "serial/platform/windows/Api.h"
#include "toolkit/PortList.h"
#include "toolkit/Thread.h"
#include "toolkit/windows/UniqueKey.h"
#include "toolkit/windows/WideText.h"

namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kPortList = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

toolkit::MainThreadQueue& Queue() { return toolkit::MainThreadQueue::Instance(); }

bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
    return Queue().ServeUntil(done, limit);
}

// The Unix path of the trigger file as Wine shows it: on drive Z:.
std::wstring DosPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + toolkit::Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

class PulledAdapter : public ::testing::Test {
protected:
    void SetUp() override {
        const char* trigger = std::getenv("TORVANE_PORT_FAULT_TRIGGER");
        if (std::getenv("TORVANE_UNIT_ON_COM5") == nullptr || trigger == nullptr) {
            GTEST_SKIP() << "run through unit-on-com5.sh with TORVANE_PORT_FAULT_TRIGGER";
        }
        FTrigger = DosPath(trigger);
        ::DeleteFileW(FTrigger.c_str());
        ASSERT_TRUE(FindListEntry()) << "COM5 is not in the registry's port list";
        // The system's own list, counted: the component reading it is the sign that it met an error.
        FPreviousCheck = serialdev::SetPortListedCheck([this, system = serialdev::SystemPortListedCheck()](const std::string& path) {
            const bool listed = system(path);
            Queue().Notify([this] { ++FListReads; });
            return listed;
        });

        comm.SetBaudrate(brUser);
        comm.SetUserBaudrate(500000);
        comm.SetStopbits(sb2);
        comm.SetMonitorEvents({ceRxChar});
        comm.SetEventPriority(tpHighest);
        comm.SetDirectWrite(true);
        comm.SetDeviceName(toolkit::PortNameToDevicePath("COM5"));
        comm.OnRxChar = [this](toolkit::TObject*, int32_t count) {
            for (int32_t i = 0; i < count; ++i) {
                uint8_t byte = 0;
                if (comm.ReadChar(byte) && byte == '\r') ++lines;
            }
        };
        comm.OnHangup = [this](toolkit::TObject*) { ++hangups; };
        comm.OnPortFailure = [this](toolkit::TObject*, int32_t error) {
            ++failures;
            failureError = error;
        };
        comm.Open();
        comm.PurgeReadWrite();
        ASSERT_TRUE(comm.WriteChar('N'));
        ASSERT_TRUE(ServeUntil([&] { return lines > 0; })) << "no handshake line after the probe";
        ASSERT_TRUE(comm.WriteText(std::string("ZS\0E\0P\nC4", 9)));
        ASSERT_TRUE(ServeUntil([&] { return lines > 20; })) << "the unit sends no records";
    }

    void TearDown() override {
        comm.Close();
        ::DeleteFileW(FTrigger.c_str());
        if (FUnlisted) Relist();
        if (FPreviousCheck) serialdev::SetPortListedCheck(std::move(FPreviousCheck));
    }

    // The port's calls fail from now on.
    void StartFault() {
        FListReads = 0;
        const HANDLE file = ::CreateFileW(FTrigger.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ::CloseHandle(file);
    }
    // Windows takes the adapter's port out of the list.
    void Unlist() {
        const toolkit::UniqueKey key = toolkit::OpenKey(HKEY_LOCAL_MACHINE, kPortList, KEY_SET_VALUE);
        ASSERT_TRUE(key.Valid());
        ASSERT_EQ(::RegDeleteValueW(key.Get(), FValueName.c_str()), ERROR_SUCCESS);
        FUnlisted = true;
    }
    void Relist() {
        const toolkit::UniqueKey key = toolkit::OpenKey(HKEY_LOCAL_MACHINE, kPortList, KEY_SET_VALUE);
        const std::wstring data = L"COM5";
        ::RegSetValueExW(key.Get(), FValueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    // Serves deliveries for `span`, whatever arrives.
    void ServeFor(std::chrono::milliseconds span) { ServeUntil([] { return false; }, span); }
    bool Told() const { return hangups + failures > 0; }

    testsupport::ReportRecorder reports;
    TVaComm comm;
    int lines = 0;
    int hangups = 0;
    int failures = 0;
    int failureError = 0;
    int FListReads = 0;  // changed through the queue's Notify

private:
    bool FindListEntry() {
        const toolkit::UniqueKey key = toolkit::OpenKey(HKEY_LOCAL_MACHINE, kPortList, KEY_QUERY_VALUE);
        if (!key.Valid()) return false;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256;
            wchar_t data[64] = {};
            DWORD dataSize = sizeof data - sizeof(wchar_t);
            DWORD type = 0;
            if (::RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
                ERROR_SUCCESS) {
                return false;
            }
            if (type == REG_SZ && std::wstring(data) == L"COM5") {
                FValueName.assign(name, nameLength);
                return true;
            }
        }
    }

    std::wstring FTrigger;
    std::wstring FValueName;
    bool FUnlisted = false;
    serialdev::PortListedCheck FPreviousCheck;
};

TEST_F(PulledAdapter, ErrorFirstThenTheListHalfASecondLaterIsAHangUp) {
    StartFault();
    ASSERT_TRUE(ServeUntil([&] { return FListReads > 0 || Told(); })) << "the failing port went unnoticed";
    ASSERT_FALSE(Told()) << "told before the port left the list";
    ServeFor(500ms);
    Unlist();
    ASSERT_TRUE(ServeUntil([&] { return Told(); })) << "the capture stays parked after the port left the list";
    EXPECT_EQ(hangups, 1);
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(comm.Active());  // the caller closes it, as for any hang-up
    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(reports.Count(), 0u);
}

TEST_F(PulledAdapter, ListFirstThenTheErrorHalfASecondLaterIsAHangUp) {
    Unlist();
    // Half a second of records at the unit's rate after the port left the list.
    const int before = lines;
    ASSERT_TRUE(ServeUntil([&] { return lines >= before + 25; })) << "the port stopped working when unlisted";
    EXPECT_FALSE(Told());
    StartFault();
    ASSERT_TRUE(ServeUntil([&] { return Told(); })) << "the failing, unlisted port went unnoticed";
    EXPECT_EQ(hangups, 1);
    EXPECT_EQ(failures, 0);
    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(reports.Count(), 0u);
}

TEST_F(PulledAdapter, ErrorsGoingOnWhileThePortStaysListedAreAFailure) {
    StartFault();
    ASSERT_TRUE(ServeUntil([&] { return Told(); })) << "the failing port leaves the capture parked";
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(failureError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(hangups, 0);
    EXPECT_GE(FListReads, 3) << "the list was not read again before giving up";
    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(reports.Count(), 0u);
}

} // namespace
