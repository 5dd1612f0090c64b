#include "devices.h"

#include <cstdio>
#include <unordered_map>

#include "cli.h"
#include "mdm/bank.h"
#include "mdm/permissions.h"
#include "mdm/usb_id.h"
#include "perm/category.h"
#include "perm/device_perm.h"

namespace mdmctl {

namespace {

// The plug monitor's lookup writes its steps to the log; mdmctl has no use for them.
class QuietLog : public mdm::perm::Log {
  public:
    void write(int, const std::string&) override {}
};

std::string permission_word(int perm) {
    switch (perm) {
        case mdm::kPermEnabled:
            return "enabled";
        case mdm::kPermDisabled:
            return "disabled";
        case mdm::kPermReadOnly:
            return "read-only";
        default:
            return std::to_string(perm);
    }
}

}  // namespace

Table devices_table(const std::vector<DeviceFacts>& devices,
                    const mdm::tarvex::Functions& framework, const BankTypeOf& bank_type_of) {
    // The lists are the per-device entries: permission 1 white, 2 black.
    std::unordered_map<std::string, int> listed;
    for (const auto& entry : mdm::tarvex::read_device_table(framework))
        listed.try_emplace(mdm::joined_ids(entry.pid, entry.vid), entry.perm);

    Table table{{"DEVICE", "PID", "VID", "PRODUCT", "INTERFACE", "CLASS", "CATEGORY", "PERMISSION",
                 "AUTHORIZED", "READONLY", "LISTS"},
                {}};
    QuietLog log;
    for (const auto& d : devices) {
        std::string lists;
        if (auto it = listed.find(d.pid + d.vid); it != listed.end())
            lists = it->second == mdm::kPermEnabled    ? "white"
                    : it->second == mdm::kPermDisabled ? "black"
                                                       : "";
        if (int type = bank_type_of(d.pid, d.vid); mdm::bank::type_name(type))
            lists += (lists.empty() ? "" : ",") + std::string(bank_type_name(type));

        if (d.interfaces.empty())
            table.rows.push_back({d.name, d.pid, d.vid, d.product, "", "", "", "", "", "", lists});
        for (const auto& i : d.interfaces) {
            auto category = mdm::perm::category_of_class(i.interface_class);
            int perm = mdm::perm::get_device_perm(mdm::perm::usb_subtype_of(category), d.pid, d.vid,
                                                  framework, log);
            table.rows.push_back({d.name, d.pid, d.vid, d.product, i.number, i.interface_class,
                                  std::string(mdm::perm::category_word(category)),
                                  permission_word(perm), i.authorized, i.read_only, lists});
        }
    }
    return table;
}

}  // namespace mdmctl
