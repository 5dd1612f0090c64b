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

namespace mdm::tarvex {
struct Functions;
}

namespace periphcore::netcard {

inline constexpr int kNetCardType = 7;
inline constexpr int kAllow = 1;
inline constexpr int kDeny = 2;

// Sets the network card class entry to `perm`: update first, add when the update fails.
// 0 when the update succeeded, otherwise the add's result.
int set_net_card_perm(const mdm::tarvex::Functions& fns, int perm);

}  // namespace periphcore::netcard
#endif

#endif
