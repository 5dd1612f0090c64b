// The list file lines: the line reader over any bytes, the lookups of the black and white
// lists over a file holding them, and the prefix set built from it.
#include <cstdio>

#include "fuzz_input.h"
#include "list_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile scratch;
    fuzz::Fields fields(data, size);
    std::string product = fields.next(), vendor = fields.next();
    std::string_view content = fields.rest();

    std::string copy(content);
    if (FILE* f = fmemopen(copy.data(), copy.size() ? copy.size() : 1, "r")) {
        periphcore::LineReader reader(f, periphcore::kListLineMax);
        std::size_t total = 0;
        while (auto line = reader.next()) {
            if (line->size() > periphcore::kListLineMax + 1)
                std::abort();  // a longer line must have been skipped whole
            total += line->size();
        }
        if (total > copy.size() + 1)
            std::abort();
        std::fclose(f);
    }

    const std::string& path = scratch.write(content);
    int exact = periphcore::lookup_exact(path.c_str(), product.c_str(), vendor.c_str());
    int prefix = periphcore::lookup_prefix(path.c_str(), product.c_str(), vendor.c_str());
    if ((exact != 0 && exact != 1) || (prefix != 0 && prefix != 1))
        std::abort();
    if (auto key = periphcore::list_key(product.c_str(), vendor.c_str())) {
        periphcore::PrefixSet set(path.c_str(), key->size());
        // The set answers as the lookup it stands in for.
        if (set.contains(*key) != (prefix == 0))
            std::abort();
    }
    return 0;
}
