// The Windows device class and the component against the simulated unit on COM5 (a
// pseudo-terminal behind Wine's COM5; unit-on-com5.sh sets it up): the port list, probe and
// handshake, the setup command, 10,000 status records at line rate with none lost, the unit
// going away, and Close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "../support/ReportRecorder.h"
#include "serial/VaComm.h"
#include "toolkit/PortList.h"
#include "toolkit/Thread.h"

namespace {

constexpr uint32_t kRecords = 10000;

// Serves the component's deliveries until done() holds; the handlers that change what done()
// reads run right here, on this (the main) thread.
bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return toolkit::MainThreadQueue::Instance().ServeUntil(done, limit);
}

// Undoes the unit's escapes and cuts the stream into lines at each carriage return.
class LineCollector {
public:
    void Add(uint8_t byte) {
        if (FEscaped) {
            FLine += static_cast<char>(byte ^ 0xFF);
            FEscaped = false;
        } else if (byte == '!') {
            FEscaped = true;
        } else if (byte == '\r') {
            Lines.push_back(FLine);
            FLine.clear();
        } else {
            FLine += static_cast<char>(byte);
        }
    }
    std::vector<std::string> Lines;

private:
    std::string FLine;
    bool FEscaped = false;
};

// The sequence number the unit puts into a status record (see the simulated unit).
uint32_t Sequence(const std::string& line) {
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(line[i])); };
    return byte(1) | byte(4) << 8 | byte(5) << 16;
}

size_t CountHandshakes(const std::vector<std::string>& lines) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), std::string("IWRX")));
}

std::vector<uint32_t> StatusSequences(const std::vector<std::string>& lines) {
    std::vector<uint32_t> out;
    for (const std::string& line : lines) {
        if (line.size() >= 7 && line[0] == 'S') out.push_back(Sequence(line));
    }
    return out;
}

TEST(UnitOnCom5, ProbeSetupTenThousandRecordsHangUpAndClose) {
    if (std::getenv("TORVANE_UNIT_ON_COM5") == nullptr) GTEST_SKIP() << "run through unit-on-com5.sh";

    const std::vector<std::string> ports = toolkit::ListSerialPorts();
    ASSERT_NE(std::find(ports.begin(), ports.end(), "COM5"), ports.end()) << "COM5 is not in the registry's list";

    testsupport::ReportRecorder reports;
    TVaComm comm;
    comm.SetBaudrate(brUser);
    comm.SetUserBaudrate(500000);
    comm.SetStopbits(sb2);
    comm.EventChars().SetEventChar(13);
    comm.EventChars().SetEofChar(13);
    comm.SetMonitorEvents({ceRxChar});
    comm.SetEventPriority(tpHighest);
    comm.SetDirectWrite(true);
    comm.SetDeviceName(toolkit::PortNameToDevicePath("COM5"));
    LineCollector collector;
    comm.OnRxChar = [&](toolkit::TObject*, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            uint8_t byte = 0;
            if (comm.ReadChar(byte)) collector.Add(byte);
        }
    };
    bool hungUp = false;
    comm.OnHangup = [&](toolkit::TObject*) { hungUp = true; };

    comm.Open();
    EXPECT_EQ(comm.DevicePath(), "\\\\.\\COM5");
    TVaComStat stat;
    comm.GetComStat(stat);

    comm.PurgeReadWrite();
    ASSERT_TRUE(comm.WriteChar('N'));
    ASSERT_TRUE(ServeUntil([&] { return CountHandshakes(collector.Lines) > 0; }))
        << "no handshake line after the probe";

    ASSERT_TRUE(comm.WriteText(std::string("ZS\0E\0P\nC4", 9)));
    ASSERT_TRUE(ServeUntil([&] { return StatusSequences(collector.Lines).size() >= kRecords; },
                                       std::chrono::seconds(120)))
        << StatusSequences(collector.Lines).size() << " status records arrived";
    const std::vector<uint32_t> sequences = StatusSequences(collector.Lines);
    ASSERT_EQ(sequences.size(), kRecords);
    for (uint32_t i = 0; i < kRecords; ++i) ASSERT_EQ(sequences[i], i) << "record " << i << " lost or repeated";

    std::printf("unplug-unit\n");
    std::fflush(stdout);
    ASSERT_TRUE(ServeUntil([&] { return hungUp; }, std::chrono::seconds(30))) << "the hang-up went unnoticed";
    EXPECT_TRUE(comm.Active());
    uint8_t byte = 0;
    EXPECT_FALSE(comm.ReadChar(byte));

    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(reports.Count(), 0u);
}

TEST(Ports, MissingPortIsNotFoundWithoutAnErrorNumber) {
    TVaComm comm;
    comm.SetDeviceName("COM%d");
    comm.SetPortNum(77);
    try {
        comm.Open();
        FAIL() << "COM77 opened";
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message(), "Specified device not found (\\\\.\\COM77).");
    }
    EXPECT_FALSE(comm.Active());
}

} // namespace
