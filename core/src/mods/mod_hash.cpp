// XXH3-128 from the staged header, compiled inline here (XXH_INLINE_ALL comes with the target),
// so neither build links a hash library. A processor with AVX2 hashes through xxh3_wide.c.
#include "karvcore/mods.h"
#include "mods/xxh3_wide.h"

#include <xxhash.h>

#include <cstdint>

namespace karv {
namespace {

std::wstring hexOf(XXH128_hash_t hash) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    return catchOutOfMemory(
        [&] {
            std::wstring hex;
            hex.reserve(2 * sizeof canonical.digest);
            for (unsigned char byte : canonical.digest) {
                hex += kDigits[byte >> 4];
                hex += kDigits[byte & 0x0F];
            }
            return hex;
        },
        [] { return std::wstring(); });
}

// Asked once: every hash of the process takes the same path.
bool wide() {
    static const bool available = karv_xxh3_wide_available() != 0;
    return available;
}

XXH3_state_t* aligned(unsigned char* block) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    const uintptr_t align = alignof(XXH3_state_t);
    return reinterpret_cast<XXH3_state_t*>(block + (align - at % align) % align);
}

} // namespace

std::wstring ModHash(const uint8_t* data, size_t length) {
    static const uint8_t kNothing = 0;
    const uint8_t* bytes = length ? data : &kNothing;
    return hexOf(wide() ? karv_xxh3_wide_hash(bytes, length) : XXH3_128bits(bytes, length));
}

ModHasher::ModHasher() {
    // The state lives in this object so that hashing never allocates.
    static_assert(sizeof(XXH3_state_t) + alignof(XXH3_state_t) - 1 <= sizeof block_,
                  "ModHasher's block is too small for this xxHash's state");
    XXH3_state_t* hashState = static_cast<XXH3_state_t*>(state());
    XXH3_INITSTATE(hashState);
    if (wide())
        karv_xxh3_wide_reset(hashState);
    else
        XXH3_128bits_reset(hashState);
}

void* ModHasher::state() {
    return aligned(block_);
}

const void* ModHasher::state() const {
    return aligned(const_cast<unsigned char*>(block_));
}

void ModHasher::update(const uint8_t* data, size_t length) {
    if (length == 0)
        return;
    XXH3_state_t* hashState = static_cast<XXH3_state_t*>(state());
    if (wide())
        karv_xxh3_wide_update(hashState, data, length);
    else
        XXH3_128bits_update(hashState, data, length);
}

std::wstring ModHasher::finish() const {
    const XXH3_state_t* hashState = static_cast<const XXH3_state_t*>(state());
    return hexOf(wide() ? karv_xxh3_wide_digest(hashState) : XXH3_128bits_digest(hashState));
}

} // namespace karv
