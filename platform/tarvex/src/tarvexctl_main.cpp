// tarvexctl: the stand-in framework's admin tool, bound to the store the library uses.
#include <iostream>
#include <string_view>
#include <vector>

#include "ctl.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const tarvex_standin::Store store("/var/lib/tarvex");
    return tarvex_standin::run_ctl(args, store, std::cout, std::cerr);
}
