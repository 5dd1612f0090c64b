// The three outside peers served inside the benchmark process, on their own connection and
// thread, so the arrival time of each call is taken where it lands rather than read back
// from a log file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gio/gio.h>

namespace bench {

using Clock = std::chrono::steady_clock;

// The texts an announcement carries: the notification, the audit record and the device record.
// The floor carries the same ones, since their size costs on both ends of every call.
struct FloorTexts {
    std::string notification = "floor";
    std::string audit = "floor";
    std::string record = "floor";
};

// The four synchronous calls of an announcement, made bare on `bus`: the floor the plug
// monitor's announcement is measured against. Empty, or what failed.
std::string floor_calls(GDBusConnection* bus, const FloorTexts& texts);

class BenchPeers {
  public:
    BenchPeers();  // returns once the three names are owned
    ~BenchPeers();
    BenchPeers(const BenchPeers&) = delete;
    BenchPeers& operator=(const BenchPeers&) = delete;

    std::size_t count(const std::string& method);
    // Waits until `method` has been called `n` times; returns the arrival time of call n.
    // One waiting thread at a time.
    Clock::time_point wait(const std::string& method, std::size_t n,
                           std::chrono::seconds timeout = std::chrono::seconds(30));
    // Arguments of every usb_storage_plug_in so far.
    std::vector<std::string> plug_records();
    // The text argument of the first call of `method`, or empty.
    std::string first_argument(const std::string& method);

  private:
    static void on_call(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                        const gchar* method, GVariant* params, GDBusMethodInvocation* invocation,
                        gpointer self);
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::vector<Clock::time_point>> arrivals_;
    std::vector<std::string> plug_records_;
    std::map<std::string, std::string> first_arguments_;
    std::string awaited_;  // the method wait() waits for; only its calls wake it
    bool ready_ = false;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
};

}  // namespace bench
