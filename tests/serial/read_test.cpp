// Reads, queue counts, line errors and purges.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "PtyPair.h"
#include "QuietPort.h"
#include "Wait.h"
#include "serial/VaComm.h"
#include "serial/VaInputQueue.h"
#include "FakeDevice.h"

using serialdev::FakeLine;
using serialdev::FakeOpenerScope;

using testsupport::QuietPort;

namespace {

// The pseudo-terminal hands bytes over a little later than the write: wait for them.
bool WaitForWaiting(TVaCustomComm& c, int32_t count) {
    return testsupport::WaitUntil([&] { return c.ReadBufUsed() >= count; });
}

std::string ReadAll(TVaCustomComm& c, int32_t count) {
    std::string out(static_cast<size_t>(count), '\0');
    out.resize(static_cast<size_t>(c.ReadBuf(out.data(), count)));
    return out;
}

} // namespace

TEST(Read, ClosedPortReadsNothingAndRaisesNothing) {
    TVaComm c;
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(c.ReadBuf(buffer, 4), 0);
    uint8_t ch = 9;
    EXPECT_FALSE(c.ReadChar(ch));
    EXPECT_EQ(c.ReadBufUsed(), 0);
    TVaComStat stat;
    stat.Errors = stat.InQueue = stat.OutQueue = 77;
    c.GetComStat(stat);
    EXPECT_EQ(stat.Errors, 0u);
    EXPECT_EQ(stat.InQueue, 0u);
    EXPECT_EQ(stat.OutQueue, 0u);
    c.PurgeReadWrite();
    EXPECT_FALSE(c.WriteChar('x'));
}

TEST(Read, ReadsWhatIsWaitingInOrder) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.Open();
    uint8_t ch = 0;
    EXPECT_FALSE(c.ReadChar(ch));  // nothing waiting: at once, no error
    EXPECT_EQ(c.ReadBufUsed(), 0);

    pty.Send("IWRX\r");
    ASSERT_TRUE(WaitForWaiting(c, 5));
    EXPECT_EQ(c.ReadBufUsed(), 5);
    EXPECT_EQ(ReadAll(c, 2), "IW");           // fewer than waiting
    EXPECT_EQ(c.ReadBufUsed(), 3);
    EXPECT_EQ(ReadAll(c, 100), "RX\r");       // more than waiting: what is there
    EXPECT_EQ(c.ReadBufUsed(), 0);

    pty.Send(std::string("\x00\xFF", 2));
    ASSERT_TRUE(WaitForWaiting(c, 2));
    ASSERT_TRUE(c.ReadChar(ch));
    EXPECT_EQ(ch, 0x00);
    ASSERT_TRUE(c.ReadChar(ch));
    EXPECT_EQ(ch, 0xFF);
    EXPECT_FALSE(c.ReadChar(ch));
}

TEST(Read, OwnQueueIsReadBeforeThePortAndCounted) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.Open();
    pty.Send("abc");
    ASSERT_TRUE(WaitForWaiting(c, 3));
    // What the event thread does: move the port's bytes into the component's queue.
    const TVaInputQueue::FillResult fill = c.InputQueue().FillFrom(*c.Device());
    EXPECT_EQ(fill.Added, 3u);
    pty.Send("de");
    ASSERT_TRUE(WaitForWaiting(c, 5));
    EXPECT_EQ(c.ReadBufUsed(), 5);
    EXPECT_EQ(ReadAll(c, 4), "abcd");
    EXPECT_EQ(ReadAll(c, 4), "e");
}

TEST(Read, PurgeDropsWaitingInput) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.Open();
    pty.Send("old bytes");
    ASSERT_TRUE(WaitForWaiting(c, 9));
    c.InputQueue().FillFrom(*c.Device());
    pty.Send("more");
    ASSERT_TRUE(WaitForWaiting(c, 13));
    c.PurgeReadWrite();
    EXPECT_EQ(c.ReadBufUsed(), 0);
    pty.Send("new");
    ASSERT_TRUE(WaitForWaiting(c, 3));
    EXPECT_EQ(ReadAll(c, 10), "new");
}

TEST(Read, HungUpLineReadsNothingWithoutError) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.Open();
    pty.CloseMaster();
    uint8_t ch = 0;
    EXPECT_FALSE(c.ReadChar(ch));
    EXPECT_TRUE(c.Device()->HungUp());
    EXPECT_EQ(c.ReadBufUsed(), 0);
}

