// Loading songs built by the XM writer, and playing them, for the player
// tests: through the public header, with the player's inside at hand.
#pragma once

#include <memory>
#include <vector>

#include "player/player.h"
#include "testkit/xm_writer.h"
#include "qxm.h"

struct ModuleDeleter {
    void operator()(Module* m) const { qxm_song_free(m); }
};
using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

struct PlayerDeleter {
    void operator()(Player* p) const { qxm_player_free(p); }
};
using PlayerPtr = std::unique_ptr<Player, PlayerDeleter>;

// Loads bytes; null if the loader refuses them.
inline ModulePtr load_bytes(const std::vector<uint8_t>& bytes)
{
    return ModulePtr(qxm_song_load_memory(bytes.data(), bytes.size(), nullptr));
}

inline ModulePtr load_song(const xm::Song& song)
{
    return load_bytes(xm::write(song));
}

// A loaded song and a player of it from its start; -> reaches the replay.
struct PlayedSong {
    ModulePtr song;
    PlayerPtr player;

    explicit operator bool() const { return player != nullptr; }
    Replay& operator*() const { return player->replay; }
    Replay* operator->() const { return &player->replay; }
    MixVoice* voices() const { return player->mixer.voices; }
};

inline PlayedSong start_song(const xm::Song& song, int rate = 44100)
{
    PlayedSong played;
    played.song = load_song(song);
    played.player = PlayerPtr(qxm_player_create(played.song.get(), rate));
    return played;
}
