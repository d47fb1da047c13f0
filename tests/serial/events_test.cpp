// The event thread and the dispatch of line events: real pseudo-terminals for received data,
// the scripted device for line errors and modem lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "ReportRecorder.h"
#include "Wait.h"
#include "serial/VaComm.h"
#include "serial/VaCommEventThread.h"
#include "FakeDevice.h"
#include "toolkit/SysUtils.h"
#include "toolkit/Thread.h"

using namespace std::chrono_literals;
using serialdev::FakeLine;
using serialdev::FakeOpenerScope;
using testsupport::ReportRecorder;
using testsupport::ServeFor;
using testsupport::WaitUntil;

namespace {

void WatchReceived(TVaCustomComm& c, const std::string& path) {
    c.SetDeviceName(path);
    c.SetMonitorEvents({ceRxChar});
    c.SetDirectWrite(true);
}

std::string ReadAll(TVaCustomComm& c) {
    std::string out(static_cast<size_t>(c.ReadBufUsed()), '\0');
    out.resize(static_cast<size_t>(c.ReadBuf(out.data(), static_cast<int32_t>(out.size()))));
    return out;
}

class RecordingReceiver : public TVaCommReceiver {
public:
    void NotifyEvents(uint32_t) override {}
    void NotifyData(PVaData Data, int32_t Count) override {
        Received.append(reinterpret_cast<const char*>(Data), static_cast<size_t>(Count));
    }
    std::string Received;
};

} // namespace

TEST(Events, RxCharRunsOnTheMainThreadAndUnreadBytesWaitForTheNextArrival) {
    testsupport::PtyPair pty;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    std::vector<int32_t> counts;
    bool allOnMain = true;
    c.OnRxChar = [&](toolkit::TObject* Sender, int32_t Count) {
        allOnMain = allOnMain && toolkit::MainThreadQueue::IsMainThread() && Sender == &c;
        counts.push_back(Count);  // reads nothing: the bytes stay waiting
    };
    c.Open();
    pty.Send("ab");
    ASSERT_TRUE(WaitUntil([&] { return !counts.empty() && counts.back() == 2; }));
    const size_t deliveries = counts.size();
    ServeFor(200ms);  // the two bytes left waiting must not wake the thread again
    EXPECT_EQ(counts.size(), deliveries);
    pty.Send("c");
    ASSERT_TRUE(WaitUntil([&] { return counts.back() == 3; }));
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(ReadAll(c), "abc");
    c.Close();
    EXPECT_EQ(c.EventThread(), nullptr);
}

// Ends with a Close while nothing arrives: Stop wakes the idle thread at once.
TEST(Events, BytesStayQueuedWithoutHandlerOrListeners) {
    testsupport::PtyPair pty;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    c.Open();
    pty.Send("xyz");
    EXPECT_TRUE(WaitUntil([&] { return c.ReadBufUsed() == 3; }));
    EXPECT_EQ(ReadAll(c), "xyz");
    c.Close();
}

TEST(Events, CloseRunsADeliveryAlreadyQueuedThenEndsTheThread) {
    testsupport::PtyPair pty;
    testsupport::HandOverSignal handedOver;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    std::string seen;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { seen += ReadAll(c); };
    c.Open();
    pty.Send("q");
    // Wait, without serving, until the event thread has handed its delivery over and blocks.
    ASSERT_TRUE(handedOver.Wait());
    c.Close();  // serves the delivery while it waits for the thread's end
    EXPECT_EQ(seen, "q");
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.EventThread(), nullptr);
}

// The thread does not wait for its delivery to run: what arrives meanwhile goes into the own
// queue, but the next set of events is handed over only after the first has ended, and finds
// the bytes already read by it.
TEST(Events, InputArrivingWhileADeliveryWaitsIsQueuedAndHandedOverAfterIt) {
    testsupport::PtyPair pty;
    testsupport::HandOverSignal handOvers;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    std::vector<std::string> seen;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { seen.push_back(ReadAll(c)); };
    c.Open();
    pty.Send("a");
    ASSERT_TRUE(handOvers.Wait());
    pty.Send("b");
    ASSERT_TRUE(WaitUntil([&] { return c.InputQueue().Count() == 2; }, testsupport::kPatience,
                          [] { std::this_thread::sleep_for(1ms); }));
    EXPECT_EQ(handOvers.Count(), 1);
    auto& queue = toolkit::MainThreadQueue::Instance();
    EXPECT_EQ(queue.ServeQueuedCalls(), 1u);
    EXPECT_EQ(seen, std::vector<std::string>{"ab"});
    ASSERT_TRUE(handOvers.Wait(testsupport::kPatience, 2));
    EXPECT_EQ(queue.ServeQueuedCalls(), 1u);
    EXPECT_EQ(seen, std::vector<std::string>{"ab"});  // nothing left to announce
    c.Close();
}

