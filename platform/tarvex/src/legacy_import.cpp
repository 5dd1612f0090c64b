#include "legacy_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "mdm/files.h"
#include "mdm/raii.h"
#include "store_format.h"

namespace tarvex_standin {

std::optional<Tables> read_legacy_store(const std::filesystem::path& dir,
                                        const std::function<void(const std::string&)>& report) {
    const std::filesystem::path path = dir / "tables";
    mdm::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string image(static_cast<size_t>(st.st_size), '\0');
    ssize_t n = mdm::read_full(fd.get(), image.data(), image.size());
    std::optional<Tables> tables;
    if (n == static_cast<ssize_t>(image.size()))
        tables = decode_tables(image);
    if (!tables)
        report("tarvex: earlier store " + path.string() + " is damaged; it was not imported");
    return tables;
}

void retire_legacy_store(const std::filesystem::path& dir) {
    std::rename((dir / "tables").c_str(), (dir / "tables.imported").c_str());
    ::unlink((dir / "lock").c_str());
}

}  // namespace tarvex_standin
