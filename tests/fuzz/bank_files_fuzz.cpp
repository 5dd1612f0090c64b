// The bank device files: a device list read whole, its lines as entries, a status file, and
// the type lookup over a bank directory holding the list.
#include <sys/stat.h>

#include <cstdlib>

#include "bank_files.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile scratch;
    static const bool dirs = [] {
        ::mkdir((scratch.dir() + "/devlist").c_str(), 0700);
        ::mkdir((scratch.dir() + "/status").c_str(), 0700);
        return true;
    }();
    (void)dirs;
    fuzz::Fields fields(data, size);
    std::string product = fields.next(), vendor = fields.next();
    std::string_view content = fields.rest();

    periphcore::bank::BankPaths paths(scratch.dir());
    const std::string& list = scratch.write_at(paths.devlist(2), content);
    if (auto entries = periphcore::bank::read_list(list)) {
        for (const auto& e : *entries) {
            if (e.size() != 8)
                std::abort();
        }
    } else {
        std::abort();  // the file exists and is readable
    }
    periphcore::bank::normalise_line(content);
    int type = periphcore::bank::device_type(paths, product.c_str(), vendor.c_str());
    if (type != 2 && type != periphcore::bank::kNotBank)
        std::abort();

    const std::string& status = scratch.write_at(paths.status(2), content);
    int value = periphcore::bank::read_status(status);
    if (value < -1 || periphcore::bank::parse_status(content) < 0)
        std::abort();
    return 0;
}
