/* periphcore: the device-control core library (/usr/lib/mdm/periphcore.so).
 * Plain C exports with integer results. Texts passed in stay the caller's; texts and
 * lists handed out become the caller's and are released with free(). */
#ifndef PERIPHCORE_H
#define PERIPHCORE_H

#include "periphcore/api.h"
/* One header per concern follows. */
#include "periphcore/lists.h"
#include "periphcore/bank.h"
#include "periphcore/audit.h"
#include "periphcore/switching.h"
#include "periphcore/netcard.h"

#endif
