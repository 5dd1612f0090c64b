// The three stock peers' bus objects: what each publishes and how it answers. A call that
// fails unexpectedly is answered with a bus error; the daemon keeps serving.
#pragma once

#include <gio/gio.h>

#include "relay_signal.h"

namespace stockpeers {

struct PeerObject {
    const char* bus_name;
    const char* path;
    const char* xml;
    GDBusInterfaceMethodCallFunc on_call;
};

// "org.log.sys_transmit": log_transmit(s) writes the audit record into the journal.
extern const PeerObject kLogService;
// "com.quorl.brannoc.ostrelclient": get_current_user from logind; USB event records into the
// journal, answered with "".
extern const PeerObject kManagementClient;
// "com.quorl.brannoc.ostrelagent": show_system_notification(s) broadcasts the notification
// to the session relays.
extern const PeerObject kNotificationAgent;

}  // namespace stockpeers
