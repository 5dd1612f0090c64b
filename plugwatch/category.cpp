#include "category.h"

#include "mdm/permissions.h"
#include "mdm/text.h"

namespace plugwatch {
namespace {

// Indexed by Category.
struct CategoryTexts {
    const char* discovery;  // the category as the discovery line names it
    // Indexed by permission: enabled, disabled, read-only.
    std::array<std::string_view, 3> content;
    std::array<std::string_view, 3> suffix;
};

constexpr std::array<CategoryTexts, 3> kTexts{{
    {"[存储类外设]",
     {"当前存储类处于启用状态", "当前存储类设备处于禁用状态", "当前存储类设备处于只读状态"},
     {"  当前存储类设备处于启用状态", "  当前存储类设备处于禁用状态",
      "  当前存储类设备处于只读状态"}},
    {"[非存储类外设]",
     {"当前非存储类处于启用状态", "当前非存储类设备处于禁用状态", "当前非存储类设备处于只读状态"},
     {"  当前非存储类设备处于启用状态", "  当前非存储类设备处于禁用状态",
      "  当前非存储类设备处于只读状态"}},
    {"[无法识别]",
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
