/* The AVX2 path of XXH3-128 (see xxh3_wide.h). This file is C and includes nothing of C++, so no
   inline function compiled for AVX2 here can stand in for the baseline one elsewhere. The build
   compiles it with AVX2 enabled where the compiler can; elsewhere these are the header's own
   path and the check below says no. */
#include "mods/xxh3_wide.h"

int karv_xxh3_wide_available(void) {
#if defined(__AVX2__) && (defined(__GNUC__) || defined(__clang__))
    /* The compiler's check asks the system too (XGETBV), not only the processor. */
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? 1 : 0;
#else
    return 0;
#endif
}

XXH128_hash_t karv_xxh3_wide_hash(const void* data, size_t length) {
    return XXH3_128bits(data, length);
}

void karv_xxh3_wide_reset(XXH3_state_t* state) {
    XXH3_128bits_reset(state);
}

void karv_xxh3_wide_update(XXH3_state_t* state, const void* data, size_t length) {
    XXH3_128bits_update(state, data, length);
}

XXH128_hash_t karv_xxh3_wide_digest(const XXH3_state_t* state) {
    return XXH3_128bits_digest(state);
}
