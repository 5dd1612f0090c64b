// A sandboxed plugwatch with the stand-in peers and a umockdev testbed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <mdmtest/support.h>

namespace plugwatch_it {

using Strings = std::vector<std::string>;

struct Plugged {
    std::string device;               // syspath of the USB device
    std::vector<std::string> ifaces;  // syspaths of its interfaces, in plug order
    std::string devpath(std::size_t i) const { return mdmtest::Testbed::devpath(ifaces.at(i)); }
};

class PlugwatchTest : public mdmtest::SandboxTest {
  protected:
    void TearDown() override;

    void start_peers(mdmtest::PeersOptions options = {});
    // Starts the daemon and, unless told otherwise, waits until its policy import, which
    // runs once receiving is enabled, has finished.
    void start_plugwatch(bool wait_for_import = true);
    void stop_plugwatch();
    mdmtest::Process& daemon() { return *daemon_; }

    // Adds the device and its interfaces of the given classes; each interface arrives as "add".
    Plugged plug(const mdmtest::UsbDevice& device, const Strings& classes);
    void unplug(const Plugged& p);

    // Arguments of the calls received by one peer method, in arrival order.
    Strings args(const std::string& peer, const std::string& method) const;
    bool wait_calls(std::size_t n, const std::string& peer, const std::string& method,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Indices in the captured syslog where `text` occurs.
    static std::vector<std::size_t> syslog_positions(const std::string& text);

    mdmtest::Testbed testbed;
    std::unique_ptr<mdmtest::Peers> peers;

  private:
    std::unique_ptr<mdmtest::Process> daemon_;
};

// The USB event record of a plug or unplug, as the management client receives it.
std::string usb_record(const std::string& pid, const std::string& vid, const std::string& maker,
                       const std::string& model, const std::string& devpath,
                       const std::string& serial, const std::string& cls, int status);

// The notification text for a content line and urgency.
std::string notification(const std::string& content, int urgency);

// The audit record without its time: what follows "{'time':'YYYY-MM-DD hh:mm:ss'".
std::string audit_tail(const std::string& user, const std::string& ip, const std::string& level,
                       const std::string& message);
std::string without_time(const std::string& record);

}  // namespace plugwatch_it
