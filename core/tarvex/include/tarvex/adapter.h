// The one way the system reaches the security framework: a table of its calls (from the
// linked library, from dlopen, or fakes in tests) and the write and read patterns every
// caller shares.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>

#include "mdm/dynamic_library.h"
#include "tarvex_extend.h"

namespace mdm::tarvex {

struct Functions {
    int (*add)(tarvex_devctl_info*) = nullptr;
    int (*update)(tarvex_devctl_info*) = nullptr;
    int (*remove)(tarvex_devctl_info*) = nullptr;
    tarvex_devctl_info* (*read_special)(int*) = nullptr;      // per-device table
    tarvex_devctl_info* (*read_not_special)(int*) = nullptr;  // class policy table
    int (*batch_add)(tarvex_devctl_info*, int) = nullptr;
    int (*batch_del)(tarvex_devctl_info*, int) = nullptr;
    // Null where the framework lacks it: one per-device entry by its key.
    int (*read_special_perm)(uint32_t, uint32_t, int32_t*) = nullptr;
};

// The library could not be loaded or lacks a call; what() carries the loader's text.
using LoadError = mdm::LibraryError;

// The framework library loaded at run time; its calls stay valid while this object lives.
class LoadedLibrary {
  public:
    // `file` as dlopen takes it, e.g. "libtarvex_extend.so.0.0.0". Throws LoadError.
    explicit LoadedLibrary(const char* file);

    const Functions& functions() const { return functions_; }

  private:
    mdm::DynamicLibrary library_;
    Functions functions_;
};

// A zero-filled record with only the fields a writer sets.
tarvex_devctl_info device_record(uint32_t pid, uint32_t vid, int32_t perm);
tarvex_devctl_info class_record(int32_t type, int32_t usb_subtype, int32_t perm);

// The answers of the calls an entry write made, in the order made, so callers can log
// each one; a call that was not needed stays empty.
struct WriteAnswers {
    std::optional<int> add;
    std::optional<int> update;

    bool written() const { return add == 0 || update == 0; }
};

// Device entry: add, then update with the same record when the add answered non-zero.
WriteAnswers write_device_entry(const Functions& fns, tarvex_devctl_info& rec);
// Class entry: update, then add when the update answered non-zero.
WriteAnswers write_class_entry(const Functions& fns, tarvex_devctl_info& rec);

// The framework's snapshot, valid until the next read call on this thread; empty when the
// framework answers null or a count below 1.
std::span<const tarvex_devctl_info> read_device_table(const Functions& fns);
std::span<const tarvex_devctl_info> read_class_table(const Functions& fns);

}  // namespace mdm::tarvex
