// Loading songs built by the XM writer, for the player tests.
#pragma once

#include <memory>
#include <vector>

#include "player/memory_file.h"
#include "player/module.h"
#include "player/output.h"
#include "player/replay.h"
#include "testkit/xm_writer.h"

struct ModuleDeleter {
    void operator()(Module* m) const { module_free(m); }
};
using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

// Loads bytes through the memory source; null if the loader refuses them.
// The bytes must outlive the call only (the loader copies what it keeps).
inline ModulePtr load_bytes(const std::vector<uint8_t>& bytes)
{
    memory_source_use(bytes.data(), static_cast<int32_t>(bytes.size()));
    return ModulePtr(module_create("song"));
}

inline ModulePtr load_song(const xm::Song& song)
{
    return load_bytes(xm::write(song));
}

// A loaded song, ready to play at 44100 Hz from its start.
inline ModulePtr start_song(const xm::Song& song, int rate = 44100)
{
    output_configure(rate);
    ModulePtr module = load_song(song);
    if (module)
        replay_start(module.get());
    return module;
}
