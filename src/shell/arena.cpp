// The show's bump arena. There is no per-block header: all 8 MiB are usable,
// and nothing is given back before arena_destroy.
#include "shell/arena.h"

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

void* arena_alloc_array(uint32_t count, uint32_t item_size)
{
    const uint64_t size = uint64_t(count) * item_size;
    return size <= uint64_t(INT32_MAX) ? arena_alloc(int32_t(size)) : nullptr;
}

int arena_destroy()
{
    std::free(arena.base);
    arena = {};
    return 1;
}
