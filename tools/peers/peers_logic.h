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

// Arguments of a call as recorded: texts and paths as they are, anything else in its
// printed form.
// Every member the peers publish takes texts only.
std::vector<std::string> call_args(GVariant* tuple);

// {"peer":"..","method":"..","args":["..",..]} without a line feed.
std::string call_json_line(std::string_view peer, std::string_view method,
                           const std::vector<std::string>& args);

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
