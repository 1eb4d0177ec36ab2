// The XM loader, and the creation and destruction of a Module: through the
// registered module source (module_create) or, for the public header, from
// memory or a file (qxm_song_load_*).
//
// The file is read only through source streams. Everything read is checked
// here, at the boundary: a short read in the song header, counts the replay
// cannot hold, or sizes beyond the limits fail the load with a one-line
// reason, so the replay and mixer can trust the Module they are given. A file
// cut short after its song header plays what it holds, as other players do:
// the patterns and instruments before the cut, sample data as far as it goes,
// and silence for the rest.
#include "player/module.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "player/memory_file.h"
#include "player/module_source.h"
#include "qxm.h"

static_assert(MODULE_ERROR_SIZE == QXM_ERROR_SIZE);

Sample empty_sample = {};
Instrument empty_instrument = {};

namespace {

// Why the last module_create failed, one line without a full stop; empty
// after a success. Main thread only: the public loaders report to their caller.
char module_error[MODULE_ERROR_SIZE];

constexpr char XM_ID[] = "Extended Module: ";
constexpr int XM_ID_LENGTH = 17;
constexpr char NOT_XM[] = "not an XM song (no \"Extended Module: \" at its start)";
// Silence stands in for sample data missing at the end of a damaged file, up
// to this many frames in all (32 MiB); a file missing more is refused.
constexpr int64_t MAX_MISSING_FRAMES = int64_t{1} << 24;

// Writes why the load failed into error (MODULE_ERROR_SIZE bytes); always
// returns false.
bool refuse(char* error, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(error, MODULE_ERROR_SIZE, format, arguments);
    va_end(arguments);
    return false;
}

// Little-endian reads that remember the first short read.
struct XmReader {
    SourceStream* stream;
    char* error;             // where refuse writes
    int64_t file_size;
    bool failed;
    int64_t missing_frames;  // sample frames past the end of the file, read as silence

    void bytes(void* destination, int count)
    {
        if (stream_read(destination, count, stream) != count)
            failed = true;
    }
    uint8_t u8()
    {
        uint8_t b = 0;
        bytes(&b, 1);
        return b;
    }
    uint16_t u16()
    {
        uint8_t b[2] = {};
        bytes(b, 2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    uint32_t u32()
    {
        uint8_t b[4] = {};
        bytes(b, 4);
        return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
    }
    void skip(int count) { seek_to(tell() + count); }
    int64_t tell() { return stream_tell(stream); }
    int64_t remaining() { return file_size - tell(); }
    // Seeks to an absolute offset; beyond the end counts as a short read.
    void seek_to(int64_t offset)
    {
        if (offset > file_size) {
            failed = true;
            offset = file_size;
        }
        stream_seek(stream, static_cast<int>(offset), 0);
    }
};

template <typename T>
T* allocate_zeroed(int64_t count)
{
    return static_cast<T*>(std::calloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(T)));
}

// A pattern's packed data, read as far as its stated size: bytes past the end
// read as 0, so cells the data does not hold are empty.
struct PackedCells {
    const uint8_t* data;
    int size;
    int at;

