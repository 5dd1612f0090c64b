// Owners for libmount handles (link mdm_common_mount).
#pragma once

#include <libmount.h>

#include "mdm/raii.h"

namespace mdm {

using MntContextPtr = Owner<struct libmnt_context, mnt_free_context>;
using MntTablePtr = Owner<struct libmnt_table, mnt_unref_table>;
using MntIterPtr = Owner<struct libmnt_iter, mnt_free_iter>;

}  // namespace mdm
