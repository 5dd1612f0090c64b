// Helpers shared by the control service tests: start a service and wait for its name, call
// an integer method, list what lies under /etc/mdm.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mdmtest/support.h"

namespace services {

// Starts a program of the build and waits until it owns `bus_name`.
inline std::unique_ptr<mdmtest::Process> start_service(const std::string& relative,
                                                       const std::string& bus_name) {
    auto proc =
        std::make_unique<mdmtest::Process>(std::vector<std::string>{mdmtest::program(relative)});
    EXPECT_TRUE(mdmtest::wait_name(G_BUS_TYPE_SYSTEM, bus_name))
        << relative << " did not take " << bus_name;
    return proc;
}

inline std::string object_path(const std::string& bus_name) {
    std::string path = "/" + bus_name;
    for (char& c : path) {
        if (c == '.')
            c = '/';
    }
    return path;
}

// Interface name = bus name, object path derived from it.
inline mdmtest::CallResult call_service(const std::string& bus_name, const std::string& method,
                                        GVariant* args = nullptr) {
    return mdmtest::call_system(bus_name, object_path(bus_name), bus_name, method, args);
}

inline std::size_t count_of(const std::string& text, std::string_view needle) {
    std::size_t n = 0;
    for (auto pos = text.find(needle); pos != std::string::npos;
         pos = text.find(needle, pos + needle.size())) {
        ++n;
    }
    return n;
}

// The single integer of an "(i)" reply; fails the test (and answers a sentinel) otherwise.
inline int int_result(const mdmtest::CallResult& r) {
    EXPECT_TRUE(r.ok()) << r.error_name << ": " << r.error;
    if (!r.ok() || !g_variant_is_of_type(r.reply.get(), G_VARIANT_TYPE("(i)")))
        return -12345;
    gint32 v = 0;
    g_variant_get(r.reply.get(), "(i)", &v);
    return v;
}

inline std::vector<std::string> files_under(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        found.push_back(e.path().string());
    }
    return found;
}

}  // namespace services
