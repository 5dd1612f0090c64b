#include "category.h"

#include "mdm/permissions.h"
#include "mdm/text.h"

namespace plugwatch {
namespace {

struct CategoryTexts {
    std::string_view word;
    int usb_subtype;
    const char* discovery;  // the category as the discovery line names it
    // Indexed by permission: enabled, disabled, read-only.
    std::array<std::string_view, 3> content;
    std::array<std::string_view, 3> suffix;
};

constexpr std::array<CategoryTexts, 3> kTexts{{
    {"storage",
     mdm::kSubtypeStorage,
     "[存储类外设]",
     {"当前存储类处于启用状态", "当前存储类设备处于禁用状态", "当前存储类设备处于只读状态"},
     {"  当前存储类设备处于启用状态", "  当前存储类设备处于禁用状态",
      "  当前存储类设备处于只读状态"}},
    {"nonstorage",
     mdm::kSubtypeNonStorage,
     "[非存储类外设]",
     {"当前非存储类处于启用状态", "当前非存储类设备处于禁用状态", "当前非存储类设备处于只读状态"},
     {"  当前非存储类设备处于启用状态", "  当前非存储类设备处于禁用状态",
      "  当前非存储类设备处于只读状态"}},
    {"vendorspec",
     mdm::kSubtypeVendorSpec,
     "[无法识别]",
     {"当前无法识别类处于启用状态", "当前无法识别类设备处于禁用状态",
      "当前无法识别类设备处于只读状态"},
     {"  当前无法识别类设备处于启用状态", "  当前无法识别类设备处于禁用状态",
      "  当前无法识别类设备处于只读状态"}},
}};

const CategoryTexts& texts(Category c) {
    return kTexts[static_cast<std::size_t>(c)];
}

std::optional<std::size_t> perm_index(int perm) {
    switch (perm) {
        case mdm::kPermEnabled:
            return 0;
        case mdm::kPermDisabled:
            return 1;
        case mdm::kPermReadOnly:
            return 2;
        default:
            return std::nullopt;
    }
}

}  // namespace

Category category_of_class(std::string_view interface_class) {
    if (interface_class == "08")
        return Category::Storage;
    if (interface_class == "ff")
        return Category::VendorSpec;
    return Category::NonStorage;
}

Category category_of_subtype(int usb_subtype) {
    if (usb_subtype == mdm::kSubtypeStorage)
        return Category::Storage;
    if (usb_subtype == mdm::kSubtypeVendorSpec)
        return Category::VendorSpec;
    return Category::NonStorage;
}

int usb_subtype_of(Category c) {
    return texts(c).usb_subtype;
}
std::string_view category_word(Category c) {
    return texts(c).word;
}
std::string discovery_line(Category c, const std::string& pid, const std::string& vid, int perm) {
    return mdm::format("设备发现 %s PID：%s VID：%s PERM：%d", texts(c).discovery, pid.c_str(),
                       vid.c_str(), perm);
}

std::optional<std::string_view> notification_content(Category c, int perm) {
    auto i = perm_index(perm);
    if (!i)
        return std::nullopt;
    return texts(c).content[*i];
}

std::optional<std::string_view> audit_state_suffix(Category c, int perm) {
    auto i = perm_index(perm);
    if (!i)
        return std::nullopt;
    return texts(c).suffix[*i];
}

}  // namespace plugwatch
