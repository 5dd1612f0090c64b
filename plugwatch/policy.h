// Import of the one-shot list files and the built-in allow list into the framework's
// per-device table, before the first event is handled.
#pragma once

#include <string>

#include "seams.h"

namespace plugwatch {

struct PolicyFiles {
    std::string black_list = "/etc/mdm/black-list";
    std::string white_list = "/etc/mdm/white-list";
};

// Writes a per-device entry: add, then update when the add answered non-zero. 0 on
// success, -1 for a missing text, else the negated answer of the update.
int set_device_perm(const char* pid, const char* vid, int perm, Log& log,
                    const mdm::tarvex::Functions& framework);

// Black list (permission 2), then white list (1), both deleted once read, then the
// built-in default allow list (1). A pair in both files ends with the white list's 1.
void init_policy(Log& log, const mdm::tarvex::Functions& framework, const PolicyFiles& files = {});

}  // namespace plugwatch
