// Records as writers hand them over: zero-filled apart from the key and permission.
#pragma once

#include "tarvex_extend.h"

inline tarvex_devctl_info device(uint32_t pid, uint32_t vid, int32_t perm) {
    tarvex_devctl_info r{};
    r.pid = pid;
    r.vid = vid;
    r.perm = perm;
    return r;
}

inline tarvex_devctl_info klass(int32_t type, int32_t usb_subtype, int32_t perm) {
    tarvex_devctl_info r{};
    r.type = type;
    r.usb_subtype = usb_subtype;
    r.perm = perm;
    return r;
}
