// Running one checked request against the services; the exit code comes back, the output
// goes to standard output and one error line to standard error.
#pragma once

#include "cli.h"

namespace mdmctl {

Exit run(const Request& request);

}  // namespace mdmctl