    uint8_t u8() { return at < size ? data[at++] : 0; }
};

// One packed or unpacked cell.
PatternCell read_cell(PackedCells& in)
{
    PatternCell cell = {};
    uint8_t first = in.u8();
    if (first & 0x80) {
        if (first & 0x01) cell.note = in.u8();
        if (first & 0x02) cell.instrument = in.u8();
        if (first & 0x04) cell.volume = in.u8();
        if (first & 0x08) cell.effect = in.u8();
        if (first & 0x10) cell.effect_param = in.u8();
    } else {
        cell.note = first;
        cell.instrument = in.u8();
        cell.volume = in.u8();
        cell.effect = in.u8();
        cell.effect_param = in.u8();
    }
    if (cell.note == 97)
        cell.note = NOTE_KEY_OFF;
    if (cell.instrument > 128)
        cell.instrument = 0;
    return cell;
}

// Reads the patterns. A file that ends among them plays what it holds: the
// cells read so far, and 64 empty rows for every pattern not reached.
bool read_patterns(Module* module, XmReader& in, int file_patterns)
{
    const int channels = module->channel_count;
    // Patterns without cell data all share one block of empty rows, so that
    // headers alone cannot make the loader allocate more than the file holds.
    module->empty_cells = allocate_zeroed<PatternCell>(MAX_ROWS * channels);
    if (!module->empty_cells)
        return refuse(in.error, "out of memory");
    for (int p = 0; p < module->pattern_count; ++p)
        module->patterns[p] = {64, module->empty_cells};
    // Only the patterns the order list names are ever played: the others are
    // read past, so that a file declaring thousands of big patterns costs no
    // more than the 256 it can play.
    bool played[MAX_ORDERS] = {};
    for (int i = 0; i < module->song_length; ++i)
        played[module->order_table[i]] = true;
    std::vector<uint8_t> packed(0xFFFF);
    for (int p = 0; p < file_patterns && !in.failed; ++p) {
        Pattern& pattern = module->patterns[p];
        const int64_t start = in.tell();
        const uint32_t header_length = in.u32();
        in.skip(1);  // packing type
        const int rows = in.u16();
        const int packed_size = in.u16();
        // The data follows the header's stated length (9 bytes, or more).
        if (header_length > 9)
            in.seek_to(start + header_length);
        if (in.failed)
            break;
        if (rows > MAX_ROWS)
            return refuse(in.error, "pattern %d has %d rows; 1 to %d can be played", p, rows, MAX_ROWS);
        if (rows != 0)  // 0 rows play as 64 empty ones, as other players do
            pattern.row_count = rows;
        if (packed_size == 0)
            continue;
        if (p >= MAX_ORDERS || !played[p]) {
            in.skip(packed_size);
            continue;
        }
        // The stated size is what the pattern takes in the file, whatever its rows use.
        const int present = static_cast<int>(std::min<int64_t>(packed_size, in.remaining()));
        in.bytes(packed.data(), present);
        if (present < packed_size)
            in.failed = true;
        pattern.cells = allocate_zeroed<PatternCell>(pattern.row_count * channels);
        if (!pattern.cells)
            return refuse(in.error, "out of memory");
        PackedCells cells = {packed.data(), present, 0};
        for (int c = 0; c < pattern.row_count * channels; ++c)
            pattern.cells[c] = read_cell(cells);
    }
    return true;
}

void read_envelope(XmReader& in, EnvelopePoint* points)
{
    for (int i = 0; i < MAX_ENVELOPE_POINTS; ++i) {
        points[i].x = in.u16();
        points[i].y = in.u16();
    }
}

// The envelope types are only kept where the points they use exist.
uint8_t checked_envelope_type(uint8_t type, uint8_t& point_count, uint8_t loop_start,
                              uint8_t loop_end)
{
    if (point_count > MAX_ENVELOPE_POINTS)
        point_count = MAX_ENVELOPE_POINTS;
    if (point_count < 1)  // a single point is an envelope too: its value is held
        return 0;
    if (loop_start >= point_count || loop_end >= point_count)
        type &= ~ENVELOPE_LOOP;
    return type;
}

// Reads a name of length bytes into name (length + 1 bytes): it ends at the
// first zero, trailing spaces are dropped, and bytes that are no printable
// ASCII become '?', so that callers may print it as it is.
void read_name(XmReader& in, char* name, int length)
{
    in.bytes(name, length);
    name[length] = 0;
    int end = 0;
    for (int i = 0; i < length && name[i]; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32 || c > 126)
            name[i] = '?';
        if (name[i] != ' ')
            end = i + 1;
    }
    name[end] = 0;
}

void read_instrument_header(XmReader& in, Instrument& instrument)
{
    in.skip(4);  // sample header size: every sample header is taken as 40 bytes
    in.bytes(instrument.sample_map, sizeof instrument.sample_map);
    read_envelope(in, instrument.volume_envelope);
    read_envelope(in, instrument.panning_envelope);
    instrument.volume_point_count = in.u8();
    instrument.panning_point_count = in.u8();
    instrument.volume_sustain_point = in.u8();
    instrument.volume_loop_start = in.u8();
    instrument.volume_loop_end = in.u8();
    instrument.panning_sustain_point = in.u8();
    instrument.panning_loop_start = in.u8();
    instrument.panning_loop_end = in.u8();
    instrument.volume_type = in.u8();
    instrument.panning_type = in.u8();
    instrument.vibrato_type = in.u8();
    instrument.vibrato_sweep = in.u8();
    instrument.vibrato_depth = in.u8();
    instrument.vibrato_rate = in.u8();
    instrument.fadeout = static_cast<uint16_t>(in.u16() * 2);
    instrument.volume_type =
        checked_envelope_type(instrument.volume_type, instrument.volume_point_count,
                              instrument.volume_loop_start, instrument.volume_loop_end);
    instrument.panning_type =
        checked_envelope_type(instrument.panning_type, instrument.panning_point_count,
                              instrument.panning_loop_start, instrument.panning_loop_end);
}

void read_sample_header(XmReader& in, Sample& sample)
{
    sample.length = in.u32();
    sample.loop_start = in.u32();
    sample.loop_length = in.u32();
    sample.volume = in.u8();
    sample.finetune = static_cast<int8_t>(in.u8());
    uint8_t type = in.u8();
    sample.panning = in.u8();
    sample.relative_note = static_cast<int8_t>(in.u8());
    in.skip(1);  // reserved
    read_name(in, sample.name, 22);

    sample.loop_mode = SAMPLE_ONE_SHOT;
    sample.bits = 8;
    if (type & 0x01) sample.loop_mode = SAMPLE_FORWARD_LOOP;
    if (type & 0x02) sample.loop_mode = SAMPLE_PING_PONG;
    if (type & 0x10) sample.bits = 16;
    if (sample.loop_mode == SAMPLE_ONE_SHOT) {
        sample.loop_start = 0;
        sample.loop_length = sample.length;
    }
    if (sample.bits == 16) {
        sample.length >>= 1;
        sample.loop_start >>= 1;
        sample.loop_length >>= 1;
    }
    // A loop reaching past the sample is cut at the sample's end.
    if (static_cast<uint64_t>(sample.loop_start) + sample.loop_length > sample.length)
        sample.loop_length = sample.loop_start < sample.length ? sample.length - sample.loop_start : 0;
    if (sample.loop_length == 0) {
        sample.loop_start = 0;
        sample.loop_length = sample.length;
        sample.loop_mode = SAMPLE_ONE_SHOT;
    }
}

// The sample's peaks: the largest |value| of each stretch of its frames, the
// spare ones included. Whole stretches in a loop of fixed length, which the
// compiler turns into vector instructions.
bool measure_peaks(Sample& sample)
{
    constexpr int STRETCH = 1 << PEAK_SHIFT;
    const int64_t frames = static_cast<int64_t>(sample.length) + SAMPLE_SPARE_FRAMES;
    const int64_t stretches = (frames + STRETCH - 1) / STRETCH;
    sample.peaks = allocate_zeroed<uint16_t>(stretches);
    if (!sample.peaks)
        return false;
    for (int64_t s = 0; s < stretches; ++s) {
        const int16_t* values = sample.data + s * STRETCH;
        const int count = static_cast<int>(std::min<int64_t>(STRETCH, frames - s * STRETCH));
        int most = 0;
        if (count == STRETCH) {
            for (int k = 0; k < STRETCH; ++k)
                most = std::max(most, std::abs(int{values[k]}));
        } else {
            for (int k = 0; k < count; ++k)
                most = std::max(most, std::abs(int{values[k]}));
        }
        sample.peaks[s] = static_cast<uint16_t>(most);
    }
    return true;
}

// Reads and delta-decodes one sample's frames, then writes the frame after the
// loop so that interpolation across the wrap reads the right neighbour. Frames
// the file does not hold (its end cuts the data short) stay 0.
bool read_sample_data(XmReader& in, Sample& sample, int instrument)
{
    const int bytes_per_frame = sample.bits / 8;
    int64_t remaining = in.remaining();
    int64_t present = static_cast<int64_t>(sample.length) * bytes_per_frame <= remaining
                          ? sample.length
                          : (remaining > 0 ? remaining : 0) / bytes_per_frame;
    in.missing_frames += sample.length - present;
    if (in.missing_frames > MAX_MISSING_FRAMES)
        return refuse(in.error, "the file ends %lld sample frames before the data of instrument %d does",
                      static_cast<long long>(in.missing_frames), instrument + 1);
    sample.data = allocate_zeroed<int16_t>(static_cast<int64_t>(sample.length) + SAMPLE_SPARE_FRAMES);
    auto* raw = allocate_zeroed<uint8_t>(present * bytes_per_frame);
    if (!sample.data || !raw) {
        std::free(raw);
        return refuse(in.error, "out of memory");
    }
    in.bytes(raw, static_cast<int>(present * bytes_per_frame));
    uint16_t sum = 0;  // deltas wrap modulo 65536
    for (uint32_t k = 0; k < present; ++k) {
        uint16_t delta = sample.bits == 16 ? static_cast<uint16_t>(raw[2 * k] | raw[2 * k + 1] << 8)
                                           : static_cast<uint16_t>(raw[k] << 8);
        sum = static_cast<uint16_t>(sum + delta);
        sample.data[k] = static_cast<int16_t>(sum);
    }
    std::free(raw);
    sample.bits = 16;

    uint32_t end = sample.loop_start + sample.loop_length;
    if (sample.loop_mode == SAMPLE_FORWARD_LOOP)
        sample.data[end] = sample.data[sample.loop_start];
    else if (sample.loop_mode == SAMPLE_PING_PONG)
        sample.data[end] = sample.data[end - 1];
    if (!measure_peaks(sample))
        return refuse(in.error, "out of memory");
    return !in.failed || refuse(in.error, "read error in the data of instrument %d", instrument + 1);
}

// Reads the instruments the file holds. Samples past the 16 an instrument can
// play are read past. A file that ends inside an instrument's headers, or
// that states more instruments than it holds, keeps the instruments before.
bool read_instruments(Module* module, XmReader& in)
{
    for (int i = 0; i < module->instrument_count; ++i) {
        Instrument& instrument = module->instruments[i];
        for (Sample*& slot : instrument.samples)
            slot = &empty_sample;
        const int64_t start = in.tell();
        const uint32_t header_size = in.u32();
        read_name(in, instrument.name, 22);
        in.skip(1);  // type
        const int sample_count = in.u16();
        if (!in.failed && sample_count > 0)
            read_instrument_header(in, instrument);
        in.seek_to(start + header_size);
        Sample headers[MAX_INSTRUMENT_SAMPLES] = {};
        int64_t skipped_bytes = 0;  // the data of the samples past the 16th
        for (int j = 0; j < sample_count && !in.failed; ++j) {
            Sample extra = {};
            Sample& header = j < MAX_INSTRUMENT_SAMPLES ? headers[j] : extra;
            read_sample_header(in, header);
            skipped_bytes += int64_t{extra.length} * (extra.bits / 8);
        }
        if (in.failed) {
            instrument = Instrument{};
            module->instrument_count = static_cast<int16_t>(i);
            return true;
        }
        for (int j = 0; j < sample_count && j < MAX_INSTRUMENT_SAMPLES; ++j) {
            Sample* sample = allocate_zeroed<Sample>(1);
            if (!sample)
                return refuse(in.error, "out of memory");
            *sample = headers[j];
            instrument.samples[j] = sample;
            instrument.sample_count = j + 1;
        }
        for (int j = 0; j < instrument.sample_count; ++j)
            if (instrument.samples[j]->length != 0 && !read_sample_data(in, *instrument.samples[j], i))
                return false;
        in.seek_to(std::min(in.tell() + skipped_bytes, in.file_size));
    }
    return true;
}

// Reads an XM song from an open stream into a zeroed module; false if the
// stream does not hold one the player can play, with the reason in error
// (MODULE_ERROR_SIZE bytes).
bool module_load(Module* module, SourceStream* stream, char* error)
{
    XmReader in = {stream, error, 0, false, 0};
    stream_seek(stream, 0, 2);
    in.file_size = stream_tell(stream);
    stream_seek(stream, 0, 0);

    error[0] = 0;
    char id[XM_ID_LENGTH] = {};
    in.bytes(id, XM_ID_LENGTH);
    if (in.failed || std::memcmp(id, XM_ID, XM_ID_LENGTH) != 0)
        return refuse(in.error, "%s", NOT_XM);
    module->initial_global_volume = 64;

    read_name(in, module->title, 20);
    in.skip(1);  // 0x1A
    read_name(in, module->tracker, 20);
    in.seek_to(60);
    uint32_t header_size = in.u32();
    int song_length = in.u16();
    int restart_position = in.u16();
    int channel_count = in.u16();
    int file_patterns = in.u16();
    int instrument_count = in.u16();
    module->flags = in.u16();
    module->default_speed = static_cast<int16_t>(in.u16());
    module->default_bpm = static_cast<int16_t>(in.u16());
    in.bytes(module->order_table, MAX_ORDERS);
    if (in.failed)
        return refuse(in.error, "the file ends in the song header");
    if (song_length > MAX_ORDERS)
        return refuse(in.error, "song length %d; 1 to %d orders can be played", song_length, MAX_ORDERS);
    if (song_length == 0)  // played as its first order, as other players do
        song_length = 1;
    if (channel_count < 1 || channel_count > MAX_CHANNELS)
        return refuse(in.error, "%d channels; 1 to %d can be played", channel_count, MAX_CHANNELS);
    // Cells name instruments 1..128: those past them are never played.
    instrument_count = std::min(instrument_count, MAX_INSTRUMENTS);
    module->song_length = static_cast<int16_t>(song_length);
    module->restart_position = static_cast<int16_t>(restart_position < song_length ? restart_position : 0);
    module->channel_count = static_cast<int16_t>(channel_count);
    in.seek_to(60 + static_cast<int64_t>(header_size));
    if (in.failed)
        return refuse(in.error, "the file ends in the song header");

    for (int i = 0; i < song_length; ++i)
        if (module->order_table[i] >= module->used_pattern_count)
            module->used_pattern_count = module->order_table[i] + 1;
    module->pattern_count = file_patterns > module->used_pattern_count ? file_patterns
                                                                        : module->used_pattern_count;
    module->patterns = allocate_zeroed<Pattern>(module->pattern_count);
    if (!module->patterns)
        return refuse(in.error, "out of memory");
    if (!read_patterns(module, in, file_patterns))
        return false;
    if (in.failed)  // the file ends among the patterns: it holds no instruments
        instrument_count = 0;

    module->instruments = allocate_zeroed<Instrument>(instrument_count);
    if (!module->instruments)
        return refuse(in.error, "out of memory");
    module->instrument_count = static_cast<int16_t>(instrument_count);
    return read_instruments(module, in);
}

// A new module loaded from an open stream; null (nothing kept) on failure.
Module* load_module(SourceStream* stream, char* error)
{
    Module* module = allocate_zeroed<Module>(1);
    if (!module) {
        refuse(error, "out of memory");
        return nullptr;
    }
    // The loader's few buffers come from the C++ runtime; a C caller must not
    // see its exceptions.
    bool loaded = false;
    try {
        loaded = module_load(module, stream, error);
    } catch (const std::bad_alloc&) {
        refuse(error, "out of memory");
    }
    if (!loaded) {
        module_free(module);
        return nullptr;
    }
    return module;
}

}  // namespace

