// The fixed texts of each device category as the plug monitor announces them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "perm/category.h"

namespace plugwatch {

using mdm::perm::Category;
using mdm::perm::category_of_class;
using mdm::perm::category_of_subtype;
using mdm::perm::category_word;
using mdm::perm::usb_subtype_of;

inline constexpr std::array<Category, 3> kAnnounceOrder{Category::Storage, Category::NonStorage,
                                                        Category::VendorSpec};

// The discovery line of a category for a device's ids and permission.
std::string discovery_line(Category c, const std::string& pid, const std::string& vid, int perm);

// The notification content and the audit state suffix for a permission; nothing for a
// permission other than 1, 2 or 5, which is announced silently.
std::optional<std::string_view> notification_content(Category c, int perm);
std::optional<std::string_view> audit_state_suffix(Category c, int perm);

}  // namespace plugwatch
