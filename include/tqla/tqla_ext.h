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

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_EXT_H */
