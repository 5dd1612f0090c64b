#include "ctl.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "mdm/usb_id.h"

namespace tarvex_standin {

namespace {

constexpr const char* kUsage =
    "usage: tarvexctl list | set-device PID VID PERM | set-class TYPE USB_SUBTYPE PERM | "
    "remove-device PID VID | clear";

class BadUsage {
  public:
    explicit BadUsage(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

template <class T>
T parse_number(std::string_view text, int base, const char* what) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        throw BadUsage(std::string("invalid ") + what + " '" + std::string(text) + "'");
    }
    return value;
}

// Ids are hexadecimal as sysfs shows them; a leading 0x is accepted.
uint32_t parse_id(std::string_view text, const char* what) {
    if (auto id = mdm::parse_0x_hex32(text))
        return *id;
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    throw BadUsage(std::string("invalid ") + what + " '" + std::string(text) + "'");
}

int32_t parse_decimal(std::string_view text, const char* what) {
    return parse_number<int32_t>(text, 10, what);
}

void expect_args(std::span<const std::string_view> args, size_t count) {
    if (args.size() != count + 1) {
        throw BadUsage(std::string(args[0]) + " takes " + std::to_string(count) + " argument" +
                       (count == 1 ? "" : "s"));
    }
}

std::string ids_text(const tarvex_devctl_info& e) {
    char text[32];
    std::snprintf(text, sizeof text, "%04x %04x", e.pid, e.vid);
    return text;
}

std::string device_line(const tarvex_devctl_info& e) {
    return "device " + ids_text(e) + " perm=" + std::to_string(e.perm);
}

std::string class_line(const tarvex_devctl_info& e) {
    char line[96];
    std::snprintf(line, sizeof line, "class type=%d usb_subtype=%d perm=%d", e.type, e.usb_subtype,
                  e.perm);
    return line;
}

int list(const Store& store, std::ostream& out) {
    // An unreadable store has been reported; it is no empty list.
    std::optional<Tables> t = store.read();
    if (!t)
        return kCtlFailed;
    for (const auto& e : t->devices)
        out << device_line(e) << '\n';
    for (const auto& e : t->classes)
        out << class_line(e) << '\n';
    return kCtlOk;
}

// The store has reported its own failure on standard error.
int done(int answer) {
    return answer == kFailed ? kCtlFailed : kCtlOk;
}

int set_entry(const Store& store, const tarvex_devctl_info& rec) {
    return done(store.put_all({&rec, 1}));
}

int run(std::span<const std::string_view> args, const Store& store, std::ostream& out,
        std::ostream& err) {
    if (args.empty())
        throw BadUsage("missing command");
    std::string_view cmd = args[0];
    if (cmd == "list") {
        expect_args(args, 0);
        return list(store, out);
    }
    if (cmd == "set-device") {
        expect_args(args, 3);
        tarvex_devctl_info rec{};
        rec.pid = parse_id(args[1], "PID");
        rec.vid = parse_id(args[2], "VID");
        rec.perm = parse_decimal(args[3], "PERM");
        return set_entry(store, rec);
    }
    if (cmd == "set-class") {
        expect_args(args, 3);
        tarvex_devctl_info rec{};
        rec.type = parse_decimal(args[1], "TYPE");
        rec.usb_subtype = parse_decimal(args[2], "USB_SUBTYPE");
        rec.perm = parse_decimal(args[3], "PERM");
        // Both zero is how a record says it is a device entry.
        if (is_device_entry(rec))
            throw BadUsage("TYPE and USB_SUBTYPE may not both be 0");
        return set_entry(store, rec);
    }
    if (cmd == "remove-device") {
        expect_args(args, 2);
        tarvex_devctl_info rec{};
        rec.pid = parse_id(args[1], "PID");
        rec.vid = parse_id(args[2], "VID");
        int answer = store.remove(rec);
        if (answer == kNotDone)
            err << "tarvexctl: no device entry " << ids_text(rec) << '\n';
        return answer == 0 ? kCtlOk : kCtlFailed;
    }
    if (cmd == "clear") {
        expect_args(args, 0);
        return done(store.clear());
    }
    throw BadUsage("unknown command '" + std::string(cmd) + "'");
}

}  // namespace

int run_ctl(std::span<const std::string_view> args, const Store& store, std::ostream& out,
            std::ostream& err) {
    try {
        return run(args, store, out, err);
    } catch (const BadUsage& e) {
        err << "tarvexctl: " << e.text() << "; " << kUsage << '\n';
        return kCtlBadUsage;
    }
}

}  // namespace tarvex_standin
