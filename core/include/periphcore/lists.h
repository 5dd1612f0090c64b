/* Policy list files: one eight-character pair (product id, vendor id) per line. */
#ifndef PERIPHCORE_LISTS_H
#define PERIPHCORE_LISTS_H

#include "periphcore/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 0 when the pair is a line of /etc/mdm/black-list (resp. white-list), otherwise 1. */
PERIPHCORE_API int get_black_list(const char* product, const char* vendor);
PERIPHCORE_API int get_white_list(const char* product, const char* vendor);
/* 0 when a line of the file at path begins with the pair, otherwise 1. */
PERIPHCORE_API int get_list(const char* path, const char* product, const char* vendor);
/* printf into a new buffer the caller frees; null on failure. */
PERIPHCORE_API char* utilsStrFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifdef __cplusplus
}
#endif

#endif
