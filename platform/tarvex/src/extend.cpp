// The exported calls: the fixed store location, per-thread read snapshots, and no C++
// exception ever reaching the C caller.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <vector>

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
using tarvex_standin::Store;
using tarvex_standin::Tables;

namespace {

const Store& store() {
    static const Store instance("/var/lib/tarvex");
    return instance;
}

// Runs `body` and turns any failure into kFailed, reported on standard error.
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
               int (*op)(Tables&, const tarvex_devctl_info&)) noexcept {
    if (!info)
        return kFailed;
    return guarded(call, [&] { return store().modify([&](Tables& t) { return op(t, *info); }); });
}

// The snapshot lives in a per-thread buffer so a caller may keep the pointer until its
// next read, while other threads read on their own.
tarvex_devctl_info* read_table(const char* call, int* count,
                               std::vector<tarvex_devctl_info> Tables::*table,
                               std::vector<tarvex_devctl_info>& snapshot) noexcept {
    if (count)
        *count = 0;
    int ok = guarded(call, [&] {
        snapshot = store().read().*table;
        return 0;
    });
    if (ok != 0 || snapshot.empty() || !count)
        return nullptr;
    *count = static_cast<int>(snapshot.size());
    return snapshot.data();
}

thread_local std::vector<tarvex_devctl_info> device_snapshot;
thread_local std::vector<tarvex_devctl_info> class_snapshot;

}  // namespace

TARVEX_EXPORT int tarvex_devctl_add_perm(tarvex_devctl_info* info) {
    return change_one("tarvex_devctl_add_perm", info, tarvex_standin::add_entry);
}

TARVEX_EXPORT int tarvex_devctl_update_perm(tarvex_devctl_info* info) {
    return change_one("tarvex_devctl_update_perm", info, tarvex_standin::update_entry);
}

TARVEX_EXPORT int tarvex_devctl_remove_perm(tarvex_devctl_info* info) {
    return change_one("tarvex_devctl_remove_perm", info, tarvex_standin::remove_entry);
}

TARVEX_EXPORT tarvex_devctl_info* tarvex_devctl_read_special_xmldata(int* count) {
    return read_table("tarvex_devctl_read_special_xmldata", count, &Tables::devices,
                      device_snapshot);
}

TARVEX_EXPORT tarvex_devctl_info* tarvex_devctl_read_not_special_data(int* count) {
    return read_table("tarvex_devctl_read_not_special_data", count, &Tables::classes,
                      class_snapshot);
}

TARVEX_EXPORT int tarvex_devctl_batch_add_special_policies(tarvex_devctl_info* infos, int count) {
    if (count <= 0)
        return 0;
    if (!infos)
        return kFailed;
    return guarded("tarvex_devctl_batch_add_special_policies", [&] {
        return store().modify([&](Tables& t) {
            for (int i = 0; i < count; ++i)
                tarvex_standin::put_entry(t, infos[i]);
            return 0;
        });
    });
}

TARVEX_EXPORT int tarvex_devctl_batch_del_special_policies(tarvex_devctl_info* infos, int count) {
    if (count <= 0)
        return 0;
    if (!infos)
        return kFailed;
    return guarded("tarvex_devctl_batch_del_special_policies", [&] {
        return store().modify([&](Tables& t) {
            int removed = 0;
            for (int i = 0; i < count; ++i) {
                if (tarvex_standin::remove_entry(t, infos[i]) == 0)
                    ++removed;
            }
            return removed;
        });
    });
}
