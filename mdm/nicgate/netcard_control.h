// NicGate's network card switch: the remembered state in /etc/mdm/net, the order of the
// steps, the pause and the re-enabling of recorded devices. The core library, the audit call
// and the pause come in as functions, so the steps can be followed with fakes.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mdm::nicgate {

// The core library calls the switch makes.
struct CoreCalls {
    std::function<int()> enable_net_card;
    std::function<int()> disable_acpi_net_card;
    std::function<int()> disable_usb_net_card;
    std::function<int(const char* product, const char* vendor)> enabledevices;
};

struct Paths {
    std::string state = "/etc/mdm/net";            // "0" cards off, "1" on
    std::string records = "/etc/mdm/disable-net";  // devices switched off one by one
};

// The state file cannot be understood or written; the bus caller gets an error reply.
class StateError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The state a file's content stands for: its first character as a digit. Throws StateError
// for an empty content or a first character that is not a decimal digit.
int parse_state(std::string_view content);

class NetcardControl {
  public:
    NetcardControl(CoreCalls core, std::function<void(std::string_view)> audit,
                   std::function<void()> pause, Paths paths = {});

    // 0 switches the cards off, 1 on; the operation's result, or -1 for any other status.
    int SetNetcardStatus(int status);
    // The stored state; 1 when the file is missing or unreadable. Throws StateError.
    int GetNetcardStatus() const;

    int DisableNetcard();
    int EnableNetcard();

  private:
    // Audits `message`; when the stored state is not `state` already, stores it and answers
    // true. Throws StateError when the state cannot be read or written.
    bool enter(std::string_view message, int state) const;

    CoreCalls core_;
    std::function<void(std::string_view)> audit_;
    std::function<void()> pause_;
    Paths paths_;
    std::map<int, int (NetcardControl::*)()> func_dict_;
};

}  // namespace mdm::nicgate
