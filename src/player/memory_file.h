// A song held in memory, read through the module source procedures.
//
// The record's storage belongs to the caller (the show takes it from its arena,
// tools and tests keep their own); the procedures below work on any record that
// memfile_init has set up, and have the signatures module_source_set expects.
#pragma once

#include <cstdint>

#include "player/module_source.h"

struct MemoryFile {
    int32_t size;                // bytes of the song
    int32_t position;            // read position, 0..size
    const unsigned char* data;   // first byte of the song
};

// Points the record at the song and rewinds it; returns the record.
MemoryFile* memfile_init(MemoryFile* file, const unsigned char* data, int32_t size);

// Copies up to count bytes from the read position; shortened at the end.
int memfile_read(void* destination, int count, void* file);
// Origin 0 from the start, 1 from the current position, 2 to the end. The
// position stays within 0..size.
void memfile_seek(void* file, int offset, int origin);
int memfile_tell(void* file);
void memfile_close(void* file);  // the record is the caller's: nothing to do

// An open stream over file, read through the procedures above: for loading
// a song held in memory without the registry.
SourceStream memfile_stream(MemoryFile* file);
