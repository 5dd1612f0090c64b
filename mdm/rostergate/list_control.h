// The list control service's methods as plain code: the white and black lists are the
// per-device entries of the security framework (perm 1 and 2), reached through the adapter's
// table; the bank files through a root directory; log lines and audit messages through
// callbacks. The bus layer (main.cpp) only unpacks arguments and packs results.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bank_whitelist.h"
#include "mdm/bus_errors.h"
#include "mdm/permissions.h"
#include "mdm/usb_id.h"
#include "tarvex/adapter.h"

namespace rostergate {

// A refused argument: the service answers InvalidArgs instead of a result.
using RequestError = mdm::InvalidArgs;

using Pair = mdm::UsbIds;

// A batch addition sizes an array of 412-byte records by its caller-given length.
inline constexpr int kMaxBatchLen = 100000;

inline constexpr int kWhitePerm = mdm::kPermEnabled;
inline constexpr int kBlackPerm = mdm::kPermDisabled;

struct Environment {
    const mdm::tarvex::Functions* fns = nullptr;
    BankFiles bank{mdm::bank::kSystemRoot};
    LogLine log{};
    std::function<void(const std::string&)> audit{};
};

class ListControl {
  public:
    explicit ListControl(Environment env) : env_(std::move(env)) {}

    std::vector<std::string> GetWhiteList() const;
    std::vector<std::string> GetBlackList() const;
    int SetWhiteList(const std::string& pid, const std::string& vid);
    int SetBlackList(const std::string& pid, const std::string& vid);
    int DelWhiteList(const std::string& pid, const std::string& vid);
    int DelBlackList(const std::string& pid, const std::string& vid);

    int SetWhiteListByBatch(const std::vector<Pair>& pairs, int len);
    int SetBlackListByBatch(const std::vector<Pair>& pairs, int len);
    int DelWhiteListByBatch(const std::vector<Pair>& pairs, int len);
    int ClearWhiteList();
    int ClearBlackList();

  private:
    void log(const std::string& line) const { env_.log(line); }
    void audit(const std::string& message) const { env_.audit(message); }
    const mdm::tarvex::Functions& fns() const { return *env_.fns; }
    EntrySet bank_devices() const;

    std::vector<std::string> read_list(int perm, const char* name) const;
    int write_entry(const std::string& name, const std::string& pid, const std::string& vid,
                    int perm);
    int remove_matches(const std::string& name, const std::vector<std::string>& list,
                       const std::string& pidvid, const std::string& pid, const std::string& vid);
    // With `bank_step`, bank devices among the pairs join the bank white list.
    int add_batch(const std::string& name, const std::vector<Pair>& pairs, int len, int perm,
                  bool bank_step);
    int remove_batch(const std::string& name, std::vector<tarvex_devctl_info>& entries,
                     const std::function<void()>& after_full_removal);
    int clear_list(bool white);

    Environment env_;
};

// "c8200bda": pid then vid, lowercase hexadecimal, each at least four digits.
std::string entry_text(const tarvex_devctl_info& rec);
// "('c820', '0bda')"
std::string pair_text(const Pair& pair);
// The id converted for a record field; RequestError when it is not a base-16 number that fits.
uint32_t convert_id(const std::string& text);
// Removal entry cut from a joined text: characters 1-4 are the pid, 5-8 the vid.
tarvex_devctl_info removal_entry(const std::string& joined);

}  // namespace rostergate
