#include "records.h"

#include <array>
#include <charconv>

#include "fields.h"

namespace stockpeers {

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::string_view, 5> kCoreSeps = {
    "','hostname':'"sv, "','name':'"sv, "','ip':'"sv, "','lv':'"sv, "','message':'"sv};
constexpr std::array<std::string_view, 5> kServiceSeps = {
    "','hostname':'"sv, "','ip':'"sv, "','name':'"sv, "','lv':'"sv, "','message':'"sv};

constexpr std::array<std::string_view, 11> kDeviceSeps = {
    R"(","pid":")"sv,          R"(","make":")"sv,
    R"(","model":")"sv,        R"(","devpath":")"sv,
    R"(","idVendor":")"sv,     R"(","idProduct":")"sv,
    R"(","serial":")"sv,       R"(","product":")"sv,
    R"(","manufacturer":")"sv, R"(","bInterfaceClass":")"sv,
    R"(","status":)"sv};

}  // namespace

std::optional<AuditRecord> parse_audit_record(std::string_view record) {
    // Which of 'name' and 'ip' follows the user decides the shape.
    std::size_t name_at = record.find(kCoreSeps[1]);
    std::size_t ip_at = record.find(kCoreSeps[2]);
    AuditShape shape = name_at <= ip_at ? AuditShape::Core : AuditShape::Service;
    const auto& seps = shape == AuditShape::Core ? kCoreSeps : kServiceSeps;
    auto v = split_fixed(record, "{'time':'", seps, "'}");
    if (!v)
        return std::nullopt;
    AuditRecord r;
    r.shape = shape;
    r.time = (*v)[0];
    r.user = (*v)[1];
    if (shape == AuditShape::Core) {
        r.source = (*v)[2];
        r.address = (*v)[3];
    } else {
        r.address = (*v)[2];
        r.source = (*v)[3];
    }
    r.level = (*v)[4];
    r.message = (*v)[5];
    return r;
}

std::optional<int> parse_int(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<DeviceLog> parse_device_log(std::string_view log) {
    auto v = split_fixed(log, R"({"vid":")", kDeviceSeps, "}");
    if (!v)
        return std::nullopt;
    auto status = parse_int((*v)[11]);
    if (!status)
        return std::nullopt;
    const auto& f = *v;
    return DeviceLog{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], *status};
}

}  // namespace stockpeers
