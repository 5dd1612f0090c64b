#include "perm/category.h"

#include <array>
#include <cstddef>

#include "mdm/permissions.h"

namespace mdm::perm {

namespace {

// Indexed by Category.
struct CategoryFacts {
    std::string_view word;
    int usb_subtype;
};
constexpr std::array<CategoryFacts, 3> kCategories{{
    {"storage", kSubtypeStorage},
    {"nonstorage", kSubtypeNonStorage},
    {"vendorspec", kSubtypeVendorSpec},
}};

}  // namespace

Category category_of_class(std::string_view interface_class) {
    if (interface_class == "08")
        return Category::Storage;
    if (interface_class == "ff")
        return Category::VendorSpec;
    return Category::NonStorage;
}

Category category_of_subtype(int usb_subtype) {
    if (usb_subtype == kSubtypeStorage)
        return Category::Storage;
    if (usb_subtype == kSubtypeVendorSpec)
        return Category::VendorSpec;
    return Category::NonStorage;
}

int usb_subtype_of(Category c) {
    return kCategories[static_cast<std::size_t>(c)].usb_subtype;
}

std::string_view category_word(Category c) {
    return kCategories[static_cast<std::size_t>(c)].word;
}

}  // namespace mdm::perm
