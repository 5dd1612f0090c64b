// Mount names and ids into the mount list and the signal lines: arbitrary texts, cut to the
// contract's widths at a UTF-8 boundary.
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "mount_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Fields fields(data, size);
    mountwatch::MountList list;
    std::vector<std::string> names;
    for (int i = 0; i < 4 && !fields.rest().empty(); ++i) {
        std::string name = fields.next(), pid = fields.next(), vid = fields.next();
        list.add(name, pid, vid);
        names.push_back(name);
        const auto& e = list.entries().back();
        if (strnlen(e.name, sizeof e.name) == sizeof e.name ||
            strnlen(e.pid, sizeof e.pid) == sizeof e.pid)
            std::abort();  // a listed text lost its terminator
        mountwatch::mount_line(true, e.name, e.pid, e.vid, name, "t", list.count());
        mountwatch::signal_line(true, e.pid, e.vid, name, "add", "t");
        mountwatch::signal_log(e.pid, e.vid, name, "add", "t");
    }
    for (const auto& name : names) {
        if (!list.take(name))
            std::abort();  // every listed mount is found again by its own name
    }
    if (list.count() != 0)
        std::abort();
    return 0;
}
