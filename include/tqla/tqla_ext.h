/*
 * tqla extensions: what this library offers beyond the host API of tqla.h.
 */
#ifndef TQLA_TQLA_EXT_H
#define TQLA_TQLA_EXT_H

#include "tqla/tqla.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Trace ---- */

/* Receives one formatted trace line (no trailing newline). Called from the
 * host thread and from the library's transfer threads, so it must be safe to
 * call from several threads. */
typedef void (*TqlaTraceSink)(const char* line, void* user);

/* Routes the library's trace lines to sink; null (the default) turns the
 * trace off, and then nothing is formatted. Set it before starting a run. */
TQLA_EXPORT void TQLA_API TqlaSetTraceSink(TqlaTraceSink sink, void* user);

/* ---- Packet engine add-in ---- */

/* The ADDIN decode step of a protocol definition file feeds each bit of a
 * packet to the function
 *     uint32_t APIDecode(char* protocolName, char bit, char* outputBits, char first)
 * of an add-in decoding library: with the protocol's name, the bit (0 or 1)
 * and a flag for the packet's first bit; it writes its output bits, one per
 * byte (nonzero = 1), into outputBits (256 bytes) and returns their count.
 * This loads that library from path; null or "" unloads it. Returns 1 when
 * the library and its APIDecode were found (or on unloading), else 0 and no
 * add-in is loaded. Without an add-in, ADDIN passes bits through unchanged. */
TQLA_EXPORT int32_t TQLA_API TqlaSetAddinLibrary(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_EXT_H */
