/* Bank and tax devices: four typed device lists under /etc/mdm/bank/devlist/, each with an
 * on/off status under /etc/mdm/bank/status/. Type index: 0 ushield, 1 fingerprint,
 * 2 taxtray, 3 taxkey; 4 means "not a bank device". */
#ifndef PERIPHCORE_BANK_H
#define PERIPHCORE_BANK_H

#include "periphcore/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The first type whose list has a line beginning with product id + vendor id, else 4. */
PERIPHCORE_API int getBankDevType(const char* product, const char* vendor);
/* The type's entries as new texts in a new array (both freed by the caller), or null;
 * *count gets their number. */
PERIPHCORE_API char** getBankDevList(int type, int* count);
/* The stored status (0 off, 1 on), or -1. */
PERIPHCORE_API int getBankDevStatus(int type);
/* Grants the type's listed devices the status's permission, then stores it: 0 or -1. */
PERIPHCORE_API int setBankDevStatus(int type, int status);
/* Appends the entries not yet listed and grants the type's status: the number appended,
 * or -1. */
PERIPHCORE_API int setBankDevList(int type, int count, char* const* entries);
/* Takes the entries off the list and withdraws their permission unless they are on the
 * bank white list: the number removed, or -1. */
PERIPHCORE_API int delBankDevList(int type, int count, char* const* entries);
/* Asks the bank device daemon to relay the action: its reply, or -1. */
PERIPHCORE_API int updateDevAction(const char* action);

#ifdef __cplusplus
}
#endif

#endif
