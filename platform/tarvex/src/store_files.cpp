#include "store_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "mdm/raii.h"

namespace tarvex_standin {

namespace fs = std::filesystem;

namespace {

void check_owned(const fs::path& path, const struct stat& st, bool dir) {
    if ((dir ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) || st.st_uid != ::geteuid()) {
        throw StoreError("tarvex: " + path.string() + " is not a " +
                         (dir ? "directory" : "regular file") + " of this user");
    }
}

[[noreturn]] void fail_errno(const char* op, const fs::path& path) {
    throw StoreError("tarvex: " + std::string(op) + " " + path.string() + ": " +
                     std::strerror(errno));
}

}  // namespace

// Only the owner may enter the directory or open the database; a mode left wider by an
// earlier version is narrowed.
void prepare_dir(const fs::path& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        fail_errno("mkdir", dir);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        fail_errno("stat", dir);
    check_owned(dir, st, true);
    if ((st.st_mode & 07777) != 0700 && ::chmod(dir.c_str(), 0700) != 0)
        fail_errno("chmod", dir);
}

struct stat prepare_file(const fs::path& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        if (errno != ENOENT)
            fail_errno("stat", file);
        // Made here rather than by SQLite so it is never readable by others, whatever the
        // umask. Only a file that did not exist is opened and closed here: closing a
        // descriptor drops every POSIX lock this process holds on the file.
        mdm::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd && errno != EEXIST)
            fail_errno("create", file);
        if (::lstat(file.c_str(), &st) != 0)
            fail_errno("stat", file);
    }
    check_owned(file, st, false);
    if ((st.st_mode & 07777) != 0600 && ::chmod(file.c_str(), 0600) != 0)
        fail_errno("chmod", file);
    return st;
}

}  // namespace tarvex_standin
