#include "mdm/frame/dynamic_library.h"

#include <dlfcn.h>

namespace mdm::frame {

namespace {
std::string loader_error() {
    const char* text = dlerror();
    return text ? text : "unknown loader error";
}
}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW);
    if (!handle_)
        throw LibraryError("cannot load library: " + loader_error());
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_)
        dlclose(handle_);
}

void* DynamicLibrary::raw_symbol(const char* name) const {
    dlerror();
    void* sym = dlsym(handle_, name);
    if (!sym)
        throw LibraryError(std::string(name) + " not found in " + path_ + ": " + loader_error());
    return sym;
}

}  // namespace mdm::frame