// Close waits for the thread, serves the queued delivery, and its handler closes the port too:
// the thread is stopped once, freed once, and OnClose comes once.
TEST(Events, AQueuedDeliveryWhoseHandlerClosesDuringCloseEndsTheThreadOnce) {
    testsupport::PtyPair pty;
    testsupport::HandOverSignal handedOver;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    int deliveries = 0;
    int closes = 0;
    c.OnClose = [&](toolkit::TObject*) { ++closes; };
    c.OnRxChar = [&](toolkit::TObject*, int32_t) {
        ++deliveries;
        c.Close();
    };
    c.Open();
    pty.Send("q");
    ASSERT_TRUE(handedOver.Wait());
    c.Close();
    EXPECT_EQ(deliveries, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.EventThread(), nullptr);
    // The component still opens and delivers afterwards.
    testsupport::PtyPair next;
    c.SetDeviceName(next.SlavePath());
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { ++deliveries; };
    c.Open();
    next.Send("y");
    EXPECT_TRUE(WaitUntil([&] { return deliveries == 2; }));
    c.Close();
    EXPECT_EQ(closes, 2);
}

TEST(Events, AHandlerThatThrowsIsReportedAndTheNextEventStillArrives) {
    testsupport::PtyPair pty;
    ReportRecorder reports;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    std::string seen;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) {
        seen += ReadAll(c);
        if (seen == "a") throw toolkit::Exception("handler broke");
    };
    c.Open();
    pty.Send("a");
    ASSERT_TRUE(WaitUntil([&] { return reports.Count() == 1; }));
    pty.Send("b");
    EXPECT_TRUE(WaitUntil([&] { return seen == "ab"; }));
    c.Close();
    ASSERT_EQ(reports.Count(), 1u);
    EXPECT_EQ(reports.Entries()[0].Message, "handler broke");
}

TEST(Events, AHandlerMayCloseThePortFromInsideItsDelivery) {
    testsupport::PtyPair pty;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    int deliveries = 0;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) {
        ++deliveries;
        c.Close();
    };
    c.Open();
    pty.Send("z");
    ASSERT_TRUE(WaitUntil([&] { return deliveries == 1; }));
    EXPECT_FALSE(c.Active());
    // Opening again gives a fresh thread; the retired one is awaited on the way.
    testsupport::PtyPair second;
    c.SetDeviceName(second.SlavePath());
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { ++deliveries; };
    c.Open();
    second.Send("y");
    EXPECT_TRUE(WaitUntil([&] { return deliveries == 2; }));
    c.Close();
}

// With listeners attached the component reads the bytes itself: active listeners and OnRxBuf
// get them, OnRxChar does not run; with listeners disabled only OnRxBuf does.
TEST(Events, ListenersTakeTheReceivedBytesInsteadOfOnRxChar) {
    testsupport::PtyPair pty;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    RecordingReceiver active, inactive;
    TVaCommListener on, off;
    on.Comm = off.Comm = &c;
    on.Receiver = &active;
    off.Receiver = &inactive;
    off.Active = false;
    c.Listeners().push_back(&on);
    c.Listeners().push_back(&off);
    int rxChars = 0;
    std::string rxBuf;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { ++rxChars; };
    c.OnRxBuf = [&](toolkit::TObject*, PVaData Data, int32_t Count) {
        rxBuf.append(reinterpret_cast<const char*>(Data), static_cast<size_t>(Count));
    };
    c.Open();
    pty.Send("ab");
    ASSERT_TRUE(WaitUntil([&] { return rxBuf == "ab"; }));
    EXPECT_EQ(active.Received, "ab");
    EXPECT_EQ(inactive.Received, "");
    EXPECT_EQ(c.ReadBufUsed(), 0);
    c.SetListenersEnabled(false);
    pty.Send("c");
    ASSERT_TRUE(WaitUntil([&] { return rxBuf == "abc"; }));
    EXPECT_EQ(active.Received, "ab");
    EXPECT_EQ(rxChars, 0);
    c.Close();
    c.RemoveAllListeners();
    EXPECT_TRUE(c.Listeners().empty());
    EXPECT_EQ(on.Comm, nullptr);
    EXPECT_EQ(off.Comm, nullptr);
}

