// XXH3-128 on AVX2: the same hash as the header's own path, about two and a half times as fast
// on a processor that has the instructions. Only xxh3_wide.c is compiled for them; every other
// file keeps to the baseline, and calls these only after karv_xxh3_wide_available() said yes.
#pragma once

#include <xxhash.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// 1 when this build has the AVX2 path and the processor (and the system, which must save the
// wide registers) runs it.
int karv_xxh3_wide_available(void);

XXH128_hash_t karv_xxh3_wide_hash(const void* data, size_t length);
void karv_xxh3_wide_reset(XXH3_state_t* state);
void karv_xxh3_wide_update(XXH3_state_t* state, const void* data, size_t length);
XXH128_hash_t karv_xxh3_wide_digest(const XXH3_state_t* state);

#ifdef __cplusplus
}
#endif
