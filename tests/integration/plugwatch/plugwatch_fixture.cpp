#include "plugwatch_fixture.h"

#include <regex>

namespace plugwatch_it {

using namespace mdmtest;

void PlugwatchTest::TearDown() {
    if (HasFailure() && peers) {
        std::cerr << "--- peer calls ---\n";
        for (const auto& c : peers->calls()) {
            std::cerr << c.peer << " " << c.method;
            for (const auto& a : c.args)
                std::cerr << " [" << a << "]";
            std::cerr << "\n";
        }
    }
    daemon_.reset();
    SandboxTest::TearDown();
}

void PlugwatchTest::start_peers(PeersOptions options) {
    peers = std::make_unique<Peers>(std::move(options));
}

void PlugwatchTest::start_plugwatch(bool wait_for_import) {
    std::size_t finished = syslog_count("init_policy finish.");
    daemon_ = std::make_unique<Process>(Strings{program("plugwatch/plugwatch")},
                                        ProcessOptions{.umockdev = true, .name = "plugwatch"});
    if (!wait_for_import)
        return;
    ASSERT_TRUE(eventually([&] { return syslog_count("init_policy finish.") >= finished + 2; }))
        << "plugwatch did not finish its policy import";
}

void PlugwatchTest::stop_plugwatch() {
    daemon_.reset();
}

Plugged PlugwatchTest::plug(const UsbDevice& device, const Strings& classes) {
    Plugged p;
    p.device = testbed.add_usb_device(device);
    for (std::size_t i = 0; i < classes.size(); ++i) {
        // Adding a device to the testbed already emits its "add" uevent.
        p.ifaces.push_back(testbed.add_interface(p.device, static_cast<int>(i), classes[i]));
    }
    return p;
}

void PlugwatchTest::unplug(const Plugged& p) {
    for (const auto& iface : p.ifaces)
        testbed.uevent(iface, "remove");
}

Strings PlugwatchTest::args(const std::string& peer, const std::string& method) const {
    Strings out;
    for (const auto& c : peers->calls(peer, method))
        out.push_back(c.args.empty() ? "" : c.args[0]);
    return out;
}

bool PlugwatchTest::wait_calls(std::size_t n, const std::string& peer, const std::string& method,
                               std::chrono::milliseconds timeout) const {
    return peers->wait_calls(n, peer, method, timeout);
}

std::vector<std::size_t> PlugwatchTest::syslog_positions(const std::string& text) {
    std::vector<std::size_t> out;
    auto lines = syslog_lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(text) != std::string::npos)
            out.push_back(i);
    }
    return out;
}

std::string usb_record(const std::string& pid, const std::string& vid, const std::string& maker,
                       const std::string& model, const std::string& devpath,
                       const std::string& serial, const std::string& cls, int status) {
    return "{\"vid\":\"" + vid + "\",\"pid\":\"" + pid + "\",\"make\":\"" + maker +
           "\",\"model\":\"" + model + "\",\"devpath\":\"" + devpath + "\",\"idVendor\":\"" + vid +
           "\",\"idProduct\":\"" + pid + "\",\"serial\":\"" + serial + "\",\"product\":\"" + model +
           "\",\"manufacturer\":\"" + maker + "\",\"bInterfaceClass\":\"" + cls +
           "\",\"status\":" + std::to_string(status) + "}";
}

std::string notification(const std::string& content, int urgency) {
    return "{\"title\":\"检测到插入USB端口设备\",\"content\":\"" + content + "\",\"urgency\":\"" +
           std::to_string(urgency) + "\",\"timeout\":9500}";
}

std::string audit_tail(const std::string& user, const std::string& ip, const std::string& level,
                       const std::string& message) {
    return "','hostname':'" + user + "','name':'usb-monitor','ip':'" + ip + "','lv':'" + level +
           "','message':'" + message + "'}";
}

std::string without_time(const std::string& record) {
    static const std::regex head(R"(^\{'time':'\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
    std::smatch m;
    if (!std::regex_search(record, m, head))
        return "<no time in: " + record + ">";
    return record.substr(m.length());
}

}  // namespace plugwatch_it