TEST(Events, RxFlagAndEightyPercentMarkComeFromTheOwnQueue) {
    testsupport::PtyPair pty;
    TVaComm c;
    c.SetDeviceName(pty.SlavePath());
    c.SetMonitorEvents({ceRxFlag, ceRx80Full});
    c.SetDirectWrite(true);
    c.EventChars().SetEventChar(4, '\r');
    c.Buffers().SetReadSize(10);
    int flags = 0;
    int full = 0;
    c.OnRxFlag = [&](toolkit::TObject*) { ++flags; };
    c.OnRx80Full = [&](toolkit::TObject*) { ++full; };
    c.Open();
    pty.Send("ab\r");
    ASSERT_TRUE(WaitUntil([&] { return flags == 1; }));
    EXPECT_EQ(full, 0);
    pty.Send("cdefg");  // 8 of 10
    EXPECT_TRUE(WaitUntil([&] { return full >= 1; }));
    EXPECT_EQ(flags, 1);
    c.Close();
}

// The event character arrives while a delivery is held back, and the handler reads it with the
// bytes before it: OnRxFlag still comes, once, whether the event thread moves the character into
// the own queue's free room meanwhile or it waits in the port behind a full queue.
TEST(Events, AnEventCharacterReadByAHandlerBeforeTheThreadSawItStillRaisesRxFlag) {
    for (const int readSize : {4096, 2}) {
        SCOPED_TRACE("ReadSize " + std::to_string(readSize));
        testsupport::PtyPair pty;
        TVaComm c;
        c.SetDeviceName(pty.SlavePath());
        c.SetMonitorEvents({ceRxChar, ceRxFlag});
        c.SetDirectWrite(true);
        c.EventChars().SetEventChar('\r');
        c.Buffers().SetReadSize(readSize);
        std::vector<int32_t> counts;
        std::string read;
        int flags = 0;
        c.OnRxChar = [&](toolkit::TObject*, int32_t Count) {
            counts.push_back(Count);
            std::string block(static_cast<size_t>(Count), '\0');
            block.resize(static_cast<size_t>(c.ReadBuf(block.data(), Count)));
            read += block;
        };
        c.OnRxFlag = [&](toolkit::TObject*) { ++flags; };
        testsupport::HandOverSignal handedOver;
        c.Open();
        pty.Send("ab");
        ASSERT_TRUE(handedOver.Wait());  // the thread has taken "ab" and handed it over
        pty.Send("\r");
        // Arrived while the delivery is still held (not served): taken into the queue's free room
        // by the event thread, or waiting in the port behind the full queue.
        ASSERT_TRUE(WaitUntil(
            [&] { return readSize > 2 ? c.InputQueue().Count() == 3 : c.ReadBufUsed() == 3; },
            testsupport::kPatience, [] { std::this_thread::sleep_for(1ms); }));
        ASSERT_TRUE(WaitUntil([&] { return flags == 1; }));
        EXPECT_EQ(counts, std::vector<int32_t>{3});
        EXPECT_EQ(read, "ab\r");
        ServeFor(50ms);  // nothing more is due
        EXPECT_EQ(flags, 1);
        EXPECT_EQ(counts.size(), 1u);
        c.Close();
    }
}

// While the event thread moves bytes into the own queue, a count of queue plus port never
// counts a byte twice: it is never more than what was sent.
TEST(Events, TheWaitingCountNeverCountsABytePassingIntoTheQueueTwice) {
    testsupport::PtyPair pty;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    c.SetSyncEvents(false);  // deliveries on the event thread, beside the counts taken here
    c.Open();
    int32_t sent = 0;
    int32_t mostSeen = 0;
    for (int round = 0; round < 64; ++round) {
        sent += 8;
        pty.Send("01234567");
        ASSERT_TRUE(WaitUntil([&] {
            const int32_t waiting = c.ReadBufUsed();
            mostSeen = std::max(mostSeen, waiting - sent);
            return c.InputQueue().Count() == static_cast<size_t>(sent) || waiting > sent;
        }));
        ASSERT_LE(mostSeen, 0) << "round " << round;
    }
    EXPECT_EQ(c.ReadBufUsed(), sent);
    c.Close();
}

