// The show's bump arena. There is no per-block header: all 8 MiB are usable,
// and nothing is given back before arena_destroy.
#include "shell/arena.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

Arena arena = {};

int arena_create()
{
    auto* base = static_cast<unsigned char*>(std::malloc(kArenaCapacity));
    if (!base)
        return 0;
    std::memset(base, 0, kArenaCapacity);
    arena = {base, base, kArenaCapacity, kArenaCapacity, 0};
    return 1;
}

void* arena_alloc(int32_t size)
{
    // A negative size would move the cursor back over blocks already handed
    // out, and rounding a size near the int32 limit would overflow: both are
    // refused before rounding.
    if (size < 0 || size > arena.remaining)
        return nullptr;
    const int32_t n = int32_t((int64_t(size) + 3) & ~int64_t(3));
    if (n > arena.remaining)
        return nullptr;
    unsigned char* block = arena.cursor;
    arena.cursor += n;
    arena.remaining -= n;
    arena.used += n;
    return block;
}

void* arena_alloc_aligned(int32_t size, int32_t alignment)
{
    // used is a multiple of 4, and so is the padding.
    const int32_t padding = -arena.used & (std::max(alignment, int32_t(4)) - 1);
    if (size < 0 || int64_t(padding) + size > arena.remaining)
        return nullptr;
    arena_alloc(padding);
    return arena_alloc(size);
}

int arena_destroy()
{
    std::free(arena.base);
    arena = {};
    return 1;
}
