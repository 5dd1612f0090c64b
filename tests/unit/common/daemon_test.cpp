// The daemon skeleton: the worker waits on its descriptor and its stop descriptor, is joined
// with its work in hand finished, and a worker that ends by itself fails the daemon.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mdm/daemon.h"

namespace {

using namespace std::chrono_literals;
using mdm::Worker;

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    void put() { ASSERT_EQ(::write(fds[1], "x", 1), 1); }
    void take() {
        char c;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
    }
};

// Reads one byte per wake-up until stopped; each read takes `work` to handle.
struct Reader {
    Pipe pipe;
    std::chrono::milliseconds work{0};
    std::atomic<int> started{0}, handled{0};
    std::atomic<bool> returned{false};

    Worker::Body body() {
        return [this](Worker& w) {
            while (w.wait_readable(pipe.fds[0]) == Worker::Wake::readable) {
                pipe.take();
                ++started;
                std::this_thread::sleep_for(work);
                ++handled;
            }
            returned = true;
        };
    }
};

bool eventually(const std::function<bool()>& condition) {
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(1ms))
        if (condition())
            return true;
    return condition();
}

TEST(Worker, WakesPerEventAndStopJoinsAfterTheEventInHand) {
    Reader reader;
    reader.work = 200ms;
    std::vector<std::string> ended;
    Worker worker(reader.body(), [&](const std::string& cause) { ended.push_back(cause); });
    reader.pipe.put();
    ASSERT_TRUE(eventually([&] { return reader.started == 1; }));
    worker.stop();
    // stop() came back only once the event in hand was done and the body had left.
    EXPECT_EQ(reader.handled, 1);
    EXPECT_TRUE(reader.returned);
    EXPECT_TRUE(ended.empty()) << "a requested stop is not an end by itself";
    worker.stop();  // a second stop is harmless
}

TEST(Worker, AnEndWithoutStopReportsItsCause) {
    struct Case {
        Worker::Body body;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {[](Worker&) { throw std::runtime_error("cannot create the udev monitor: boom"); },
         "cannot create the udev monitor: boom"},
        {[](Worker&) {}, "ended"},
        {[](Worker& w) { w.wait_readable(-1); }, "poll: Bad file descriptor"},
        {[](Worker& w) { w.wait_readable(1000); }, "poll: Bad file descriptor"},
    };
    for (const auto& c : cases) {
        std::atomic<bool> done{false};
        std::string cause;
        {
            Worker worker(c.body, [&](const std::string& why) {
                cause = why;
                done = true;
            });
            ASSERT_TRUE(eventually([&] { return done.load(); })) << c.cause;
        }
        EXPECT_EQ(cause, c.cause);
    }
}

class DaemonTest : public ::testing::Test {
  protected:
    // No session bus: the name is lost at once, and the daemon runs on without it.
    void SetUp() override { ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1); }
    mdm::Daemon::Spec spec{.bus = G_BUS_TYPE_SESSION, .name = "com.quorl.test.skeleton"};
};

TEST_F(DaemonTest, SigtermLeavesWithZeroAfterTheWorkersEventInHand) {
    mdm::Daemon daemon(spec);
    Reader reader;
    reader.work = 300ms;
    daemon.start_worker("probe", reader.body());
    ASSERT_TRUE(daemon.has_worker());
    // The event arrives once the loop runs, that is with the stop signals in place.
    g_idle_add(
        [](gpointer r) {
            static_cast<Reader*>(r)->pipe.put();
            return G_SOURCE_REMOVE;
        },
        &reader);
    std::jthread stopper([&] {
        if (eventually([&] { return reader.started == 1; }))
            ::kill(::getpid(), SIGTERM);
    });
    EXPECT_EQ(daemon.run(), 0);
    EXPECT_EQ(reader.handled, 1) << "run() left before the worker finished its event";
    EXPECT_TRUE(reader.returned) << "the worker was not joined";
}

TEST_F(DaemonTest, AWorkerThatCannotSetUpFailsTheDaemon) {
    mdm::Daemon daemon(spec);
    daemon.start_worker("udev monitor", [](Worker&) {
        throw std::runtime_error("cannot enable receiving on the udev monitor: Permission denied");
    });
    EXPECT_EQ(daemon.run(), 1);
}

TEST_F(DaemonTest, FailFromTheLoopBeforeItRunsStillEndsIt) {
    mdm::Daemon daemon(spec);
    daemon.fail("nothing left to serve");
    EXPECT_EQ(daemon.run(), 1);
}

}  // namespace