Module* module_create(const char* name)
{
    SourceStream* stream = stream_open(name);
    if (!stream) {
        refuse(module_error, "cannot be opened");
        return nullptr;
    }
    Module* module = load_module(stream, module_error);
    stream_close(stream);
    return module;
}

void (*module_release_hook)(Module*) = nullptr;

bool module_free(Module* module)
{
    if (!module)
        return false;
    if (module_release_hook)
        module_release_hook(module);
    if (module->instruments) {
        for (int i = 0; i < module->instrument_count; ++i) {
            Instrument& instrument = module->instruments[i];
            for (int j = 0; j < instrument.sample_count; ++j) {
                std::free(instrument.samples[j]->data);
                std::free(instrument.samples[j]->peaks);
                std::free(instrument.samples[j]);
            }
        }
        std::free(module->instruments);
    }
    if (module->patterns) {
        for (int p = 0; p < module->pattern_count; ++p)
            if (module->patterns[p].cells != module->empty_cells)
                std::free(module->patterns[p].cells);
        std::free(module->patterns);
    }
    std::free(module->empty_cells);
    std::free(module);
    return true;
}

namespace {

constexpr size_t MAX_SONG_BYTES = QXM_MAX_SONG_BYTES;
constexpr char TOO_LARGE[] = "larger than the 256 MiB a song may take";
static_assert(QXM_MAX_SONG_BYTES == 256 << 20, "TOO_LARGE names the cap");

QxmSong* refuse_song(char* error, const char* reason)
{
    if (error)
        std::snprintf(error, QXM_ERROR_SIZE, "%s", reason);
    return nullptr;
}

// Reads the file after its signature into a buffer of the caller's to free,
// holding the signature first; null with the reason in error when it cannot.
// A regular file's size is known at once: one above the cap is refused
// unread. Others (pipes, devices) are read up to the cap.
unsigned char* read_song_file(FILE* file, const char (&signature)[XM_ID_LENGTH], size_t& size, char* error)
{
    size_t capacity = 1 << 16;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long stated = std::ftell(file);
        if (std::fseek(file, XM_ID_LENGTH, SEEK_SET) != 0) {
            refuse_song(error, std::strerror(errno));
            return nullptr;
        }
        if (stated > 0 && static_cast<unsigned long>(stated) > MAX_SONG_BYTES) {
            refuse_song(error, TOO_LARGE);
            return nullptr;
        }
        if (stated > XM_ID_LENGTH)
            capacity = static_cast<size_t>(stated) + 1;  // + 1: the end is seen without growing
    }
    std::clearerr(file);  // a pipe refuses to seek, and is read as it comes
    auto* bytes = static_cast<unsigned char*>(std::malloc(capacity));
    if (!bytes) {
        refuse_song(error, "out of memory");
        return nullptr;
    }
    std::memcpy(bytes, signature, XM_ID_LENGTH);
    size = XM_ID_LENGTH;
    for (;;) {
        if (size == capacity) {
            capacity = std::min(2 * capacity, MAX_SONG_BYTES + 1);
            auto* grown = static_cast<unsigned char*>(std::realloc(bytes, capacity));
            if (!grown) {
                std::free(bytes);
                refuse_song(error, "out of memory");
                return nullptr;
            }
            bytes = grown;
        }
        size += std::fread(bytes + size, 1, capacity - size, file);
        if (size > MAX_SONG_BYTES || std::ferror(file)) {
            const int code = errno;
            std::free(bytes);
            refuse_song(error, size > MAX_SONG_BYTES ? TOO_LARGE : std::strerror(code));
            return nullptr;
        }
        if (std::feof(file))
            return bytes;
    }
}

}  // namespace

