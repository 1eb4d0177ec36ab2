// The arena: one 8 MiB zero-filled block from which the show's long-lived
// tables are carved by a bump cursor in 4-byte steps, released whole at
// shutdown. One arena for the program; main thread only.
#pragma once

#include <cstdint>

constexpr int32_t kArenaCapacity = 8388608; // 8 MiB

struct Arena {
    unsigned char* base;     // start of the block; null when there is none
    unsigned char* cursor;   // next free byte, base + used
    int32_t remaining;       // bytes still free, capacity − used
    int32_t capacity;        // kArenaCapacity while the arena exists, else 0
    int32_t used;            // bytes handed out, always a multiple of 4
};

extern Arena arena;

// Takes and clears the block. Returns 1, or 0 when memory is short.
int arena_create();

// A zero-filled block of size bytes rounded up to a multiple of 4, aligned
// to 4 bytes from the base; null when it does not fit or size is negative.
// A size of 0 returns the cursor and takes nothing.
void* arena_alloc(int32_t size);

// A zero-filled block of size bytes starting on a multiple of alignment (a
// power of two) from the base; the bytes skipped to get there count as used.
// Records holding pointers need this in a 64-bit build, where 4-byte steps
// are not enough. Null when it does not fit.
void* arena_alloc_aligned(int32_t size, int32_t alignment);

// count records of type T, aligned for T; null when they do not fit or the
// size overflows the arena's 32-bit sizes.
template <class T>
T* arena_alloc_array(uint32_t count)
{
    const uint64_t size = uint64_t(count) * sizeof(T);
    if (size > uint64_t(INT32_MAX))
        return nullptr;
    return static_cast<T*>(arena_alloc_aligned(int32_t(size), int32_t(alignof(T))));
}

// Releases the block; every pointer handed out dies with it. Returns 1.
int arena_destroy();
