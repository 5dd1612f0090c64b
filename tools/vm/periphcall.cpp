// Calls one switching operation of the installed core library, as the control services do:
// loaded by its fixed path, called by its exported name. The VM test uses it on real USB
// devices.
//   periphcall OPERATION [ARG...]     e.g. periphcall disabledevices 08
#include <cstdio>
#include <cstring>
#include <string_view>

#include "mdm/dynamic_library.h"

namespace {

constexpr char kLibrary[] = "/usr/lib/mdm/periphcore.so";

struct Operation {
    const char* name;
    int arity;  // number of text arguments
};

constexpr Operation kOperations[] = {
    {"disabledevices", 1}, {"enabledevices", 2}, {"add_white_list", 2},
    {"add_black_list", 2}, {"set_up_usb", 0},    {"setup_storage", 0},
};

using Call0 = int (*)();
using Call1 = int (*)(const char*);
using Call2 = int (*)(const char*, const char*);

int usage() {
    std::fprintf(stderr, "usage: periphcall OPERATION [ARG...]; operations:");
    for (const Operation& op : kOperations)
        std::fprintf(stderr, " %s(%d)", op.name, op.arity);
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    const Operation* op = nullptr;
    for (const Operation& candidate : kOperations) {
        if (std::string_view(argv[1]) == candidate.name)
            op = &candidate;
    }
    if (op == nullptr || argc - 2 != op->arity)
        return usage();

    void* symbol = nullptr;
    try {
        static const mdm::DynamicLibrary library(kLibrary);
        symbol = library.symbol<void>(op->name);
    } catch (const mdm::LibraryError& e) {
        std::fprintf(stderr, "periphcall: %s\n", e.what());
        return 3;
    }
    int result = 0;
    switch (op->arity) {
        case 0:
            result = reinterpret_cast<Call0>(symbol)();
            break;
        case 1:
            result = reinterpret_cast<Call1>(symbol)(argv[2]);
            break;
        default:
            result = reinterpret_cast<Call2>(symbol)(argv[2], argv[3]);
            break;
    }
    std::printf("%s: %d\n", op->name, result);
    return result == 0 ? 0 : 1;
}
