// The core library's file-error line; whole transfers come from the shared file helpers.
#pragma once

#include "mdm/files.h"

namespace periphcore::bank {

using mdm::read_full;
using mdm::write_full;

// The file-error line of the core library: "<operation>: <system error text>".
void report_errno(const char* operation);

}  // namespace periphcore::bank
