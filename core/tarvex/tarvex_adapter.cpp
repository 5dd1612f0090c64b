#include "tarvex/adapter.h"

namespace mdm::tarvex {

namespace {

std::span<const tarvex_devctl_info> read_table(tarvex_devctl_info* (*read)(int*)) {
    int count = 0;
    const tarvex_devctl_info* records = read(&count);
    if (!records || count <= 0)
        return {};
    return {records, static_cast<size_t>(count)};
}

}  // namespace

LoadedLibrary::LoadedLibrary(const char* file) : library_(file, RTLD_NOW | RTLD_LOCAL) {
    library_.bind("tarvex_devctl_add_perm", functions_.add);
    library_.bind("tarvex_devctl_update_perm", functions_.update);
    library_.bind("tarvex_devctl_remove_perm", functions_.remove);
    library_.bind("tarvex_devctl_read_special_xmldata", functions_.read_special);
    library_.bind("tarvex_devctl_read_not_special_data", functions_.read_not_special);
    library_.bind("tarvex_devctl_batch_add_special_policies", functions_.batch_add);
    library_.bind("tarvex_devctl_batch_del_special_policies", functions_.batch_del);
    library_.bind_if_present("tarvex_devctl_read_special_perm", functions_.read_special_perm);
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
