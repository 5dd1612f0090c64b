// The exported calls: the fixed store location, per-thread read snapshots, and no C++
// exception ever reaching the C caller.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <optional>

#include "store.h"
#include "tarvex_extend.h"

// The platform library's record layout; callers on the target machine depend on it.
static_assert(sizeof(tarvex_devctl_info) == 412);
static_assert(offsetof(tarvex_devctl_info, type) == 0);
static_assert(offsetof(tarvex_devctl_info, usb_subtype) == 4);
static_assert(offsetof(tarvex_devctl_info, pid) == 8);
static_assert(offsetof(tarvex_devctl_info, vid) == 12);
static_assert(offsetof(tarvex_devctl_info, perm) == 16);
static_assert(offsetof(tarvex_devctl_info, oldperm) == 20);
static_assert(offsetof(tarvex_devctl_info, serial) == 24);
static_assert(offsetof(tarvex_devctl_info, special_type) == 152);
static_assert(offsetof(tarvex_devctl_info, displayname) == 156);

#define TARVEX_EXPORT extern "C" __attribute__((visibility("default")))

using tarvex_standin::kFailed;
using tarvex_standin::kNotDone;
using tarvex_standin::Snapshot;
using tarvex_standin::Store;
using tarvex_standin::Table;

namespace {

const Store& store() {
    static const Store instance("/var/lib/tarvex");
    return instance;
}

// Runs `body` and turns any failure it throws (the store itself reports and answers kFailed)
// into kFailed on standard error.
template <class Body>
int guarded(const char* call, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", call, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unknown failure\n", call);
    }
    return kFailed;
}

int change_one(const char* call, const tarvex_devctl_info* info,
               int (Store::*op)(const tarvex_devctl_info&) const) noexcept {
    if (!info)
        return kFailed;
    return guarded(call, [&] { return (store().*op)(*info); });
}

// The snapshot lives in a per-thread buffer so a caller may keep the pointer until its
// next read, while other threads read on their own; an unchanged table is not read again.
tarvex_devctl_info* read_table(const char* call, int* count, Table table,
                               Snapshot& snapshot) noexcept {
    if (count)
        *count = 0;
    int ok = guarded(call, [&] {
        store().read(table, snapshot);
        return 0;
    });
    if (ok != 0 || snapshot.rows.empty() || !count)
        return nullptr;
    *count = static_cast<int>(snapshot.rows.size());
    return snapshot.rows.data();
}

thread_local Snapshot device_snapshot;
thread_local Snapshot class_snapshot;

}  // namespace

TARVEX_EXPORT int tarvex_devctl_add_perm(tarvex_devctl_info* info) {
    return change_one("tarvex_devctl_add_perm", info, &Store::add);
}

TARVEX_EXPORT int tarvex_devctl_update_perm(tarvex_devctl_info* info) {
    return change_one("tarvex_devctl_update_perm", info, &Store::update);
}

TARVEX_EXPORT int tarvex_devctl_remove_perm(tarvex_devctl_info* info) {
    return change_one("tarvex_devctl_remove_perm", info, &Store::remove);
}

TARVEX_EXPORT tarvex_devctl_info* tarvex_devctl_read_special_xmldata(int* count) {
    return read_table("tarvex_devctl_read_special_xmldata", count, Table::Devices, device_snapshot);
}

TARVEX_EXPORT tarvex_devctl_info* tarvex_devctl_read_not_special_data(int* count) {
    return read_table("tarvex_devctl_read_not_special_data", count, Table::Classes, class_snapshot);
}

TARVEX_EXPORT int tarvex_devctl_read_special_perm(uint32_t pid, uint32_t vid, int32_t* perm) {
    if (!perm)
        return kFailed;
    return guarded("tarvex_devctl_read_special_perm", [&] {
        bool failed = false;
        std::optional<int> found = store().device_perm(pid, vid, failed);
        if (failed)
            return kFailed;
        if (!found)
            return kNotDone;
        *perm = *found;
        return 0;
    });
}

TARVEX_EXPORT int tarvex_devctl_batch_add_special_policies(tarvex_devctl_info* infos, int count) {
    if (count <= 0)
        return 0;
    if (!infos)
        return kFailed;
    return guarded("tarvex_devctl_batch_add_special_policies", [&] {
        return store().put_all({infos, static_cast<size_t>(count)});
    });
}

TARVEX_EXPORT int tarvex_devctl_batch_del_special_policies(tarvex_devctl_info* infos, int count) {
    if (count <= 0)
        return 0;
    if (!infos)
        return kFailed;
    return guarded("tarvex_devctl_batch_del_special_policies", [&] {
        return store().remove_all({infos, static_cast<size_t>(count)});
    });
}
