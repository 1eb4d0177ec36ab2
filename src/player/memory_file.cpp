// The memory file: a read position over a song held in memory.
#include "player/memory_file.h"

#include <cstring>

MemoryFile* memfile_init(MemoryFile* file, const unsigned char* data, int32_t size)
{
    file->size = size < 0 ? 0 : size;
    file->position = 0;
    file->data = data;
    return file;
}

int memfile_read(void* destination, int count, void* handle)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (count >= file->size - file->position)
        count = file->size - file->position;
    if (count <= 0)
        return 0;
    std::memcpy(destination, file->data + file->position, count);
    file->position += count;
    return count;
}

void memfile_seek(void* handle, int offset, int origin)
{
    auto* file = static_cast<MemoryFile*>(handle);
    int64_t position = file->position;
    switch (origin & 0xFF) {
    case 0: position = offset; break;
    case 1: position += offset; break;
    case 2: position = file->size; break;
    default: break;
    }
    // Below 0 would let the next read copy from before the song.
    if (position < 0)
        position = 0;
    if (position > file->size)
        position = file->size;
    file->position = static_cast<int32_t>(position);
}

int memfile_tell(void* handle)
{
    return static_cast<MemoryFile*>(handle)->position;
}

void memfile_close(void*) {}

SourceStream memfile_stream(MemoryFile* file)
{
    return {file, {nullptr, memfile_close, memfile_read, memfile_seek, memfile_tell}};
}
