#include "bank_io.h"

#include <cstdio>
#include <cstring>

namespace periphcore::bank {

void report_errno(const char* operation) {
    std::fprintf(stderr, "%s: %s\n", operation, std::strerror(errno));
}

}  // namespace periphcore::bank
