// The module source registry, the stream layer and the memory file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "player/memory_file.h"
#include "player/module_source.h"

namespace {

void* open_nothing(const char*) { return nullptr; }

// Every open rewinds one record over a short text, as the show's opener does.
const unsigned char song_text[] = "Extended Module: and more";
MemoryFile song_file;
void* open_song(const char*) { return memfile_init(&song_file, song_text, sizeof song_text - 1); }

TEST(ModuleSource, OneMissingProcedureClearsAllFive)
{
    module_source_set(open_nothing, memfile_close, memfile_read,
                      memfile_seek, memfile_tell);
    EXPECT_TRUE(module_source_ready());
    module_source_set(open_nothing, memfile_close, nullptr, memfile_seek, memfile_tell);
    EXPECT_FALSE(module_source_ready());
    EXPECT_EQ(module_source.open, nullptr);
    EXPECT_EQ(module_source.tell, nullptr);
    EXPECT_EQ(stream_open("song"), nullptr);
}

TEST(ModuleSource, FailedOpenGivesNoStreamAndNullStreamsDoNothing)
{
    module_source_set(open_nothing, memfile_close, memfile_read, memfile_seek, memfile_tell);
    EXPECT_EQ(stream_open("song"), nullptr);
    char byte = 'x';
    EXPECT_EQ(stream_read(&byte, 1, nullptr), 0);
    EXPECT_EQ(stream_tell(nullptr), 0);
    stream_seek(nullptr, 5, 0);
    stream_close(nullptr);
    EXPECT_EQ(byte, 'x');
}

TEST(ModuleSource, StreamsReadThroughTheRegisteredMemoryFile)
{
    module_source_set(open_song, memfile_close, memfile_read, memfile_seek, memfile_tell);
    SourceStream* stream = stream_open("song");
    ASSERT_NE(stream, nullptr);
    char id[18] = {};
    EXPECT_EQ(stream_read(id, 17, stream), 17);
    EXPECT_STREQ(id, "Extended Module: ");
    EXPECT_EQ(stream_tell(stream), 17);
    stream_close(stream);
    // Every open starts again at 0.
    stream = stream_open("song");
    EXPECT_EQ(stream_tell(stream), 0);
    stream_close(stream);
}

TEST(MemoryFile, ReadsAreShortenedAtTheEnd)
{
    std::vector<unsigned char> data(100, 7);
    MemoryFile file;
    memfile_init(&file, data.data(), 100);
    memfile_seek(&file, 90, 0);
    unsigned char buffer[20] = {};
    EXPECT_EQ(memfile_read(buffer, 20, &file), 10);
    EXPECT_EQ(memfile_tell(&file), 100);
    EXPECT_EQ(buffer[9], 7);
    EXPECT_EQ(buffer[10], 0);
    EXPECT_EQ(memfile_read(buffer, 20, &file), 0);
    EXPECT_EQ(memfile_read(buffer, -5, &file), 0);
}

TEST(MemoryFile, SeeksStayInsideTheFile)
{
    std::vector<unsigned char> data(100);
    MemoryFile file;
    memfile_init(&file, data.data(), 100);
    memfile_seek(&file, 500, 0);
    EXPECT_EQ(memfile_tell(&file), 100);
    memfile_seek(&file, -10, 1);
    EXPECT_EQ(memfile_tell(&file), 90);
    memfile_seek(&file, -1234, 2);
    EXPECT_EQ(memfile_tell(&file), 100);
    memfile_seek(&file, 20, 0x103);  // only the low 8 bits of the origin count: 3 is no origin
    EXPECT_EQ(memfile_tell(&file), 100);
    memfile_seek(&file, 20, 0x100);  // low bits 0: from the start
    EXPECT_EQ(memfile_tell(&file), 20);
    // Below the start stops at 0, so no read can reach before the data.
    memfile_seek(&file, -50, 1);
    EXPECT_EQ(memfile_tell(&file), 0);
    memfile_seek(&file, -1, 0);
    EXPECT_EQ(memfile_tell(&file), 0);
}

}  // namespace
