#include "tarvex/linked.h"

// Weak, so a framework library without the keyed lookup still links and loads; the
// pointer is then null and callers read the table instead.
extern "C" int tarvex_devctl_read_special_perm(uint32_t, uint32_t, int32_t*) __attribute__((weak));

namespace mdm::tarvex {

Functions linked_functions() {
    Functions fns;
    fns.add = tarvex_devctl_add_perm;
    fns.update = tarvex_devctl_update_perm;
    fns.remove = tarvex_devctl_remove_perm;
    fns.read_special = tarvex_devctl_read_special_xmldata;
    fns.read_not_special = tarvex_devctl_read_not_special_data;
    fns.batch_add = tarvex_devctl_batch_add_special_policies;
    fns.batch_del = tarvex_devctl_batch_del_special_policies;
    fns.read_special_perm = tarvex_devctl_read_special_perm;
    return fns;
}

}  // namespace mdm::tarvex
