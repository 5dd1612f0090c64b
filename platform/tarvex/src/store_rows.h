// A record as a row of either table, bound to statement parameters or read from a result.
#pragma once

#include <sqlite3.h>

#include "tarvex_extend.h"

namespace tarvex_standin {

// Binds the parameters the statement uses: ?1 type, ?2 usb_subtype, ?3 pid, ?4 vid, ?5 perm,
// ?6 oldperm, ?7 special_type, ?8 serial, ?9 displayname.
void bind_record(sqlite3_stmt* s, const tarvex_devctl_info& r);

// The record of a result row whose columns are in the order of the parameters above.
tarvex_devctl_info column_record(sqlite3_stmt* s);

}  // namespace tarvex_standin
