// A library loaded by path with dlopen, kept open for the owner's lifetime.
#pragma once

#include <stdexcept>
#include <string>

namespace mdm::frame {

class LibraryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class DynamicLibrary {
  public:
    // Loads with RTLD_NOW so a missing symbol dependency shows at start, not mid-call.
    // Throws LibraryError carrying the loader's text when the library cannot be loaded.
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    const std::string& path() const { return path_; }
    void* handle() const { return handle_; }

    // The exported function `name` as a pointer of type Fn*, e.g. symbol<int()>("enable_net_card").
    // Throws LibraryError when the library does not export it.
    template <class Fn>
    Fn* symbol(const char* name) const {
        return reinterpret_cast<Fn*>(raw_symbol(name));
    }

  private:
    void* raw_symbol(const char* name) const;

    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace mdm::frame
