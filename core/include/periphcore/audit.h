/* Audit records to the log-transmission service, USB event records to the management
 * client and notifications for the desktop user. Every call is synchronous on the shared
 * system bus connection and never raises anything to the caller beyond its result. */
#ifndef PERIPHCORE_AUDIT_H
#define PERIPHCORE_AUDIT_H

#include "periphcore/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Sends {'time':..,'hostname':<user>,'name':..,'ip':..,'lv':..,'message':..} unless the
 * machine has no IPv4 address besides loopback. */
PERIPHCORE_API void logging(const char* name, const char* level, const char* message);

/* Hands a complete audit record to the log-transmission service: 0 sent, -1 failed. */
PERIPHCORE_API int connect_bus(const char* record);

/* Sends a USB event record (status 0 plug-in, non-zero pull-out): 0 delivered, 1 the
 * client asked for a retry, -1 failed. */
PERIPHCORE_API int connect_ostrelclient_bus(const char* log, int status);

/* Passes the text to the notification agent; always 0. */
PERIPHCORE_API int show_system_notification(const char* text);

#ifdef __cplusplus
}
#endif

#endif
