// Module source registry and the stream layer over it.
#include "player/module_source.h"

#include <cstdlib>

ModuleSource module_source = {};

void module_source_set(SourceOpen open, SourceClose close, SourceRead read, SourceSeek seek,
                       SourceTell tell)
{
    if (open && close && read && seek && tell)
        module_source = {open, close, read, seek, tell};
    else
        module_source = {};
}

bool module_source_ready()
{
    return module_source.open && module_source.close && module_source.read && module_source.seek &&
           module_source.tell;
}

SourceStream* stream_open(const char* name)
{
    if (!module_source_ready())
        return nullptr;
    auto* stream = static_cast<SourceStream*>(std::calloc(1, sizeof(SourceStream)));
    if (!stream)
        return nullptr;
    stream->source = module_source;
    stream->handle = module_source.open(name);
    if (!stream->handle) {
        std::free(stream);
        return nullptr;
    }
    return stream;
}

void stream_close(SourceStream* stream)
{
    if (!stream)
        return;
    stream->source.close(stream->handle);
    std::free(stream);
}

int stream_read(void* destination, int count, SourceStream* stream)
{
    return stream ? stream->source.read(destination, count, stream->handle) : 0;
}

void stream_seek(SourceStream* stream, int offset, int origin)
{
    if (stream)
        stream->source.seek(stream->handle, offset, origin);
}

int stream_tell(SourceStream* stream)
{
    return stream ? stream->source.tell(stream->handle) : 0;
}
