// Win32 audio device: the wave mapper plays one header over the whole ring,
// flagged to loop (WHDR_BEGINLOOP | WHDR_ENDLOOP) the largest number of times,
// and waveOutGetPosition tells how many bytes it has played. The device reads
// the ring itself; the feeder rewrites the blocks it has played. The position
// is read by the feeder thread, everything else runs on the main thread.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include "platform/platform.h"

namespace {

HWAVEOUT wave_out = nullptr;   // the open device; null when closed
WAVEHDR ring_header = {};      // describes the looping buffer while it is prepared
int device_rate = 0;           // frames per second of the open device

} // namespace

int platform_audio_open(int rate)
{
    platform_audio_close();
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = DWORD(rate) * 4;
    format.cbSize = 0;
    if (waveOutOpen(&wave_out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        wave_out = nullptr;
        return 0;
    }
    device_rate = rate;
    return 1;
}

void platform_audio_play_loop(const void* buffer, int bytes)
{
    if (!wave_out)
        return;
    platform_audio_reset();
    ring_header = {};
    ring_header.lpData = static_cast<LPSTR>(const_cast<void*>(buffer));
    ring_header.dwBufferLength = DWORD(bytes);
    ring_header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    ring_header.dwLoops = 0xFFFFFFFF;
    if (waveOutPrepareHeader(wave_out, &ring_header, sizeof ring_header) != MMSYSERR_NOERROR) {
        ring_header = {};
        return;
    }
    waveOutWrite(wave_out, &ring_header, sizeof ring_header);
}

int platform_audio_position_bytes(uint32_t* bytes)
{
    if (!wave_out)
        return 0;
    MMTIME time = {};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(wave_out, &time, sizeof time) != MMSYSERR_NOERROR)
        return 0;
    // A driver without byte positions answers in a unit it has. The byte
    // count wraps at 2^32, which the caller copes with; the counts made from
    // other units wrap with it.
    const uint64_t rate = uint64_t(device_rate);
    switch (time.wType) {
    case TIME_BYTES:
        *bytes = time.u.cb;
        return 1;
    case TIME_SAMPLES:
        *bytes = uint32_t(time.u.sample) * 4u;
        return 1;
    case TIME_MS:
        *bytes = uint32_t(uint64_t(time.u.ms) * rate / 1000u * 4u);
        return 1;
    case TIME_SMPTE: {
        // Hours, minutes, seconds and frames of fps a second (29 stands for
        // 30 with dropped frames, 29.97 a second).
        const auto& smpte = time.u.smpte;
        const uint64_t seconds = (uint64_t(smpte.hour) * 60u + smpte.min) * 60u + smpte.sec;
        const double fps = smpte.fps == 29 ? 29.97 : double(smpte.fps ? smpte.fps : 30);
        const uint64_t frames = seconds * rate + uint64_t(double(smpte.frame) / fps * double(rate));
        *bytes = uint32_t(frames * 4u);
        return 1;
    }
    default:
        // MIDI song positions and ticks say nothing about a wave's play position.
        return 0;
    }
}

// The order the device needs: reset (it hands the header back), then unprepare.
void platform_audio_reset()
{
    if (!wave_out)
        return;
    waveOutReset(wave_out);
    if (ring_header.dwFlags & WHDR_PREPARED)
        waveOutUnprepareHeader(wave_out, &ring_header, sizeof ring_header);
    ring_header = {};
}

void platform_audio_close()
{
    if (!wave_out)
        return;
    platform_audio_reset();
    waveOutClose(wave_out);
    wave_out = nullptr;
}

int platform_audio_fed_between_frames() { return 0; }
