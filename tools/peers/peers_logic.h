// Option parsing, call records and reply bookkeeping of the stand-in peers, kept apart
// from the bus so they can be tested on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <glib.h>

namespace peers {

struct NmDevice {
    std::string iface;
    std::uint32_t type = 0;
};

struct Options {
    std::string log_path;  // empty: standard output
    bool log_service = true;
    bool client = true;
    bool agent = true;
    bool nm = true;
    std::string user = "user";
    unsigned retry = 0;
    unsigned delay_ms = 0;
    std::vector<NmDevice> nm_devices;
};

struct ParseResult {
    std::optional<Options> options;
    std::string error;  // set when options is empty
};

ParseResult parse_options(const std::vector<std::string>& args);

// One argument of a recorded call: `text` is either a JSON string body (quoted) or a
// ready JSON literal such as a number (not quoted).
struct CallArg {
    std::string text;
    bool quoted = true;
};

// Arguments of a call as recorded: strings stay strings, numbers and booleans stay
// numbers and booleans, anything else is recorded as its printed form.
std::vector<CallArg> call_args(GVariant* tuple);

// {"peer":"..","method":"..","args":[..]} without a line feed.
std::string call_json_line(std::string_view peer, std::string_view method,
                           const std::vector<CallArg>& args);

// Answers "Retry" to the first N plug or pull records, "OK" afterwards.
class RetryBudget {
  public:
    explicit RetryBudget(unsigned retries) : left_(retries) {}
    const char* next_answer() {
        if (left_ == 0)
            return "OK";
        --left_;
        return "Retry";
    }

  private:
    unsigned left_;
};

// Index of the device with this interface name, if configured.
std::optional<std::size_t> find_nm_device(const std::vector<NmDevice>& devices,
                                          std::string_view iface);

// Object path of the device at `index`; paths count from 1 like NetworkManager's.
std::string nm_device_path(std::size_t index);

}  // namespace peers
