// The frame shared by the bus control services. A service is its introspection XML, its
// record name and a table of handlers; the frame does the start-up, the object export, the
// dispatch from method name to handler, the core library and the audit call.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <gio/gio.h>

#include "mdm/dynamic_library.h"
#include "mdm/frame/log_proxy.h"
#include "mdm/raii_glib.h"

namespace mdm::frame {

inline constexpr const char* kCoreLibraryPath = "/usr/lib/mdm/periphcore.so";

class Service;

// Runs one bus method: `args` is the call's in-arguments as a tuple. Returns the reply tuple
// (nullptr for none). A handler that throws answers the caller with a bus error reply.
using Handler = std::function<VariantPtr(Service& service, GVariant* args)>;
using HandlerTable = std::map<std::string, Handler, std::less<>>;

struct ServiceSpec {
    std::string bus_name{};     // also the interface name in the introspection data
    std::string object_path{};  // empty: derived from the bus name (object_path_for)
    std::string introspection_xml{};
    std::string record_name{};  // 'name' of the audit records
    std::string audit_failure_text = "log service is error";
    // Every method of the introspection data needs a handler; nothing else is reachable.
    HandlerTable handlers{};
    // Run first in the constructor, for what a service loads besides the core library;
    // throwing stops the start like a missing core library does.
    std::function<void()> prepare{};
};

// The service object: one per process, alive until the process ends.
class Service {
  public:
    // Loads the core library and makes the log proxy. Throws when the core library cannot be
    // loaded; a missing log service only prints "log service is error".
    Service(GDBusConnection* bus, const ServiceSpec& spec);

    const ServiceSpec& spec() const { return spec_; }
    GDBusConnection* bus() const { return bus_.get(); }
    const DynamicLibrary& core() const { return *so_; }  // the core library (`so`)
    template <class Fn>
    Fn* core_symbol(const char* name) const {
        return so_->symbol<Fn>(name);
    }
    bool has_log() const { return log_ != nullptr; }

    // Builds the audit record around `message` and sends it. Never throws: a failed send
    // prints the audit failure text and the record is dropped.
    void log_transmit(std::string_view message) const;

  private:
    const ServiceSpec& spec_;
    GObjectPtr<GDBusConnection> bus_;
    std::unique_ptr<DynamicLibrary> so_;
    std::unique_ptr<LogProxy> log_;
};

// The reply tuple "(i)".
VariantPtr int_reply(int value);
// A handler that answers `value` whatever the arguments.
Handler answer_int(int value);
// A table in which each of `methods` answers `value`.
HandlerTable answer_all(int value, std::initializer_list<const char*> methods);

// "/" and the bus name with every "." turned into "/": "com.quorl.X" gives "/com/quorl/X".
std::string object_path_for(std::string_view bus_name);

// The program's whole life: main loop, system bus, service object, export, name, loop.
// Returns the exit status when the start fails (the loop itself never returns).
int run_service(const ServiceSpec& spec);

}  // namespace mdm::frame
