// tarvexctl: the stand-in framework's admin tool, bound to the store the library uses.
#include <iostream>
#include <string_view>
#include <vector>

#include "ctl.h"
#include "enforce_ctl.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    int status = 0;
    if (tarvex_standin::run_enforce_ctl(args, tarvex_standin::EnforcePaths{}, std::cout, std::cerr,
                                        status))
        return status;
    const tarvex_standin::Store store("/var/lib/tarvex");
    return tarvex_standin::run_ctl(args, store, std::cout, std::cerr);
}
