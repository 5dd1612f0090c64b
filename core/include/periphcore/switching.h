/* Device class switching: USB devices are switched off by writing "0" to their
 * "bConfigurationValue" and on again with "1"; storage is remounted read-only. Devices that a
 * class-wide switch-off unconfigures are appended, one "<product><vendor>" line each, to the
 * class's record file under /etc/mdm/. Ids are product id first, then vendor id. */
#ifndef PERIPHCORE_SWITCHING_H
#define PERIPHCORE_SWITCHING_H

#include "periphcore/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Switches on the devices with these ids unless the pair is black-listed. 0. */
PERIPHCORE_API int enabledevices(const char* product, const char* vendor);
/* Switches off every device with an interface of this class ("03", "08", "0e") that is not
 * white-listed, and records it. Storage leaves bank devices and optical drives alone. 0. */
PERIPHCORE_API int disabledevices(const char* interface_class);
/* Switch the devices with these ids on (white) or off (black); no list is consulted. 0. */
PERIPHCORE_API int add_white_list(const char* product, const char* vendor);
PERIPHCORE_API int add_black_list(const char* product, const char* vendor);
/* Switches on storage devices that are neither bank devices, optical drives nor
 * white-listed. 0. */
PERIPHCORE_API int set_up_usb(void);
/* Empties /etc/mdm/disable-storage and switches every storage device on. 0. */
PERIPHCORE_API int setup_storage(void);
/* Remounts the block devices of unlisted USB storage read-only (black-listed ones are
 * switched off instead); each node whose remount fails goes to the callback. 0. */
PERIPHCORE_API int readonlydevices(void (*callback)(const char* node));
/* Remounts a mount point or device node read-only: 0, or libmount's non-zero result. */
PERIPHCORE_API int ReadOnly(const char* target);
/* Gives the path mode 0777: 0, or -1 on failure. */
PERIPHCORE_API int change_permission(const char* path);
/* Appends the pair to the record file of the class ("03", "08", "0e", "net"). 0. */
PERIPHCORE_API int set_gsetting(const char* product, const char* vendor,
                                const char* interface_class);

#ifdef __cplusplus
}
#endif

#endif
