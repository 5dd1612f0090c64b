// The default device and the bank white list as RosterGate keeps them: plain operations over a
// root directory, so they run on a scratch directory in tests; the service binds /etc/mdm/bank.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "mdm/bank.h"
#include "mdm/permissions.h"

namespace rostergate {

// One line to the system log; the service sends it to syslog at info.
using LogLine = std::function<void(const std::string&)>;

// Exact, case-sensitive membership over a list an administrator can make long.
using EntrySet = std::unordered_set<std::string>;

// Always allowed; never removed from the white list.
using mdm::kDefaultDevice;

class BankFiles : public mdm::bank::Paths {
  public:
    using Paths::Paths;
    // The four bank device lists in the order they are read.
    std::vector<std::string> device_lists() const;
};

// Every line of a regular file: empty lines and a lone blank are skipped, the final line feed
// is removed and nothing else. nullopt when the file is missing, unreadable or not regular.
std::optional<std::vector<std::string>> read_lines(const std::string& path);

std::string to_lower(std::string_view text);

// 1 when `pidvid` is the default device (logged), else 0.
int check_default_device(const std::string& pidvid, const LogLine& log);
// The entries of the four bank device lists, in file then line order; a missing list is skipped.
std::vector<std::string> get_bank_device_list(const BankFiles& files, const LogLine& log);
int check_bank_device(const std::string& pidvid, const EntrySet& device_list);
// The eight-character hexadecimal lines of the bank white list, lowercased, in file order.
std::vector<std::string> get_bank_device_whitelist(const BankFiles& files);
// Writers answer 0 whatever happens: the callers' results never depend on the bank files.
int add_bank_device_whitelist(const BankFiles& files, const std::vector<std::string>& devlist);
int del_bank_device_whitelist(const BankFiles& files, const EntrySet& devlist);
int clear_bank_device_whitelist(const BankFiles& files);

}  // namespace rostergate
