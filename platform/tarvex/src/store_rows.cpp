#include "store_rows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarvex_standin {

namespace {

void bind_text(sqlite3_stmt* s, int index, const char* field, size_t width) {
    // Stored without the zero fill, and cut one short of the width so it reads back
    // terminated.
    sqlite3_bind_blob(s, index, field, static_cast<int>(strnlen(field, width - 1)),
                      SQLITE_TRANSIENT);
}

void column_text(sqlite3_stmt* s, int col, char* field, size_t width) {
    auto len = static_cast<size_t>(sqlite3_column_bytes(s, col));
    const void* data = sqlite3_column_blob(s, col);
    if (data)
        std::memcpy(field, data, std::min(len, width - 1));
}

}  // namespace

void bind_record(sqlite3_stmt* s, const tarvex_devctl_info& r) {
    const int used = sqlite3_bind_parameter_count(s);
    const int64_t numbers[] = {r.type, r.usb_subtype, r.pid,         r.vid,
                               r.perm, r.oldperm,     r.special_type};
    for (int i = 1; i <= used && i <= 7; ++i)
        sqlite3_bind_int64(s, i, numbers[i - 1]);
    if (used >= 8)
        bind_text(s, 8, r.serial, sizeof r.serial);
    if (used >= 9)
        bind_text(s, 9, r.displayname, sizeof r.displayname);
}

tarvex_devctl_info column_record(sqlite3_stmt* s) {
    tarvex_devctl_info r{};
    r.type = sqlite3_column_int(s, 0);
    r.usb_subtype = sqlite3_column_int(s, 1);
    r.pid = static_cast<uint32_t>(sqlite3_column_int64(s, 2));
    r.vid = static_cast<uint32_t>(sqlite3_column_int64(s, 3));
    r.perm = sqlite3_column_int(s, 4);
    r.oldperm = sqlite3_column_int(s, 5);
    r.special_type = sqlite3_column_int(s, 6);
    column_text(s, 7, r.serial, sizeof r.serial);
    column_text(s, 8, r.displayname, sizeof r.displayname);
    return r;
}

}  // namespace tarvex_standin
