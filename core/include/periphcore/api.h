/* Marks the symbols that periphcore.so exports; everything else stays hidden. */
#ifndef PERIPHCORE_API_H
#define PERIPHCORE_API_H
#define PERIPHCORE_API __attribute__((visibility("default")))
#endif
