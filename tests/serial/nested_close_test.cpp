// Close called from handlers while another Close is waiting for the threads: with a writer
// thread and an event thread together, from the writer's delivery, the event thread's, and
// another component's. Run under AddressSanitizer, a thread freed too early shows at once.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PtyPair.h"
#include "Wait.h"
#include "serial/VaComm.h"

using testsupport::HandOverSignal;
using testsupport::WaitUntil;

namespace {

// Received data watched by the event thread, output through the writer thread.
void BothThreads(TVaCustomComm& c, const std::string& path) {
    c.SetDeviceName(path);
    c.SetMonitorEvents({ceRxChar, ceTxEmpty});
    c.SetDirectWrite(false);
}

struct Counts {
    int txEmpty = 0;
    int rxChar = 0;
    int closes = 0;
};

// A component on a line of its own, watching both threads and counting its closes. The line is
// declared first so it outlives the component. (Tests name its parts by reference rather than by a
// structured binding: lambdas may not capture a binding under the compilers in use.)
struct CountedPort {
    testsupport::PtyPair pty;
    TVaComm c;
    Counts n;

    CountedPort() {
        BothThreads(c, pty.SlavePath());
        c.OnClose = [this](toolkit::TObject*) { ++n.closes; };
    }
    // The writer's delivery closes the port.
    void CloseOnTxEmpty() {
        c.OnTxEmpty = [this](toolkit::TObject*) {
            ++n.txEmpty;
            c.Close();
        };
    }
    // The writer's first delivery closes the port and opens it again.
    void ReopenOnFirstTxEmpty() {
        c.OnTxEmpty = [this](toolkit::TObject*) {
            if (++n.txEmpty != 1) return;
            c.Close();
            c.Open();
        };
    }
};

// Has the writer hand over an OnTxEmpty, then the event thread an OnRxChar, neither served yet:
// the queue holds the writer's delivery ahead of the event thread's.
void WriterThenEventQueued(TVaCustomComm& c, testsupport::PtyPair& pty, HandOverSignal& handOvers) {
    ASSERT_TRUE(c.WriteText("w"));
    ASSERT_TRUE(handOvers.Wait());
    ASSERT_EQ(pty.Receive(1), "w");
    pty.Send("r");
    ASSERT_TRUE(handOvers.Wait(testsupport::kPatience, 2));
}

void EventThenWriterQueued(TVaCustomComm& c, testsupport::PtyPair& pty, HandOverSignal& handOvers) {
    pty.Send("r");
    ASSERT_TRUE(handOvers.Wait());
    ASSERT_TRUE(c.WriteText("w"));
    ASSERT_TRUE(handOvers.Wait(testsupport::kPatience, 2));
    ASSERT_EQ(pty.Receive(1), "w");
}

} // namespace

// The outer Close waits for the event thread and serves the writer's OnTxEmpty first, whose
// handler closes the port: both threads end once, the outer Close finds the port closed.
TEST(NestedClose, FromTheWritersDeliveryWhileCloseWaitsForTheEventThread) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        HandOverSignal handOvers;
        CountedPort port;
        auto& pty = port.pty;
        auto& c = port.c;
        auto& n = port.n;
        port.CloseOnTxEmpty();
        c.OnRxChar = [&](toolkit::TObject*, int32_t) { ++n.rxChar; };
        c.Open();
        WriterThenEventQueued(c, pty, handOvers);
        c.Close();
        EXPECT_FALSE(c.Active());
        EXPECT_EQ(n.txEmpty, 1);
        EXPECT_EQ(n.closes, 1);
        EXPECT_EQ(c.EventThread(), nullptr);
        EXPECT_EQ(c.WriteThread(), nullptr);
    }
}

