/* Device-control interface of the kernel security framework library (libtarvex_extend.so.0). */
#ifndef TARVEX_EXTEND_H
#define TARVEX_EXTEND_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tarvex_devctl_info {
    int32_t type;        /* device class; 7 network cards */
    int32_t usb_subtype; /* 0 nonstorage, 6 storage, 19 vendorspec */
    uint32_t pid;
    uint32_t vid;
    int32_t perm; /* 1 allow, 2 deny, 5 read-only */
    int32_t oldperm;
    char serial[128];
    int32_t special_type;
    char displayname[256];
} tarvex_devctl_info;

/* A record with type and usb_subtype both 0 is a per-device entry keyed by (pid, vid);
 * any other is a class entry keyed by (type, usb_subtype). */
int tarvex_devctl_add_perm(tarvex_devctl_info* info);
int tarvex_devctl_update_perm(tarvex_devctl_info* info);
int tarvex_devctl_remove_perm(tarvex_devctl_info* info);

/* Snapshots in table order, valid until the next read call on the same thread;
 * null with *count 0 for an empty table. Never freed by the caller. */
tarvex_devctl_info* tarvex_devctl_read_special_xmldata(int* count);
tarvex_devctl_info* tarvex_devctl_read_not_special_data(int* count);

/* The per-device entry of (pid, vid), found by its key: 0 with *perm set when there is one,
 * 1 when there is none, -1 when the table could not be read. Not every framework has this
 * call: callers take it weakly and read the whole table where it is missing. */
int tarvex_devctl_read_special_perm(uint32_t pid, uint32_t vid, int32_t* perm);

int tarvex_devctl_batch_add_special_policies(tarvex_devctl_info* infos, int count);
int tarvex_devctl_batch_del_special_policies(tarvex_devctl_info* infos, int count);

#ifdef __cplusplus
}
#endif

#endif
