// A library loaded with dlopen, kept open for the owner's lifetime (link mdm_common_dl).
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace mdm {

// The library could not be loaded or lacks a symbol; what() carries the loader's text.
class LibraryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class DynamicLibrary {
  public:
    // `file` as dlopen takes it: a path, or a name for the ordinary library search. RTLD_NOW
    // by default, so a missing symbol dependency shows at load, not mid-call. Throws
    // LibraryError when the library cannot be loaded.
    explicit DynamicLibrary(std::string file, int flags = RTLD_NOW)
        : path_(std::move(file)), handle_(dlopen(path_.c_str(), flags)) {
        if (!handle_)
            throw LibraryError("cannot load library: " + loader_error(path_ + ": not loaded"));
    }
    ~DynamicLibrary() {
        if (handle_)
            dlclose(handle_);
    }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    const std::string& path() const { return path_; }

    // The export `name` as a pointer of type Fn*, e.g. symbol<int()>("enable_net_card").
    // Throws LibraryError when the library does not export it.
    template <class Fn>
    Fn* symbol(const char* name) const {
        return reinterpret_cast<Fn*>(raw_symbol(name));
    }

    // Fills a function pointer slot with the export `name`; throws as symbol() does.
    template <class Ptr>
    void bind(const char* name, Ptr& slot) const {
        slot = reinterpret_cast<Ptr>(raw_symbol(name));
    }

    // As bind(), but leaves the slot null when the library does not export `name`.
    template <class Ptr>
    void bind_if_present(const char* name, Ptr& slot) const {
        slot = reinterpret_cast<Ptr>(dlsym(handle_, name));
    }

  private:
    static std::string loader_error(const std::string& fallback) {
        const char* text = dlerror();
        return text ? text : fallback;
    }

    void* raw_symbol(const char* name) const {
        dlerror();
        void* sym = dlsym(handle_, name);
        if (!sym) {
            throw LibraryError(std::string(name) + " not found in " + path_ + ": " +
                               loader_error("the symbol is null"));
        }
        return sym;
    }

    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace mdm
