// The device category of a USB interface and the framework's usb_subtype for it.
#pragma once

#include <string_view>

namespace mdm::perm {

enum class Category { Storage, NonStorage, VendorSpec };

// By interface class code, compared as the whole text sysfs shows.
Category category_of_class(std::string_view interface_class);
// By the security framework's usb_subtype (6 storage, 19 vendorspec, else nonstorage).
Category category_of_subtype(int usb_subtype);

int usb_subtype_of(Category c);
// "storage", "nonstorage" or "vendorspec".
std::string_view category_word(Category c);

}  // namespace mdm::perm