TEST(Events, AnEventCharacterChangedWhileOpenIsTheOneLookedFor) {
    testsupport::PtyPair pty;
    TVaComm c;
    c.SetDeviceName(pty.SlavePath());
    c.SetMonitorEvents({ceRxChar, ceRxFlag});
    c.SetDirectWrite(true);
    c.EventChars().SetEventChar('\r');
    std::string seen;
    int flags = 0;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { seen += ReadAll(c); };
    c.OnRxFlag = [&](toolkit::TObject*) { ++flags; };
    c.Open();
    c.EventChars().SetEventChar('\n');
    pty.Send("a\r");
    ASSERT_TRUE(WaitUntil([&] { return seen == "a\r"; }));
    EXPECT_EQ(flags, 0);
    pty.Send("b\n");
    ASSERT_TRUE(WaitUntil([&] { return seen == "a\rb\n"; }));
    EXPECT_EQ(flags, 1);
    c.Close();
}

TEST(Events, AFullInputQueueWaitsForRoomAndLosesNothing) {
    testsupport::PtyPair pty;
    TVaComm c;
    WatchReceived(c, pty.SlavePath());
    c.Buffers().SetReadSize(4);
    std::vector<int32_t> counts;
    c.OnRxChar = [&](toolkit::TObject*, int32_t Count) { counts.push_back(Count); };
    c.Open();
    pty.Send("0123456789");
    ASSERT_TRUE(WaitUntil([&] { return !counts.empty(); }));
    EXPECT_GE(counts[0], 4);  // the own queue's four and whatever the port holds
    std::string got;
    while (got.size() < 10) {
        uint8_t ch = 0;
        if (c.ReadChar(ch)) {
            got.push_back(static_cast<char>(ch));
        } else {
            ServeFor(5ms);
        }
    }
    EXPECT_EQ(got, "0123456789");
    c.Close();
}

TEST(EventsFake, ErrorWithCtsWhoseOnErrorThrowsStillRunsOnCts) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    ReportRecorder reports;
    TVaComm c;
    c.SetMonitorEvents({ceError, ceCts});
    c.SetDirectWrite(true);
    int32_t errors = 0;
    int cts = 0;
    c.OnError = [&](toolkit::TObject*, int32_t Errors) {
        errors = Errors;
        throw toolkit::Exception("bad line");
    };
    c.OnCts = [&](toolkit::TObject*) { ++cts; };
    c.Open();
    line->InjectLineErrors(CE_FRAME);
    line->ChangeModemLines(EV_CTS);
    ASSERT_TRUE(WaitUntil([&] { return cts == 1; }));
    EXPECT_EQ(errors, static_cast<int32_t>(CE_FRAME));
    ASSERT_EQ(reports.Count(), 1u);
    EXPECT_EQ(reports.Entries()[0].Message, "bad line");
    EXPECT_EQ(reports.Entries()[0].Sender, &c);
    c.Close();
}

// Bytes and a line error in one set: the receive dispatch counts the bytes without taking the
// error, so OnError still hears of it after OnRxChar.
TEST(EventsFake, ALineErrorArrivingWithBytesStillReachesOnError) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    c.SetMonitorEvents({ceRxChar, ceError});
    c.SetDirectWrite(true);
    std::vector<std::string> heard;
    c.OnRxChar = [&](toolkit::TObject*, int32_t Count) {  // reads what it is told of, as the window does
        std::string bytes(static_cast<size_t>(Count), '\0');
        bytes.resize(static_cast<size_t>(c.ReadBuf(bytes.data(), Count)));
        heard.push_back(bytes);
    };
    c.OnError = [&](toolkit::TObject*, int32_t Errors) { heard.push_back("error " + std::to_string(Errors)); };
    line->Feed("ab");
    line->InjectLineErrors(CE_FRAME);
    c.Open();  // the first wait finds both
    ASSERT_TRUE(WaitUntil([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"ab", "error " + std::to_string(CE_FRAME)}));
    c.Close();
}

TEST(EventsFake, OnCtsThrowingSkipsTheHandlersAfterIt) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    ReportRecorder reports;
    TVaComm c;
    c.SetMonitorEvents({ceCts, ceDsr});
    c.SetDirectWrite(true);
    int dsr = 0;
    c.OnCts = [&](toolkit::TObject*) { throw toolkit::Exception("cts broke"); };
    c.OnDsr = [&](toolkit::TObject*) { ++dsr; };
    c.Open();
    line->ChangeModemLines(EV_CTS | EV_DSR);
    ASSERT_TRUE(WaitUntil([&] { return reports.Count() == 1; }));
    EXPECT_EQ(dsr, 0);
    EXPECT_EQ(reports.Entries()[0].Message, "cts broke");
    EXPECT_EQ(reports.Entries()[0].Sender, static_cast<toolkit::TObject*>(c.EventThread()));
    line->ChangeModemLines(EV_DSR);  // the thread goes on with the next event
    EXPECT_TRUE(WaitUntil([&] { return dsr == 1; }));
    c.Close();
}