QxmSong* qxm_song_load_memory(const void* data, size_t size, char error[QXM_ERROR_SIZE])
{
    if (size == 0)
        return refuse_song(error, "empty (0 bytes)");
    if (!data)
        return refuse_song(error, "no song given");
    if (size > MAX_SONG_BYTES)
        return refuse_song(error, TOO_LARGE);
    char reason[MODULE_ERROR_SIZE];
    MemoryFile file;
    memfile_init(&file, static_cast<const unsigned char*>(data), static_cast<int32_t>(size));
    SourceStream stream = memfile_stream(&file);
    QxmSong* song = load_module(&stream, reason);
    return song ? song : refuse_song(error, reason);
}

// The signature is read first, so that what is no song (a device, a big file
// of something else) is refused after 17 bytes.
QxmSong* qxm_song_load_file(const char* path, char error[QXM_ERROR_SIZE])
{
    if (!path)
        return refuse_song(error, "no file given");
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return refuse_song(error, std::strerror(errno));
    char signature[XM_ID_LENGTH];
    const size_t got = std::fread(signature, 1, XM_ID_LENGTH, file);
    const int code = errno;
    unsigned char* bytes = nullptr;
    size_t size = 0;
    if (std::ferror(file))
        refuse_song(error, std::strerror(code));
    else if (got == 0)
        refuse_song(error, "empty (0 bytes)");
    else if (got < XM_ID_LENGTH || std::memcmp(signature, XM_ID, XM_ID_LENGTH) != 0)
        refuse_song(error, NOT_XM);
    else
        bytes = read_song_file(file, signature, size, error);
    std::fclose(file);
    if (!bytes)
        return nullptr;
    QxmSong* song = qxm_song_load_memory(bytes, size, error);
    std::free(bytes);
    return song;
}

void qxm_song_free(QxmSong* song)
{
    module_free(song);
}

int qxm_song_channel_count(const QxmSong* song)
{
    return song ? song->channel_count : 0;
}

int qxm_song_order_count(const QxmSong* song)
{
    return song ? song->song_length : 0;
}
