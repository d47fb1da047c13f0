#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "QtWait.h"
#include "toolkit/qt/BackgroundJobs.h"

namespace {

using toolkit::BackgroundJobs;

struct Owner : QObject {
    BackgroundJobs Jobs{*this};
};

TEST(BackgroundJobsTest, WordsComeBackOnTheOwnersThreadInTheOrderTheJobSentThem) {
    Owner owner;
    std::vector<std::string> words;
    std::vector<bool> onOwnersThread;
    const auto note = [&](std::string word) {
        words.push_back(std::move(word));
        onOwnersThread.push_back(QThread::currentThread() == owner.thread());
    };
    owner.Jobs.Start<int>(
        [&note](BackgroundJobs::Job& job) {
            for (int i = 0; i < 3; ++i) job.Post([&note, i] { note("step " + std::to_string(i)); });
            return 42;
        },
        [&](int result) { note("result " + std::to_string(result)); });
    EXPECT_EQ(owner.Jobs.Running(), 1u);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return owner.Jobs.Running() == 0; }));
    EXPECT_EQ(words, (std::vector<std::string>{"step 0", "step 1", "step 2", "result 42"}));
    EXPECT_EQ(onOwnersThread, std::vector<bool>(4, true));
}

TEST(BackgroundJobsTest, TheOwnerGoesWithoutWaitingOnAJobThatWaitsOnAFile) {
    // Opening a FIFO with no writer waits as a file system that no longer answers does.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string fifo = dir.filePath(QStringLiteral("hanging")).toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    struct Seen {
        std::atomic<bool> opening{false}, ended{false}, cancelled{false};
    };
    auto seen = std::make_shared<Seen>();
    bool delivered = false;
    auto owner = std::make_unique<Owner>();
    owner->Jobs.Start<int>(
        [seen, fifo](BackgroundJobs::Job& job) {
            seen->opening = true;
            const int fd = open(fifo.c_str(), O_RDONLY);
            if (fd >= 0) close(fd);
            seen->cancelled = job.Cancelled();
            seen->ended = true;
            return fd;
        },
        [&](int) { delivered = true; });
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return seen->opening.load(); }));

    owner.reset();  // returns although the open still waits: the job is left to end by itself
    EXPECT_FALSE(seen->ended);
    EXPECT_FALSE(BackgroundJobs::WaitForAllToEnd(std::chrono::milliseconds(0)));  // as at the program's end

    // Let the open end; the job sees it was called off, and its word goes nowhere.
    const int writer = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    close(writer);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return seen->ended.load(); }));
    EXPECT_TRUE(seen->cancelled);
    EXPECT_TRUE(BackgroundJobs::WaitForAllToEnd(std::chrono::minutes(1)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

TEST(BackgroundJobsTest, OneAfterAnotherStartsEachJobWhenTheOneBeforeHasEnded) {
    // The first waits until let go; the second, started meanwhile, must not run before it ends,
    // even once the owner has gone (as a report kept just before its window closed).
    struct Order : QObject {
        BackgroundJobs Jobs{*this, BackgroundJobs::Order::OneAfterAnother};
    };
    struct Log {
        std::mutex lock;
        std::condition_variable changed;
        bool letGo = false;
        std::vector<std::string> steps;
        void Note(const std::string& step) {
            std::lock_guard<std::mutex> hold(lock);
            steps.push_back(step);
            changed.notify_all();
        }
    };
    auto log = std::make_shared<Log>();
    auto owner = std::make_unique<Order>();
    owner->Jobs.Start<int>(
        [log](BackgroundJobs::Job&) {
            std::unique_lock<std::mutex> hold(log->lock);
            log->steps.push_back("first waits");
            log->changed.notify_all();
            log->changed.wait(hold, [&] { return log->letGo; });
            log->steps.push_back("first ends");
            return 1;
        },
        [](int) {});
    owner->Jobs.Start<int>(
        [log](BackgroundJobs::Job&) {
            log->Note("second runs");
            return 2;
        },
        [](int) {});
    {
        std::unique_lock<std::mutex> hold(log->lock);
        log->changed.wait(hold, [&] { return !log->steps.empty(); });
        EXPECT_EQ(log->steps, std::vector<std::string>{"first waits"});
        log->letGo = true;
        log->changed.notify_all();
    }
    owner.reset();
    ASSERT_TRUE(BackgroundJobs::WaitForAllToEnd(std::chrono::minutes(1)));
    EXPECT_EQ(log->steps, (std::vector<std::string>{"first waits", "first ends", "second runs"}));
}

} // namespace
