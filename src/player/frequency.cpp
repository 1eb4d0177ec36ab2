// Periods and frequencies: the period of a note on the linear and the Amiga
// table, glissando's nearest semitone, and the frequency a period sounds at.
#include <cmath>
#include <cstdlib>

#include "player/replay_internal.h"

namespace {

// The single-precision value nearest 1/768: one octave of linear period.
constexpr double LINEAR_OCTAVE = 0x1.555556p-10f;  // bits 0x3AAAAAAB
constexpr int AMIGA_CLOCK = 14317056;    // frequency = AMIGA_CLOCK / period
constexpr double AMIGA_C0_PERIOD = 27392.0;  // C-4 (note 48) is period 1712, 8363 Hz

// Amiga periods of the lowest octave in eighths of a semitone, C with
// finetune -128 first: the last entry is B's finetune +112.
constexpr uint16_t AMIGA_FINE_PERIODS[104] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814, 808, 802, 796, 791, 785,
    779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725, 720, 715, 709, 704, 699, 694, 689, 684, 678, 675,
    670, 665, 660, 655, 651, 646, 640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580,
    575, 570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513, 508, 505, 502, 498,
    494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457, 453, 450, 447, 443, 440, 437, 434, 431};

// XM Amiga period of a 0-based note, finetune in 1/128 semitone: 1712 at C-4.
// The finetune counts in sixteenths of a semitone (its low 3 bits are
// dropped); odd sixteenths lie halfway between two table entries. The period
// is the table's, 32 times over at C-0, halved per octave up with the
// remainder dropped, so that the periods are those of the period table.
int32_t amiga_period(int note, int finetune)
{
    note = clamp(note, 0, 255);
    finetune &= ~7;
    const int semitone = (note % 12) * 8;
    int step = finetune / 16;  // toward zero
    const int32_t low = AMIGA_FINE_PERIODS[clamp(semitone + step + 8, 0, 103)];
    step += finetune < 0 ? -1 : 1;
    const int32_t high = AMIGA_FINE_PERIODS[clamp(semitone + step + 8, 0, 103)];
    const int fraction = std::abs(finetune) & 15;
    return ((low * (16 - fraction) + high * fraction) * 2) >> (note / 12);
}

}  // namespace

// The period of a 0-based note (the cell's note plus the sample's relative note).
int32_t note_period(const Module& module, uint8_t real_note, int finetune)
{
    if (module.flags & MODULE_LINEAR_FREQUENCIES)
        return 7680 - real_note * 64 - finetune / 2;
    return amiga_period(real_note, finetune);
}

// The period of the semitone nearest to period, for glissando.
int32_t nearest_semitone(const Module& module, int32_t period, int finetune)
{
    if (module.flags & MODULE_LINEAR_FREQUENCIES) {
        int32_t base = 7680 - finetune / 2;
        return base - static_cast<int32_t>(std::lround((base - period) / 64.0)) * 64;
    }
    if (period < MIN_PERIOD)
        return period;
    double semitones = -12.0 * std::log2(period / AMIGA_C0_PERIOD) - finetune / 128.0;
    return amiga_period(static_cast<int>(std::lround(semitones)), finetune);
}

int32_t voice_frequency(const Channel& channel, const Module& module)
{
    const int32_t period = channel.period + channel.period_delta + channel.auto_vibrato_delta;
    int32_t frequency;
    if (module.flags & MODULE_LINEAR_FREQUENCIES) {
        double exponent = (4608 - period + channel.period_offset) * LINEAR_OCTAVE;
        double hz = 8363.0 * std::exp2(exponent);
        // Out of the integer range counts as too low, as a wrapped conversion would.
        frequency = hz < 2147483648.0 ? static_cast<int32_t>(hz) : 0;
    } else {
        int32_t divisor = period + channel.period_offset;
        frequency = AMIGA_CLOCK / (divisor < MIN_PERIOD ? MIN_PERIOD : divisor);
    }
    return frequency < 100 ? 100 : frequency;
}
