#include "notation.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& token) {
    throw std::runtime_error("score: " + what + " in token '" + token + "'");
}

int hex_digit(char c, const std::string& token) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    fail("bad hex digit", token);
}

// Pitch class of a note letter, C = 0.
int letter_pitch(char letter) {
    static const int pitches[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    return pitches[letter - 'A'];
}

bool is_note_start(const std::string& token) {
    return token.size() >= 3 && token[0] >= 'A' && token[0] <= 'G' &&
           (token[1] == '-' || token[1] == '#') && token[2] >= '0' && token[2] <= '7';
}

XmCell parse_cell(const std::string& token, int instrument) {
    XmCell cell;
    if (token == ".") return cell;
    std::size_t i = 0;
    if (is_note_start(token)) {
        const int pitch = letter_pitch(token[0]) + (token[1] == '#' ? 1 : 0);
        const int note = (token[2] - '0') * 12 + pitch + 1;
        if (note < 1 || note > 96) fail("note out of range", token);
        cell.note = static_cast<std::uint8_t>(note);
        cell.instrument = static_cast<std::uint8_t>(instrument);
        i = 3;
    } else if (token.compare(0, 3, "^^^") == 0) {
        cell.note = XM_KEY_OFF;
        i = 3;
    }
    while (i < token.size()) {
        const char command = token[i++];
        auto digits = [&](std::size_t count) {
            if (i + count > token.size()) fail("missing digits", token);
            int value = 0;
            for (std::size_t k = 0; k < count; ++k) value = value * 16 + hex_digit(token[i + k], token);
            i += count;
            return value;
        };
        auto volume_column = [&](int base) { cell.volume = static_cast<std::uint8_t>(base + digits(1)); };
        auto effect = [&](int type) {
            cell.effect = static_cast<std::uint8_t>(type);
            cell.effect_param = static_cast<std::uint8_t>(digits(2));
        };
        switch (command) {
        case 'v': {
            const int volume = digits(2);
            if (volume > 0x40) fail("volume above 40", token);
            cell.volume = static_cast<std::uint8_t>(0x10 + volume);
            break;
        }
        case '<': volume_column(0x60); break;
        case '>': volume_column(0x70); break;
        case 'd': volume_column(0x80); break;
        case 'u': volume_column(0x90); break;
        case 'p': volume_column(0xC0); break;
        case 'l': volume_column(0xD0); break;
        case 'r': volume_column(0xE0); break;
        case 'a': effect(0x00); break;
        case 'g': effect(XM_EFFECT_GLOBAL_VOLUME); break;
        case 'f': effect(XM_EFFECT_SPEED); break;
        default: fail("unknown command", token);
        }
    }
    return cell;
}

} // namespace

Track track(const std::string& text, int instrument) {
    Track part;
    std::istringstream words(text);
    std::string token;
    while (words >> token) {
        if (token == "|") continue;
        part.push_back(parse_cell(token, instrument));
    }
    if (part.size() != PATTERN_ROWS)
        throw std::runtime_error("score: a part has " + std::to_string(part.size()) + " rows: " +
                                 text.substr(0, 40));
    return part;
}

Track rest() { return Track(PATTERN_ROWS); }

std::string repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text + " ";
    return result;
}

Track shifted(const Track& part, int rows) {
    Track result(PATTERN_ROWS);
    for (int row = 0; row + rows < PATTERN_ROWS; ++row) result[row + rows] = part[row];
    return result;
}

Track transposed(const Track& part, int semitones) {
    Track result = part;
    for (XmCell& cell : result)
        if (cell.note >= 1 && cell.note <= 96) cell.note = static_cast<std::uint8_t>(cell.note + semitones);
    return result;
}

Track with_volume(const Track& part, int volume) {
    Track result = part;
    for (XmCell& cell : result)
        if (cell.note >= 1 && cell.note <= 96) cell.volume = static_cast<std::uint8_t>(0x10 + volume);
    return result;
}

Track with_panning(const Track& part, int panning) {
    Track result = part;
    for (XmCell& cell : result)
        if (cell.note >= 1 && cell.note <= 96) cell.volume = static_cast<std::uint8_t>(0xC0 + panning);
    return result;
}

