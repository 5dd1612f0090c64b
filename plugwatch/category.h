// Device categories of a USB interface and their fixed texts.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace plugwatch {

enum class Category { Storage, NonStorage, VendorSpec };

inline constexpr std::array<Category, 3> kAnnounceOrder{Category::Storage, Category::NonStorage,
                                                        Category::VendorSpec};

// By interface class code, compared as the whole text sysfs shows.
Category category_of_class(std::string_view interface_class);
// By the security framework's usb_subtype (6 storage, 19 vendorspec, else nonstorage).
Category category_of_subtype(int usb_subtype);

int usb_subtype_of(Category c);
std::string_view category_word(Category c);
// The discovery line of a category for a device's ids and permission.
std::string discovery_line(Category c, const std::string& pid, const std::string& vid, int perm);

// The notification content and the audit state suffix for a permission; nothing for a
// permission other than 1, 2 or 5, which is announced silently.
std::optional<std::string_view> notification_content(Category c, int perm);
std::optional<std::string_view> audit_state_suffix(Category c, int perm);

}  // namespace plugwatch
