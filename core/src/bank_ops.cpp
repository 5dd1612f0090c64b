// Changing a bank device type's status and list.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <unordered_set>

#include "bank_files.h"
#include "bank_io.h"
#include "bank_perm.h"
#include "mdm/files.h"
#include "mdm/raii.h"
#include "list_lookup.h"

namespace periphcore::bank {

namespace {

// The kept entries in a new list file with the old file's mode and owner, renamed over it:
// the list is either the old one or the new one, never a truncated mix. Returns false (errno
// set, nothing changed) on any failure.
bool replace_list(int old_fd, const std::string& path, const std::vector<std::string>& entries) {
    struct stat st {};
    if (::fstat(old_fd, &st) != 0)
        return false;
    std::string content;
    for (const auto& e : entries)
        content.append(e).push_back('\n');
    // bankguard alone rewrites the lists: copies of a rewrite that was killed are stale.
    mdm::remove_stale_copies(path);
    return mdm::replace_file(path, content, &st);
}

}  // namespace

int set_status(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type, int status) {
    if (!type_name(type) || (status != 0 && status != 1))
        return -1;
    if (!apply_status(paths, fns, type, status)) {
        std::fputs("set devlist status error\n", stderr);
        return -1;
    }
    // Written in place over the first byte: the file must exist, and what follows stays.
    mdm::UniqueFd fd = mdm::open_regular(paths.status(type), O_WRONLY);
    const char text = static_cast<char>('0' + status);
    if (!fd || write_full(fd.get(), &text, 1) != 1) {
        report_errno("setBankDevStatus");
        return -1;
    }
    return 0;
}

int set_list(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type,
             const std::vector<std::string>& entries) {
    if (!type_name(type))
        return -1;
    const std::string path = paths.devlist(type);
    const auto current = read_list(path).value_or(std::vector<std::string>{});
    const std::unordered_set<std::string> present(current.begin(), current.end());
    std::vector<std::string> to_add;
    for (const auto& e : entries) {
        if (!present.contains(e))
            to_add.push_back(e);
    }

    mdm::UniqueFd fd = mdm::open_regular(path, O_RDWR);
    if (!fd) {
        report_errno("setBankDevList");
        return 0;
    }
    // A last line without its line feed would otherwise swallow the first new entry.
    off_t end = ::lseek(fd.get(), 0, SEEK_END);
    if (end > 0) {
        char last = '\n';
        if (::pread(fd.get(), &last, 1, end - 1) == 1 && last != '\n') {
            write_full(fd.get(), "\n", 1);
        }
    }
    int appended = 0;
    for (const auto& e : to_add) {
        std::string line = e + '\n';
        off_t before = ::lseek(fd.get(), 0, SEEK_END);
        ssize_t n = write_full(fd.get(), line.data(), line.size());
        if (n != static_cast<ssize_t>(line.size())) {
            // A full disk took part of the line: cut it off again, so it never becomes a
            // junk entry, and count only whole lines. Later entries would fail the same way.
            report_errno("setBankDevList");
            if (before >= 0 && ::ftruncate(fd.get(), before) != 0)
                report_errno("setBankDevList");
            break;
        }
        ++appended;
    }
    fd.reset();

    // New devices get the type's current permission; with no status nothing is granted.
    apply_status(paths, fns, type, read_status(paths.status(type)));
    return appended;
}

int del_list(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type,
             const std::vector<std::string>& entries) {
    if (!type_name(type))
        return -1;
    const std::string path = paths.devlist(type);
    const auto current = read_list(path).value_or(std::vector<std::string>{});
    const std::unordered_set<std::string> to_remove(entries.begin(), entries.end());
    std::vector<std::string> removed, kept;
    for (const auto& e : current) {
        (to_remove.contains(e) ? removed : kept).push_back(e);
    }

    mdm::UniqueFd fd = mdm::open_regular(path, O_RDONLY);
    if (!fd) {
        report_errno("delBankDevList");
        return 0;
    }
    // Withdrawn before the shortened list is in place: a stop in between leaves listed
    // devices without their permission, which the next status application restores, never
    // unlisted devices still allowed.
    const PrefixSet white_list(paths.white_list().c_str(), kPairSize);
    for (const auto& e : removed) {
        std::string_view product = std::string_view(e).substr(0, 4);
        std::string_view vendor = std::string_view(e).substr(4, 4);
        if (!on_white_list(white_list, product, vendor))
            withdraw(fns, product, vendor);
    }
    if (!replace_list(fd.get(), path, kept)) {
        int saved = errno;
        // The old list is still whole: its devices get their permissions back.
        apply_status(paths, fns, type, read_status(paths.status(type)));
        errno = saved;
        report_errno("delBankDevList");
        return 0;
    }
    return static_cast<int>(removed.size());
}

}  // namespace periphcore::bank
