#include "peers_logic.h"

#include <charconv>

#include "mdm/raii_glib.h"
#include "mdm/text.h"

namespace peers {
namespace {

template <class T>
bool parse_number(std::string_view s, T& out) {
    if (s.empty())
        return false;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size();
}

std::optional<NmDevice> parse_nm_device(std::string_view spec) {
    auto eq = spec.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return std::nullopt;
    NmDevice dev;
    dev.iface = std::string(spec.substr(0, eq));
    if (!parse_number(spec.substr(eq + 1), dev.type))
        return std::nullopt;
    return dev;
}

}  // namespace

ParseResult parse_options(const std::vector<std::string>& args) {
    Options o;
    auto fail = [](std::string msg) { return ParseResult{std::nullopt, std::move(msg)}; };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const std::string*& out) {
            if (i + 1 >= args.size())
                return false;
            out = &args[++i];
            return true;
        };
        const std::string* v = nullptr;
        if (a == "--no-log-service") {
            o.log_service = false;
        } else if (a == "--no-client") {
            o.client = false;
        } else if (a == "--no-agent") {
            o.agent = false;
        } else if (a == "--no-nm") {
            o.nm = false;
        } else if (a == "--log" || a == "--user" || a == "--retry" || a == "--delay-ms" ||
                   a == "--nm-device") {
            if (!value(v))
                return fail(a + " needs a value");
            if (a == "--log") {
                if (v->empty())
                    return fail("--log needs a file name");
                o.log_path = *v;
            } else if (a == "--user") {
                o.user = *v;
            } else if (a == "--retry") {
                if (!parse_number(*v, o.retry))
                    return fail("bad --retry value: " + *v);
            } else if (a == "--delay-ms") {
                if (!parse_number(*v, o.delay_ms))
                    return fail("bad --delay-ms value: " + *v);
            } else {
                auto dev = parse_nm_device(*v);
                if (!dev)
                    return fail("bad --nm-device value (IFACE=TYPE): " + *v);
                if (find_nm_device(o.nm_devices, dev->iface))
                    return fail("interface given twice: " + dev->iface);
                o.nm_devices.push_back(std::move(*dev));
            }
        } else {
            return fail("unknown argument: " + a);
        }
    }
    return ParseResult{std::move(o), {}};
}

std::vector<std::string> call_args(GVariant* tuple) {
    std::vector<std::string> out;
    if (!tuple || !g_variant_is_container(tuple))
        return out;
    const gsize n = g_variant_n_children(tuple);
    for (gsize i = 0; i < n; ++i) {
        mdm::VariantPtr child(g_variant_get_child_value(tuple, i));
        GVariantClass kind = g_variant_classify(child.get());
        if (kind == G_VARIANT_CLASS_STRING || kind == G_VARIANT_CLASS_OBJECT_PATH ||
            kind == G_VARIANT_CLASS_SIGNATURE) {
            out.emplace_back(g_variant_get_string(child.get(), nullptr));
        } else {
            mdm::GCharPtr printed(g_variant_print(child.get(), TRUE));
            out.emplace_back(printed.get());
        }
    }
    return out;
}

std::string call_json_line(std::string_view peer, std::string_view method,
                           const std::vector<std::string>& args) {
    std::string line = "{\"peer\":\"";
    mdm::append_json_escaped(line, peer);
    line += "\",\"method\":\"";
    mdm::append_json_escaped(line, method);
    line += "\",\"args\":[";
    for (std::size_t i = 0; i < args.size(); ++i) {
        line += i ? ",\"" : "\"";
        mdm::append_json_escaped(line, args[i]);
        line += '"';
    }
    line += "]}";
    return line;
}

std::optional<std::size_t> find_nm_device(const std::vector<NmDevice>& devices,
                                          std::string_view iface) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].iface == iface)
            return i;
    }
    return std::nullopt;
}

std::string nm_device_path(std::size_t index) {
    return "/org/freedesktop/NetworkManager/Devices/" + std::to_string(index + 1);
}

}  // namespace peers