TEST(ReadFake, LineErrorsAreReadOnceThenCleared) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    QuietPort(c, "fake");
    c.Open();
    line->InjectLineErrors(CE_FRAME | CE_OVERRUN);
    line->Feed("xy");
    TVaComStat stat;
    c.GetComStat(stat);
    EXPECT_EQ(stat.Errors, CE_FRAME | CE_OVERRUN);
    EXPECT_EQ(stat.InQueue, 2u);
    c.GetComStat(stat);
    EXPECT_EQ(stat.Errors, 0u);
    // ReadBufUsed reads the status too, and so clears what is pending.
    line->InjectLineErrors(CE_RXPARITY);
    EXPECT_EQ(c.ReadBufUsed(), 2);
    c.GetComStat(stat);
    EXPECT_EQ(stat.Errors, 0u);
}

TEST(ReadFake, DeviceFailuresRaiseTheirMessages) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    QuietPort(c, "fake");
    c.Open();
    FakeLine::Failures failures;
    failures.QueryStatus = EIO;
    failures.Purge = EBADF;
    failures.Read = EPERM;
    line->SetFailures(failures);
    TVaComStat stat;
    try {
        c.GetComStat(stat);
        ADD_FAILURE();
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message(), "Error retrieving statistics (5), Input/output error");
    }
    EXPECT_THROW(c.ReadBufUsed(), EVaCommError);
    try {
        c.Purge(PURGE_RXCLEAR);
        ADD_FAILURE();
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message(), "Error clearing buffers (9), Bad file descriptor");
    }
    uint8_t ch = 0;
    try {
        c.ReadChar(ch);
        ADD_FAILURE();
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message(), "Read error (1), Operation not permitted");
    }
    // The read lock was released on every way out: another thread can take it.
    std::thread other([&] {
        c.LockRead();
        c.UnlockRead();
    });
    other.join();
    EXPECT_TRUE(c.Active());
}

TEST(ReadFake, AbortOnlyPurgeLeavesTheQueues) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    QuietPort(c, "fake");
    c.Open();
    line->Feed("keep");
    c.Purge(PURGE_RXABORT | PURGE_TXABORT);
    EXPECT_EQ(line->PurgeCount(), 0);
    EXPECT_EQ(c.ReadBufUsed(), 4);
    c.Purge(PURGE_RXABORT | PURGE_RXCLEAR);
    EXPECT_EQ(line->PurgeCount(), 1);
    EXPECT_EQ(c.ReadBufUsed(), 0);
}

TEST(InputQueue, WrapsAroundStopsAtCapacityAndFindsWatchedEvents) {
    auto line = std::make_shared<FakeLine>();
    serialdev::FakeDevice device(line, "fake");
    TVaInputQueue queue(10);
    queue.Watch('F', true);
    int wakes = 0;
    queue.SetOnWake([&] { ++wakes; });
    line->Feed("0123456789ABCDEF");
    EXPECT_EQ(queue.FillFrom(device).Added, 10u);
    EXPECT_TRUE(queue.Full());
    EXPECT_EQ(queue.TakePendingEvents(), EV_RX80FULL);
    EXPECT_EQ(queue.FillFrom(device).Added, 0u);  // full: the port keeps the rest
    uint8_t out[16] = {};
    EXPECT_EQ(queue.Take(out, 7), 7u);
    EXPECT_EQ(wakes, 1);  // room made in a full queue
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 7), "0123456");
    EXPECT_EQ(queue.FillFrom(device).Added, 6u);  // wraps round the end
    EXPECT_EQ(queue.TakePendingEvents(), EV_RXFLAG | EV_RX80FULL);
    EXPECT_EQ(queue.TakePendingEvents(), 0u);
    size_t received = 0;
    EXPECT_EQ(queue.Read(&device, out, 16, received), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), received), "789ABCDEF");
    EXPECT_EQ(queue.Count(), 0u);
    // A reader that passes the watched byte on its way in leaves the event and a wake.
    line->Feed("xF");
    EXPECT_EQ(queue.Read(&device, out, 2, received), 0);
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(queue.TakePendingEvents(), EV_RXFLAG);
}
