// Where the player reads its song from: five procedures that the host
// registers once (open, close, read, seek, tell), and the thin stream layer the
// loader uses over them. The player never opens files itself.
#pragma once

using SourceOpen = void* (*)(const char* name);               // null: cannot open
using SourceClose = void (*)(void* handle);
using SourceRead = int (*)(void* destination, int count, void* handle);  // bytes delivered
using SourceSeek = void (*)(void* handle, int offset, int origin);      // 0 start, 1 current, 2 end
using SourceTell = int (*)(void* handle);                               // position in bytes

// The registered procedures; all null until module_source_set stores a full set.
struct ModuleSource {
    SourceOpen open;
    SourceClose close;
    SourceRead read;
    SourceSeek seek;
    SourceTell tell;
};

extern ModuleSource module_source;

// Stores all five procedures, or clears all five if any of them is null.
void module_source_set(SourceOpen open, SourceClose close, SourceRead read, SourceSeek seek,
                       SourceTell tell);
// True when a complete set is registered.
bool module_source_ready();

// One open source: the handle its open procedure returned, and the procedures
// that read it (a copy, so that a stream does not change under a reader when
// the registry does).
struct SourceStream {
    void* handle;
    ModuleSource source;
};

// Opens name through the registered procedures; null when nothing is
// registered or the source cannot be opened.
SourceStream* stream_open(const char* name);
void stream_close(SourceStream* stream);
// The calls below do nothing on a null stream and return 0 where a result is expected.
int stream_read(void* destination, int count, SourceStream* stream);
void stream_seek(SourceStream* stream, int offset, int origin);
int stream_tell(SourceStream* stream);
