// The write path: direct writes on a pseudo-terminal, the writer thread and its queue on the
// scripted device (which can stall the line and take part of a block).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PtyPair.h"
#include "ReportRecorder.h"
#include "Wait.h"
#include "serial/VaComm.h"
#include "serial/VaCommWriteThread.h"
#include "FakeDevice.h"
#include "toolkit/SysUtils.h"

using namespace std::chrono_literals;
using serialdev::FakeLine;
using serialdev::FakeOpenerScope;
using testsupport::ReportRecorder;
using testsupport::WaitUntil;


namespace {

// A writer thread on the scripted line; no event thread.
struct QueuedPort {
    explicit QueuedPort(int32_t writeSize = 16, int32_t writeTimeout = 100) : scope(line) {
        c.SetMonitorEvents({});
        c.SetDirectWrite(false);
        c.Buffers().SetWriteSize(writeSize);
        c.Buffers().SetWriteTimeout(writeTimeout);
        c.OnTxEmpty = [this](toolkit::TObject*) { ++txEmpty; };
    }
    std::string WriteError(const std::string& bytes) {
        try {
            c.WriteBuf(bytes.data(), static_cast<int32_t>(bytes.size()));
        } catch (const EVaCommError& e) {
            return e.Message();
        }
        return "";
    }
    int32_t Queued() { return c.WriteThread()->QueuedBytes(); }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    FakeOpenerScope scope;
    TVaComm c;
    int txEmpty = 0;
};

} // namespace

TEST(WriteBuffer, RemovesNoMoreThanItHoldsAndRefusesOverflow) {
    TVaCommBuffer b(4);
    b.Append("abc", 3);
    EXPECT_THROW(b.Append("de", 2), toolkit::Exception);
    EXPECT_EQ(b.Size(), 3);
    b.Remove(1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Memory()), 2), "bc");
    b.Remove(10);
    EXPECT_EQ(b.Size(), 0);
    b.Remove(-1);
    EXPECT_EQ(b.Size(), 0);
}

TEST(WriteDirect, WritesOnThePortAndAnswersNothingWhenClosed) {
    TVaComm closed;
    EXPECT_TRUE(closed.WriteText(""));
    EXPECT_FALSE(closed.WriteText("x"));
    EXPECT_FALSE(closed.WriteChar('N'));
    EXPECT_EQ(closed.WriteBuf("x", 1), 0);

    testsupport::PtyPair pty;
    TVaComm c;
    c.SetDeviceName(pty.SlavePath());
    c.SetMonitorEvents({});
    c.SetDirectWrite(true);
    c.Open();
    EXPECT_EQ(c.WriteThread(), nullptr);
    EXPECT_TRUE(c.WriteChar('N'));
    EXPECT_TRUE(c.WriteText(std::string("S\x01\x02\r", 4)));
    EXPECT_TRUE(c.WriteText(""));
    EXPECT_EQ(pty.Receive(5), std::string("NS\x01\x02\r", 5));
    c.Close();
}

TEST(WriteQueued, ExactlyWriteSizeQueuesAtOnceOneMoreFailsAfterTheTimeout) {
    QueuedPort p(16, 100);
    p.line->SetWriteCapacity(0);  // the line takes nothing: the queue stays as filled
    p.c.Open();
    EXPECT_EQ(p.WriteError(std::string(17, 'x')), "Output buffer is full. Please check comm status.");
    EXPECT_EQ(p.c.WriteBuf("0123456789abcdef", 16), 16);
    EXPECT_EQ(p.Queued(), 16);
    EXPECT_EQ(p.WriteError("x"), "Output buffer is full. Please check comm status.");
    EXPECT_EQ(p.Queued(), 16);
    TVaComStat stat;
    p.c.GetComStat(stat);
    EXPECT_EQ(stat.OutQueue, 16u) << "bytes still in the writer's queue count as output";
    p.c.Close();  // with the line stalled: the writer ends all the same
    EXPECT_EQ(p.c.WriteThread(), nullptr);
}

TEST(WriteQueued, WriteSizeRaisedWhileOpenCannotOverflowTheQueue) {
    QueuedPort p(16, 50);
    p.c.Open();
    EXPECT_THROW(p.c.Buffers().SetWriteSize(64), EVaCommError);  // refused, but kept
    EXPECT_EQ(p.WriteError(std::string(20, 'y')), "Output buffer is full. Please check comm status.");
    p.c.Close();
}

TEST(WriteQueued, PartialWritesDrainAndTxEmptyComesOncePerEmptiedQueue) {
    QueuedPort p;
    p.line->SetWriteCapacity(3);
    p.c.Open();
    EXPECT_EQ(p.c.WriteBuf("abcdefghij", 10), 10);  // returns before anything is sent
    ASSERT_TRUE(WaitUntil([&] { return p.line->Written() == "abc"; }));
    EXPECT_EQ(p.txEmpty, 0);
    p.line->SetWriteCapacity(-1);  // the line takes the rest
    ASSERT_TRUE(WaitUntil([&] { return p.txEmpty == 1; }));
    EXPECT_EQ(p.line->Written(), "abcdefghij");
    EXPECT_EQ(p.Queued(), 0);
    EXPECT_TRUE(p.c.WriteText(""));  // an empty block: one more TxEmpty, nothing written
    ASSERT_TRUE(WaitUntil([&] { return p.txEmpty == 2; }));
    EXPECT_EQ(p.line->Written(), "abcdefghij");
    p.c.Close();
    EXPECT_EQ(p.txEmpty, 2);
}

