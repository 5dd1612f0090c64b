#include "tarvex/adapter.h"

#include <dlfcn.h>
#include <string>

namespace mdm::tarvex {

namespace {

template <class Fn>
void bind(void* handle, const char* name, Fn& slot) {
    dlerror();
    void* sym = dlsym(handle, name);
    if (!sym) {
        const char* why = dlerror();
        throw LoadError(why ? why : std::string(name) + ": symbol is null");
    }
    slot = reinterpret_cast<Fn>(sym);
}

std::span<const tarvex_devctl_info> read_table(tarvex_devctl_info* (*read)(int*)) {
    int count = 0;
    const tarvex_devctl_info* records = read(&count);
    if (!records || count <= 0)
        return {};
    return {records, static_cast<size_t>(count)};
}

}  // namespace

void LoadedLibrary::Closer::operator()(void* handle) const noexcept {
    dlclose(handle);
}

LoadedLibrary::LoadedLibrary(const char* file) {
    handle_.reset(dlopen(file, RTLD_NOW | RTLD_LOCAL));
    if (!handle_) {
        const char* why = dlerror();
        throw LoadError(why ? why : std::string(file) + ": cannot be loaded");
    }
    void* h = handle_.get();
    bind(h, "tarvex_devctl_add_perm", functions_.add);
    bind(h, "tarvex_devctl_update_perm", functions_.update);
    bind(h, "tarvex_devctl_remove_perm", functions_.remove);
    bind(h, "tarvex_devctl_read_special_xmldata", functions_.read_special);
    bind(h, "tarvex_devctl_read_not_special_data", functions_.read_not_special);
    bind(h, "tarvex_devctl_batch_add_special_policies", functions_.batch_add);
    bind(h, "tarvex_devctl_batch_del_special_policies", functions_.batch_del);
}

tarvex_devctl_info device_record(uint32_t pid, uint32_t vid, int32_t perm) {
    tarvex_devctl_info rec{};
    rec.pid = pid;
    rec.vid = vid;
    rec.perm = perm;
    return rec;
}

tarvex_devctl_info class_record(int32_t type, int32_t usb_subtype, int32_t perm) {
    tarvex_devctl_info rec{};
    rec.type = type;
    rec.usb_subtype = usb_subtype;
    rec.perm = perm;
    return rec;
}

WriteAnswers write_device_entry(const Functions& fns, tarvex_devctl_info& rec) {
    WriteAnswers answers;
    answers.add = fns.add(&rec);
    if (*answers.add != 0)
        answers.update = fns.update(&rec);
    return answers;
}

WriteAnswers write_class_entry(const Functions& fns, tarvex_devctl_info& rec) {
    WriteAnswers answers;
    answers.update = fns.update(&rec);
    if (*answers.update != 0)
        answers.add = fns.add(&rec);
    return answers;
}

std::span<const tarvex_devctl_info> read_device_table(const Functions& fns) {
    return read_table(fns.read_special);
}

std::span<const tarvex_devctl_info> read_class_table(const Functions& fns) {
    return read_table(fns.read_not_special);
}

}  // namespace mdm::tarvex
