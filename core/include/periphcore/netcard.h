/* Network card control: one class-wide permission for network cards in the security
 * framework, and NetworkManager's device type of a network interface. */
#ifndef PERIPHCORE_NETCARD_H
#define PERIPHCORE_NETCARD_H

#include "periphcore/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Deny (resp. allow) network cards: 0, or the framework's non-zero result. */
PERIPHCORE_API int disable_acpi_net_card(void);
PERIPHCORE_API int enable_net_card(void);
/* USB network cards follow the class permission; nothing to do here. Always 0. */
PERIPHCORE_API int disable_usb_net_card(void);
/* NetworkManager's "DeviceType" of the interface; 0 (unknown) when it cannot be read. */
PERIPHCORE_API int get_interface_type(const char* interface_name);

#ifdef __cplusplus
}
#endif

#endif
