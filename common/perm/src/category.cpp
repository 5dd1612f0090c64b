#include "perm/category.h"

#include "mdm/permissions.h"

namespace mdm::perm {

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
    switch (c) {
        case Category::Storage:
            return kSubtypeStorage;
        case Category::VendorSpec:
            return kSubtypeVendorSpec;
        case Category::NonStorage:
            break;
    }
    return kSubtypeNonStorage;
}

std::string_view category_word(Category c) {
    switch (c) {
        case Category::Storage:
            return "storage";
        case Category::VendorSpec:
            return "vendorspec";
        case Category::NonStorage:
            break;
    }
    return "nonstorage";
}

}  // namespace mdm::perm
