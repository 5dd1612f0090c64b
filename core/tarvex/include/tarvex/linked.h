// The framework's calls from the library linked into the program (target
// tarvex_adapter_linked, which links libtarvex_extend).
#pragma once

#include "tarvex/adapter.h"

namespace mdm::tarvex {

Functions linked_functions();

}  // namespace mdm::tarvex
