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
#include "periphcore/lists.h"

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
    mdm::UniqueFd fd(::open(paths.status(type).c_str(), O_WRONLY | O_CLOEXEC));
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

    mdm::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
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
        ssize_t n = write_full(fd.get(), line.data(), line.size());
        // -1 means nothing of the entry reached the file; any other answer moved bytes.
        if (n != -1)
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

    mdm::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd || !replace_list(fd.get(), path, kept)) {
        // The old list is still whole, so its devices keep their permissions.
        report_errno("delBankDevList");
        return 0;
    }

    const PrefixSet white_list(paths.white_list().c_str(), kPairSize);
    for (const auto& e : removed) {
        std::string_view product = std::string_view(e).substr(0, 4);
        std::string_view vendor = std::string_view(e).substr(4, 4);
        if (!on_white_list(white_list, product, vendor))
            withdraw(fns, product, vendor);
    }
    return static_cast<int>(removed.size());
}

}  // namespace periphcore::bank
