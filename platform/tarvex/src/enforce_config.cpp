#include "enforce_config.h"

#include "mdm/files.h"

namespace tarvex_standin {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

EnforceConfig parse_enforce_config(std::string_view text,
                                   const std::function<void(const std::string&)>& warn) {
    EnforceConfig config;
    int number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        size_t eq = line.find('=');
        std::string_view key = trim(line.substr(0, eq));
        std::string_view value = eq == std::string_view::npos ? "" : trim(line.substr(eq + 1));
        if (key == "strict" && (value == "yes" || value == "no")) {
            config.strict = value == "yes";
        } else if (warn) {
            warn("line " + std::to_string(number) + " not understood: " + std::string(line));
        }
    }
    return config;
}

EnforceConfig read_enforce_config(const EnforcePaths& paths,
                                  const std::function<void(const std::string&)>& warn) {
    auto text = mdm::read_regular(paths.config.string());
    return text ? parse_enforce_config(*text, warn) : EnforceConfig{};
}

bool enforcement_off(std::string_view cmdline) {
    while (!cmdline.empty()) {
        size_t start = cmdline.find_first_not_of(" \t\n");
        if (start == std::string_view::npos)
            break;
        cmdline.remove_prefix(start);
        size_t end = cmdline.find_first_of(" \t\n");
        if (cmdline.substr(0, end) == kBootSwitch)
            return true;
        cmdline = end == std::string_view::npos ? std::string_view() : cmdline.substr(end);
    }
    return false;
}

bool enforcement_off(const EnforcePaths& paths) {
    auto text = mdm::read_regular(paths.cmdline.string());
    return text && enforcement_off(*text);
}

}  // namespace tarvex_standin