Track& put(Track& part, int row, const std::string& token) {
    // A note takes the instrument the part's other notes play.
    int instrument = 0;
    for (const XmCell& cell : part)
        if (cell.instrument != 0) instrument = cell.instrument;
    const XmCell add = parse_cell(token, instrument);
    if (add.instrument == 0 && add.note >= 1 && add.note <= 96)
        throw std::runtime_error("score: a note put into a part without notes: " + token);
    XmCell& cell = part[row];
    if (add.note) {
        cell.note = add.note;
        cell.instrument = add.instrument;
    }
    if (add.volume) cell.volume = add.volume;
    if (add.effect || add.effect_param) {
        cell.effect = add.effect;
        cell.effect_param = add.effect_param;
    }
    return part;
}

std::vector<Chord> chart(const std::string& names) {
    std::vector<Chord> chords;
    std::istringstream words(names);
    std::string name;
    while (words >> name) {
        if (name == "|") continue;
        if (name == ".") {
            chords.push_back({-1, 0});
            continue;
        }
        if (name[0] < 'A' || name[0] > 'G') fail("bad chord", name);
        int root = letter_pitch(name[0]);
        std::string kind = name.substr(1);
        if (!kind.empty() && kind[0] == '#') {
            root = (root + 1) % 12;
            kind = kind.substr(1);
        }
        int arpeggio = 0x47;
        if (kind == "m") arpeggio = 0x37;
        else if (kind == "7") arpeggio = 0x4A;
        else if (!kind.empty()) fail("bad chord", name);
        chords.push_back({root, arpeggio});
    }
    if (chords.size() * 4 != PATTERN_ROWS) fail("a chart needs 16 half bars", names);
    return chords;
}

namespace {

// Bass roots sit between E-2 and D#3.
int bass_note(const Chord& chord) { return chord.root >= 4 ? 24 + chord.root : 36 + chord.root; }

XmCell note_cell(int note, int instrument, int volume) {
    XmCell cell;
    cell.note = static_cast<std::uint8_t>(note + 1);
    cell.instrument = static_cast<std::uint8_t>(instrument);
    cell.volume = static_cast<std::uint8_t>(0x10 + volume);
    return cell;
}

XmCell key_off() {
    XmCell cell;
    cell.note = XM_KEY_OFF;
    return cell;
}

} // namespace

Track bass_drive(const std::vector<Chord>& chords, int instrument, int volume) {
    Track part(PATTERN_ROWS);
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const int row = static_cast<int>(i) * 4;
        if (chords[i].root < 0) {
            if (i == 0 || chords[i - 1].root >= 0) part[row] = key_off();
            continue;
        }
        const int root = bass_note(chords[i]);
        part[row] = note_cell(root, instrument, volume);
        part[row + 2] = note_cell(root + 12, instrument, volume * 3 / 4);
        part[row + 3] = note_cell(root, instrument, volume * 7 / 8);
    }
    return part;
}

Track bass_hold(const std::vector<Chord>& chords, int instrument, int volume) {
    Track part(PATTERN_ROWS);
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const int row = static_cast<int>(i) * 4;
        const bool same = i > 0 && chords[i].root == chords[i - 1].root;
        if (same) continue;
        if (chords[i].root < 0) part[row] = key_off();
        else part[row] = note_cell(bass_note(chords[i]), instrument, volume);
    }
    return part;
}

Track chord_stabs(const std::vector<Chord>& chords, int octave, int instrument, int volume) {
    Track part(PATTERN_ROWS);
    for (std::size_t i = 0; i < chords.size(); ++i) {
        if (chords[i].root < 0) continue;
        const int row = static_cast<int>(i) * 4;
        part[row + 2] = note_cell(octave * 12 + chords[i].root, instrument, volume);
        part[row + 3] = key_off();
        // The arpeggio goes on through the release, into the next half bar.
        for (int r = row + 2; r < std::min(row + 6, PATTERN_ROWS); ++r)
            part[r].effect_param = static_cast<std::uint8_t>(chords[i].arpeggio);
    }
    return part;
}

Track chord_pad(const std::vector<Chord>& chords, int octave, int instrument, int volume, int panning) {
    Track part(PATTERN_ROWS);
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const int row = static_cast<int>(i) * 4;
        const bool same = i > 0 && chords[i].root == chords[i - 1].root &&
                          chords[i].arpeggio == chords[i - 1].arpeggio;
        if (chords[i].root < 0) {
            if (!same) part[row] = key_off();
            continue;
        }
        if (!same) {
            part[row] = note_cell(octave * 12 + chords[i].root, instrument, volume);
            part[row + 1].volume = static_cast<std::uint8_t>(0xC0 + panning);
        }
        for (int r = row; r < row + 4; ++r) part[r].effect_param = static_cast<std::uint8_t>(chords[i].arpeggio);
    }
    return part;
}