TEST(WriteQueued, PurgeOfInputOnlyLeavesTheQueueOtherFlagsFlushIt) {
    QueuedPort p;
    p.line->SetWriteCapacity(0);
    p.c.Open();
    ASSERT_EQ(p.c.WriteBuf("abcd", 4), 4);
    p.c.Purge(PURGE_RXABORT | PURGE_RXCLEAR);  // 10
    EXPECT_EQ(p.Queued(), 4);
    p.c.Purge(PURGE_TXCLEAR);
    EXPECT_EQ(p.Queued(), 0);
    // The write request is still standing: the writer writes the empty queue and says so.
    EXPECT_TRUE(WaitUntil([&] { return p.txEmpty == 1; }));
    EXPECT_EQ(p.line->Written(), "");
    p.c.Close();
}

TEST(WriteQueued, ABlockThatFitsOnlyAfterDrainingIsQueuedOnceThereIsRoom) {
    QueuedPort p(8, 5000);
    p.line->SetWriteCapacity(4);
    p.c.Open();
    ASSERT_EQ(p.c.WriteBuf("01234567", 8), 8);
    // The writer takes four; the next four fit once they are gone.
    EXPECT_EQ(p.c.WriteBuf("89ab", 4), 4);
    p.line->SetWriteCapacity(-1);
    EXPECT_TRUE(WaitUntil([&] { return p.line->Written() == "0123456789ab"; }));
    p.c.Close();
}

TEST(WriteQueued, AThrowingTxEmptyHandlerIsReportedAndTheWriterGoesOn) {
    ReportRecorder reports;
    QueuedPort p;
    p.c.OnTxEmpty = [&](toolkit::TObject*) {
        ++p.txEmpty;
        if (p.txEmpty == 1) throw toolkit::Exception("tx handler broke");
    };
    p.c.Open();
    EXPECT_TRUE(p.c.WriteText("a"));
    ASSERT_TRUE(WaitUntil([&] { return reports.Count() == 1; }));
    EXPECT_TRUE(p.c.WriteText("b"));
    EXPECT_TRUE(WaitUntil([&] { return p.txEmpty == 2; }));
    EXPECT_EQ(p.line->Written(), "ab");
    EXPECT_EQ(reports.Entries()[0].Message, "tx handler broke");
    p.c.Close();
}

TEST(WriteQueued, AFailedWriteReportsLineErrorsAndKeepsTheBytes) {
    QueuedPort p;
    int32_t errors = 0;
    p.c.OnError = [&](toolkit::TObject*, int32_t Errors) { errors = Errors; };
    p.c.Open();
    FakeLine::Failures failures;
    failures.Write = EIO;
    p.line->SetFailures(failures);
    p.line->InjectLineErrors(CE_OVERRUN);
    EXPECT_TRUE(p.c.WriteText("keep"));
    ASSERT_TRUE(WaitUntil([&] { return errors != 0; }));
    EXPECT_EQ(errors, static_cast<int32_t>(CE_OVERRUN));
    EXPECT_EQ(p.Queued(), 4);
    p.line->SetFailures({});
    EXPECT_TRUE(WaitUntil([&] { return p.txEmpty == 1; }));
    EXPECT_EQ(p.line->Written(), "keep");
    p.c.Close();
}


// The writer posts its OnTxEmpty and goes on, so a purge made from that handler is answered:
// the bytes the handler queued behind a stalled line are dropped, and the port purge runs.
TEST(WriteQueued, APurgeFromOnTxEmptyIsAnsweredByTheWriter) {
    QueuedPort p(16, 1000);
    int32_t queuedAfterPurge = -1;
    int purgesAfterPurge = -1;
    p.c.OnTxEmpty = [&](toolkit::TObject*) {
        if (++p.txEmpty != 1) return;
        p.line->SetWriteCapacity(0);  // the writer waits for room with "xyz" queued
        p.c.WriteText("xyz");
        p.c.PurgeReadWrite();
        queuedAfterPurge = p.Queued();
        purgesAfterPurge = p.line->PurgeCount();
    };
    p.c.Open();
    const int purgesBefore = p.line->PurgeCount();
    EXPECT_TRUE(p.c.WriteText("ab"));
    // The write request still stands after the flush: the emptied queue is reported again.
    ASSERT_TRUE(WaitUntil([&] { return p.txEmpty == 2; }));
    EXPECT_EQ(queuedAfterPurge, 0);
    EXPECT_EQ(purgesAfterPurge, purgesBefore + 1);
    p.line->SetWriteCapacity(-1);
    EXPECT_EQ(p.line->Written(), "ab");
    p.c.Close();
}
