#include "bank_whitelist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mdm/files.h"
#include "mdm/raii.h"
#include "mdm/usb_id.h"

namespace rostergate {

std::vector<std::string> BankFiles::device_lists() const {
    using namespace mdm::bank;
    return {devlist(kFingerprint), devlist(kTaxkey), devlist(kTaxtray), devlist(kUshield)};
}

std::optional<std::vector<std::string>> read_lines(const std::string& path) {
    std::optional<std::string> text = mdm::read_regular(path);
    if (!text)
        return std::nullopt;
    const std::string& content = *text;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t nl = content.find('\n', start);
        bool ended = nl != std::string::npos;
        std::string_view line(content.data() + start, (ended ? nl : content.size()) - start);
        start = ended ? nl + 1 : content.size();
        // An empty line, or a last line holding one blank, carries no entry.
        if ((ended && line.empty()) || (!ended && line == " "))
            continue;
        lines.emplace_back(line);
    }
    return lines;
}

std::string to_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

int check_default_device(const std::string& pidvid, const LogLine& log) {
    if (pidvid != kDefaultDevice)
        return 0;
    log("[RosterGate]:check_default_device pidvid=" + pidvid);
    return 1;
}

std::vector<std::string> get_bank_device_list(const BankFiles& files, const LogLine& log) {
    log("[RosterGate]:get_bank_device_list");
    std::vector<std::string> result;
    for (const std::string& path : files.device_lists()) {
        if (auto lines = read_lines(path))
            result.insert(result.end(), lines->begin(), lines->end());
    }
    return result;
}

int check_bank_device(const std::string& pidvid, const EntrySet& device_list) {
    return device_list.contains(pidvid) ? 1 : 0;
}

std::vector<std::string> get_bank_device_whitelist(const BankFiles& files) {
    std::vector<std::string> result;
    if (auto lines = read_lines(files.white_list())) {
        for (const std::string& line : *lines) {
            if (line.size() == 8 && mdm::parse_strtoul_hex(line))
                result.push_back(to_lower(line));
        }
    }
    return result;
}

int add_bank_device_whitelist(const BankFiles& files, const std::vector<std::string>& devlist) {
    mdm::UniqueFd fd = mdm::open_regular(files.white_list(), O_RDWR | O_APPEND | O_CREAT);
    if (!fd || devlist.empty())
        return 0;
    // A last line without its line feed (a hand edit) must not run into the first entry
    // added, which would lose both.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd.get(), &st) == 0 && st.st_size > 0 &&
        ::pread(fd.get(), &last, 1, st.st_size - 1) != 1)
        last = '\n';
    std::string text(last == '\n' ? "" : "\n");
    for (const std::string& entry : devlist)
        text += entry + "\n";
    (void)mdm::write_full(fd.get(), text.data(), text.size());
    return 0;
}

int del_bank_device_whitelist(const BankFiles& files, const EntrySet& devlist) {
    std::string kept;
    for (const std::string& entry : get_bank_device_whitelist(files)) {
        if (!devlist.contains(entry))
            kept += entry + "\n";
    }
    // Through a file beside it and a rename: a crash or a full disk half way must not lose
    // the list that keeps the bank devices allowed when their type is switched off.
    (void)mdm::replace_file_keeping_owner(files.white_list(), kept);
    return 0;
}

int clear_bank_device_whitelist(const BankFiles& files) {
    (void)mdm::open_regular(files.white_list(), O_WRONLY | O_TRUNC | O_CREAT);
    return 0;
}

}  // namespace rostergate
