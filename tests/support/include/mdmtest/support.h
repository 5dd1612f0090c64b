// Integration test support: runs inside tools/sandbox, where the fixed paths, the system bus
// and /dev/log are private. Tests start the real programs as processes, drive them over the bus
// and through umockdev uevents, and wait for conditions instead of sleeping.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>
#include <umockdev.h>

#include "journal_native.h"
#include "mdm/raii_glib.h"

namespace mdmtest {

using namespace std::chrono_literals;

// ---- the sandbox world ----
// Exits unless inside tools/sandbox; re-executes the program under the umockdev preload.
void enter_test_world(char** argv);
// LD_PRELOAD for test programs: a shared sanitizer runtime first, then the umockdev preload.
std::string preload_list(const std::string& current);

std::string build_dir();
std::string source_dir();
std::string program(std::string_view relative);  // build_dir() + "/" + relative
// `argv` run by unit_exec under the restrictions of the built systemd unit `unit`.service.
std::vector<std::string> under_unit(const std::string& unit, const std::vector<std::string>& argv);

// Empties /etc/mdm, /var/lib/tarvex, /media and the syslog capture, and puts
// /usr/lib/mdm/periphcore.so back in place.
void reset_world();

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view content);
bool file_exists(const std::string& path);

// Runs a command to completion (no umockdev preload); returns its exit status and stdout.
struct CommandResult {
    int status = -1;
    std::string out;
};
CommandResult run(const std::vector<std::string>& argv);

// ---- processes ----
struct ProcessOptions {
    std::vector<std::string> env = {};  // extra "NAME=value" entries
    bool umockdev = false;              // keep LD_PRELOAD/UMOCKDEV_DIR for the child
    std::optional<uid_t> uid = {};      // run as this uid and gid
    std::string name = {};              // label for failure output
};

class Process {
  public:
    explicit Process(std::vector<std::string> argv, ProcessOptions options = {});
    ~Process();  // SIGKILL and reap; prints the output if the current test failed
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Exit status (>= 0) or -signal; nullopt when still running at the deadline.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = 10s);
    void kill(int sig = SIGKILL);
    std::string output() const;  // stdout and stderr so far
    bool wait_output(std::string_view text, std::chrono::milliseconds timeout = 10s) const;

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string out_path_;
    std::string name_;
};

// ---- captured syslog: lines "<severity> <message>" ----
std::vector<std::string> syslog_lines();
bool syslog_has(std::string_view text);
std::size_t syslog_count(std::string_view text);

// ---- captured journal entries (the native protocol at /run/systemd/journal/socket) ----
std::vector<journalsink::Entry> journal_entries();
// The entries that carry `field`=`value`.
std::vector<journalsink::Entry> journal_entries(std::string_view field, std::string_view value);

// ---- python-dbusmock stand-ins: logind (system bus), a notification server (session) ----
std::unique_ptr<Process> dbusmock(const std::string& tmpl, GBusType bus, const std::string& name);
// A session on seat0 of the logind stand-in, made the seat's active session, of `type`.
void logind_add_session(const std::string& id, guint32 uid, const std::string& user, bool active,
                        const std::string& type);
struct NotifyCall {
    std::string app_name;
    guint32 replaces_id = 0;
    std::string icon, summary, body;
    std::size_t actions = 0;
    std::optional<guint8> urgency;
    std::string category;
    gint32 expire_timeout = 0;
};
// The Notify calls the notification server stand-in received, in order.
std::vector<NotifyCall> notify_calls();

// ---- the stand-in peers (tools/peers) ----
struct PeerCall {
    std::string peer;  // "log", "client", "agent", "nm"
    std::string method;
    std::vector<std::string> args;  // string arguments; numbers in decimal
};

struct PeersOptions {
    bool log_service = true;
    bool client = true;
    bool agent = true;
    bool nm = true;
    std::optional<std::string> user;
    int retry = 0;
    int delay_ms = 0;
    std::vector<std::string> nm_devices;  // "IFACE=TYPE"
};

class Peers {
  public:
    explicit Peers(PeersOptions options = {});
    std::vector<PeerCall> calls() const;
    std::vector<PeerCall> calls(std::string_view peer, std::string_view method = {}) const;
    bool wait_calls(std::size_t count, std::string_view peer, std::string_view method = {},
                    std::chrono::milliseconds timeout = 10s) const;
    Process& process() { return *proc_; }

  private:
    std::string log_path_;
    std::unique_ptr<Process> proc_;
};

// Parses one JSON line written by tools/peers.
std::optional<PeerCall> parse_peer_call(std::string_view line);

// ---- bus ----
struct CallResult {
    mdm::VariantPtr reply;
    std::string error_name;  // D-Bus error name when the call failed
    std::string error;       // message when the call failed
    bool ok() const { return reply != nullptr; }
};
// `args` may be floating (it is sunk). Uses a fresh connection so tests never share state.
CallResult call_bus(GBusType bus, const std::string& dest, const std::string& path,
                    const std::string& iface, const std::string& method, GVariant* args,
                    int timeout_ms = 10000);
inline CallResult call_system(const std::string& dest, const std::string& path,
                              const std::string& iface, const std::string& method,
                              GVariant* args = nullptr, int timeout_ms = 10000) {
    return call_bus(G_BUS_TYPE_SYSTEM, dest, path, iface, method, args, timeout_ms);
}
// The int of an "(i)" reply, or -12345 (with a test failure) when the call failed.
int int_reply(const CallResult& r);
// The strings of an "(as)" reply; empty (with a test failure) when the call failed.
std::vector<std::string> strings_reply(const CallResult& r);
// A running object's interface on the system bus as its methods in declaration order with
// their arguments, e.g. "Get(out i ret); Set(in i status, out i ret)".
std::string render_interface(const std::string& dest, const std::string& path,
                             const std::string& iface);
// The argv of a gdbus call on the system bus to `method` of the interface named like `dest`.
std::vector<std::string> gdbus_call(const std::string& dest, const std::string& path,
                                    const std::string& method,
                                    const std::vector<std::string>& args = {});
// Runs `argv` as nobody (uid 65534) to its end: passes when it failed, saying AccessDenied.
::testing::AssertionResult denied_to_nobody(const std::vector<std::string>& argv);
bool name_has_owner(GBusType bus, const std::string& name);
bool wait_name(GBusType bus, const std::string& name, std::chrono::milliseconds timeout = 10s);

// ---- the stand-in framework ----
std::vector<std::string> framework_entries();  // `tarvexctl list` lines
void framework_set(const std::vector<std::string>& tarvexctl_args);

// ---- umockdev ----
struct UsbDevice {
    std::string name = "1-1";  // sysfs name under the bus
    std::optional<std::string> vid = "0bda", pid = "c820", product = "Stick",
                               manufacturer = "Maker", serial = "0001";
    std::string num_interfaces = " 1";  // as sysfs shows it
};

class Testbed {
  public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Adding a device or an interface emits its "add" uevent; removing emits nothing, so send
    // the "remove" uevent first.
    std::string add_usb_device(const UsbDevice& device);  // returns the syspath
    std::string add_interface(const std::string& device_syspath, int number,
                              const std::string& interface_class,
                              const std::string& subclass = "00");
    void uevent(const std::string& syspath, const char* action);
    void remove(const std::string& syspath);
    UMockdevTestbed* get() { return tb_; }

    static std::string devpath(const std::string& syspath);  // syspath without "/sys"

  private:
    UMockdevTestbed* tb_ = nullptr;
};

// Base fixture: a fresh world per test; the syslog capture is printed when a test fails.
class SandboxTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace mdmtest
