// The exported audit and notification calls. Diagnostics go to the system log at debug
// priority; the bus library's error texts also to standard output.
#include <syslog.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "audit_record.h"
#include "host_address.h"
#include "peer_bus.h"
#include "periphcore/audit.h"

namespace periphcore {
namespace {

std::string local_time_now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return format_audit_time(tm);
}

std::optional<std::string> host_ipv4_address() {
    static HostAddress address;
    return address.get();
}

std::optional<std::string> current_user() {
    mdm::GErrorSlot err;
    auto bus = peer::system_bus(err);
    if (!bus)
        return std::nullopt;
    auto reply = peer::call(bus.get(), peer::kManagementClient, "get_current_user", err);
    return peer::reply_string(reply.get());
}

void print_error(const mdm::GErrorSlot& err) {
    std::printf("%s\n", err.message());
    std::fflush(stdout);
}

int send_audit_record(const char* record) {
    mdm::GErrorSlot err;
    auto bus = peer::system_bus(err);
    if (!bus) {
        syslog(LOG_DEBUG, "connect sys_transmit bus error");
        return -1;
    }
    auto reply = peer::call(bus.get(), peer::kLogService, "log_transmit", record, err);
    if (!reply) {
        syslog(LOG_DEBUG, "usb_storage_plug_in error");
        print_error(err);
        return -1;
    }
    return 0;
}

void log_event(const char* name, const char* level, const char* message) {
    syslog(LOG_DEBUG, "logging");
    // The address is looked up first and the user asked for even when the record will not
    // be sent: the management client sees the same calls either way.
    auto ip = host_ipv4_address();
    std::string user = user_or_fallback(current_user());
    std::string record =
        build_audit_record(local_time_now(), user, name ? name : "", ip ? *ip : kUnknownIp,
                           level ? level : "", message ? message : "");
    if (!ip) {
        syslog(LOG_DEBUG, "ip is unknown, do not send usb log to transmit, usb_log = %s",
               record.c_str());
        return;
    }
    int result = send_audit_record(record.c_str());
    syslog(LOG_DEBUG, "send usb log to transmit, result = %d, usb_log = %s", result,
           record.c_str());
}

int send_usb_event(const char* log, int status) {
    syslog(LOG_DEBUG, "connect_ostrelclient_bus\n");
    mdm::GErrorSlot err;
    auto bus = peer::system_bus(err);
    if (!bus) {
        syslog(LOG_DEBUG, "connect ostrelclient bus error");
        return -1;
    }
    const char* method = status ? "usb_storage_pull_out" : "usb_storage_plug_in";
    auto reply = peer::call(bus.get(), peer::kManagementClient, method, log, err);
    if (!reply) {
        // The same line for either method: log readers search for it.
        syslog(LOG_DEBUG, "usb_storage_plug_in error");
        print_error(err);
        return -1;
    }
    syslog(LOG_DEBUG,
           status ? "Remove USB log : %s, status = %d\n" : "Add USB log : %s, status = %d\n", log,
           status);
    if (peer::reply_string(reply.get()) == "Retry") {
        syslog(LOG_DEBUG, "retry log");
        return 1;
    }
    return 0;
}

void notify_user(const char* text) {
    mdm::GErrorSlot err;
    auto bus = peer::system_bus(err);
    if (!bus)
        return;
    // An absent agent only costs the notification.
    peer::call(bus.get(), peer::kNotificationAgent, "show_system_notification", text, err);
}

}  // namespace
}  // namespace periphcore

extern "C" {

PERIPHCORE_API void logging(const char* name, const char* level, const char* message) {
    try {
        periphcore::log_event(name, level, message);
    } catch (...) {
    }
}

PERIPHCORE_API int connect_bus(const char* record) {
    if (!record)
        return -1;
    try {
        return periphcore::send_audit_record(record);
    } catch (...) {
        return -1;
    }
}

PERIPHCORE_API int connect_ostrelclient_bus(const char* log, int status) {
    if (!log)
        return -1;
    try {
        return periphcore::send_usb_event(log, status);
    } catch (...) {
        return -1;
    }
}

PERIPHCORE_API int show_system_notification(const char* text) {
    if (!text)
        return 0;
    try {
        periphcore::notify_user(text);
    } catch (...) {
    }
    return 0;
}

}  // extern "C"