// The same with the event thread's delivery first, and both handlers closing.
TEST(NestedClose, FromBothThreadsDeliveriesQueuedBehindEachOther) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        HandOverSignal handOvers;
        CountedPort port;
        auto& pty = port.pty;
        auto& c = port.c;
        auto& n = port.n;
        port.CloseOnTxEmpty();
        c.OnRxChar = [&](toolkit::TObject*, int32_t) {
            ++n.rxChar;
            c.Close();
        };
        c.Open();
        if (round % 2 == 0) {
            EventThenWriterQueued(c, pty, handOvers);
        } else {
            WriterThenEventQueued(c, pty, handOvers);
        }
        c.Close();
        EXPECT_FALSE(c.Active());
        EXPECT_EQ(n.closes, 1);
        // Close runs a delivery already queued: the second handler runs inside the first one's
        // Close, and its own Close finds the port closing.
        EXPECT_EQ(n.txEmpty, 1);
        EXPECT_EQ(n.rxChar, 1);
    }
}

// No outer Close: the writer's own delivery closes the port, and the port opens again at once
// from the same handler.
TEST(NestedClose, TheWritersHandlerMayCloseAndReopen) {
    CountedPort port;
    auto& pty = port.pty;
    auto& c = port.c;
    auto& n = port.n;
    port.ReopenOnFirstTxEmpty();
    c.Open();
    ASSERT_TRUE(c.WriteText("a"));
    // Taken before the handler runs: opening the line again drops what it still holds.
    ASSERT_EQ(pty.Receive(1), "a");
    ASSERT_TRUE(WaitUntil([&] { return n.closes == 1 && c.Active(); }));
    ASSERT_TRUE(c.WriteText("b"));  // the new writer works
    ASSERT_TRUE(WaitUntil([&] { return n.txEmpty == 2; }));
    EXPECT_EQ(pty.Receive(1), "b");
    c.Close();
    EXPECT_EQ(n.closes, 2);
}

// A handler served by Close reopens the port the outer Close is closing: the outer Close still
// leaves it closed, with the new threads ended before the new device goes.
TEST(NestedClose, AReopenInsideANestedCloseIsClosedByTheOuterOne) {
    HandOverSignal handOvers;
    CountedPort port;
    auto& pty = port.pty;
    auto& c = port.c;
    auto& n = port.n;
    port.ReopenOnFirstTxEmpty();
    c.Open();
    WriterThenEventQueued(c, pty, handOvers);
    c.Close();
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.EventThread(), nullptr);
    EXPECT_EQ(c.WriteThread(), nullptr);
    EXPECT_EQ(n.closes, 2);
}

// Two components: while the first one's Close waits for its threads, it serves the second's
// deliveries, whose handlers close the first and then the second.
TEST(NestedClose, FromAnotherComponentsDelivery) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        HandOverSignal handOvers;
        CountedPort portA;
        CountedPort portB;
        auto& ptyA = portA.pty;
        auto& a = portA.c;
        auto& na = portA.n;
        auto& ptyB = portB.pty;
        auto& b = portB.c;
        auto& nb = portB.n;
        a.OnTxEmpty = [&](toolkit::TObject*) { ++na.txEmpty; };
        b.OnTxEmpty = [&](toolkit::TObject*) {
            ++nb.txEmpty;
            a.Close();
        };
        b.OnRxChar = [&](toolkit::TObject*, int32_t) {
            ++nb.rxChar;
            a.Close();
            b.Close();
        };
        a.Open();
        b.Open();
        // b's two deliveries are queued ahead of a's writer's, which a's Close waits for.
        if (round % 2 == 0) {
            WriterThenEventQueued(b, ptyB, handOvers);
        } else {
            EventThenWriterQueued(b, ptyB, handOvers);
        }
        ASSERT_TRUE(a.WriteText("x"));
        ASSERT_TRUE(handOvers.Wait(testsupport::kPatience, 3));
        ASSERT_EQ(ptyA.Receive(1), "x");
        a.Close();
        EXPECT_FALSE(a.Active());
        EXPECT_EQ(na.closes, 1);
        // b's deliveries ran while a's Close waited for a's threads.
        EXPECT_EQ(nb.txEmpty + nb.rxChar, 2);
        EXPECT_FALSE(b.Active());
        EXPECT_EQ(nb.closes, 1);
    }
}
