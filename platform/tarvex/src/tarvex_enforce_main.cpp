// tarvex-enforce: run by udev for every added USB interface, USB block device and network
// device; brings that one device in line with the tables and exits.
#include <string_view>
#include <vector>

#include "enforce_ctl.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    return tarvex_standin::run_helper(args, tarvex_standin::EnforcePaths{});
}
