#include "netcard_control.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "mdm/files.h"
#include "mdm/raii.h"
#include "mdm/records.h"

namespace mdm::nicgate {

namespace {

constexpr std::string_view kControlOnMessage = "开启网卡管控";
constexpr std::string_view kControlOffMessage = "关闭网卡管控";

}  // namespace

int parse_state(std::string_view content) {
    if (content.empty() || content[0] < '0' || content[0] > '9')
        throw StateError("the net state file does not begin with a digit");
    return content[0] - '0';
}

NetcardControl::NetcardControl(CoreCalls core, std::function<void(std::string_view)> audit,
                               std::function<void()> pause, Paths paths)
    : core_(std::move(core)),
      audit_(std::move(audit)),
      pause_(std::move(pause)),
      paths_(std::move(paths)),
      func_dict_{{0, &NetcardControl::DisableNetcard}, {1, &NetcardControl::EnableNetcard}} {}

int NetcardControl::SetNetcardStatus(int status) {
    auto it = func_dict_.find(status);
    if (it == func_dict_.end())
        return -1;
    return (this->*(it->second))();
}

int NetcardControl::GetNetcardStatus() const {
    UniqueFd fd = open_regular(paths_.state, O_RDONLY);
    if (!fd)
        return 1;
    char c = 0;
    ssize_t n = read_full(fd.get(), &c, 1);
    if (n < 0)
        return 1;
    return parse_state(std::string_view(&c, static_cast<std::size_t>(n)));
}

bool NetcardControl::enter(std::string_view message, int state) const {
    audit_(message);
    if (GetNetcardStatus() == state)
        return false;
    // Replaced whole through a file beside it: a crash never leaves it empty, which would
    // make every later call fail.
    const char text = static_cast<char>('0' + state);
    if (!replace_file_keeping_owner(paths_.state, std::string_view(&text, 1)))
        throw StateError("cannot write " + paths_.state + ": " + std::strerror(errno));
    return true;
}

int NetcardControl::DisableNetcard() {
    if (!enter(kControlOnMessage, 0))
        return 0;
    // Allow first and deny a second later: the sequence the framework has always been given
    // for a switch-off.
    core_.enable_net_card();
    pause_();
    core_.disable_acpi_net_card();
    core_.disable_usb_net_card();
    return 0;
}

int NetcardControl::EnableNetcard() {
    if (!enter(kControlOffMessage, 1))
        return 0;
    core_.enable_net_card();
    std::optional<std::string> records = read_regular(paths_.records);
    if (!records)
        return 0;
    for (const auto& [product, vendor] : mdm::distinct_record_pairs(*records))
        core_.enabledevices(product.c_str(), vendor.c_str());
    return 0;
}

}  // namespace mdm::nicgate
