// The SDL backend's output latency: SDL's buffer (twice on ALSA), the
// hand-set offset from INVITATION_AUDIO_OFFSET_MS and the sound server's
// reported delay, in whole frames of 16-bit stereo, never below 0 nor above
// the caller's limit. The server is stood in for by handing the reports in.
#include "platform/sdl2/output_latency.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

constexpr uint32_t kNoLimit = 1u << 30;

class OutputLatency : public testing::Test {
protected:
    void TearDown() override
    {
        output_latency_stop();
        unsetenv("INVITATION_AUDIO_OFFSET_MS");
    }
};

} // namespace

// Each offset text at a rate and a driver: the bytes it comes to, and whether
// it is refused (with one line on stderr, the offset then 0).
TEST_F(OutputLatency, OffsetIsReadInWholeMillisecondsOrRefused)
{
    struct Case {
        const char* offset; // null: not set
        int rate;
        const char* driver;
        uint32_t bytes;
        bool refused;
    };
    const Case cases[] = {
        {nullptr, 48000, "dummy", 2048, false},
        {nullptr, 48000, "alsa", 4096, false},   // a second period queued
        {nullptr, 48000, nullptr, 2048, false},
        {"25", 48000, nullptr, 2048 + 4800, false},
        {"-10", 44100, nullptr, 2048 - 441 * 4, false},
        {"1000", 44100, nullptr, 2048 + 176400, false},
        {"-1000", 48000, nullptr, 0, false},     // never below nothing
        {"1001", 48000, nullptr, 2048, true},
        {"-1001", 48000, nullptr, 2048, true},
        {"", 48000, nullptr, 2048, true},
        {"12ms", 48000, nullptr, 2048, true},
        {"99999999999999999999", 48000, nullptr, 2048, true},
    };
    for (const Case& c : cases) {
        if (c.offset)
            setenv("INVITATION_AUDIO_OFFSET_MS", c.offset, 1);
        else
            unsetenv("INVITATION_AUDIO_OFFSET_MS");
        testing::internal::CaptureStderr();
        output_latency_start(c.rate, 512, c.driver);
        const std::string said = testing::internal::GetCapturedStderr();
        const std::string name = c.offset ? c.offset : "unset";
        EXPECT_EQ(output_latency_bytes(kNoLimit), c.bytes) << name;
        if (c.refused)
            EXPECT_TRUE(said.find("INVITATION_AUDIO_OFFSET_MS") != std::string::npos &&
                        said.find('\n') == said.size() - 1) << name << ": " << said;
        else
            EXPECT_EQ(said, "") << name;
    }
}

// The median of the last three reports counts, from the first one on; stop
// forgets them; a report in µs comes to whole frames, and any report, however
// large, to no more than the limit.
TEST_F(OutputLatency, ServerReportsCountByTheirMedianInWholeFrames)
{
    output_latency_start(48000, 512, nullptr);
    const struct {
        int64_t micros;
        uint32_t bytes; // SDL's 2048 and the median's 192 bytes a ms
    } reports[] = {
        {20000, 2048 + 3840}, {100000, 2048 + 3840}, {30000, 2048 + 5760},
        {40000, 2048 + 7680}, {10000, 2048 + 5760},  {10000, 2048 + 1920},
    };
    for (const auto& r : reports) {
        output_latency_take_server_report(r.micros);
        EXPECT_EQ(output_latency_bytes(kNoLimit), r.bytes) << "after " << r.micros << " µs";
    }
    output_latency_stop();
    output_latency_start(48000, 512, nullptr);
    EXPECT_EQ(output_latency_bytes(kNoLimit), 2048u);
    output_latency_take_server_report(50000);
    EXPECT_EQ(output_latency_bytes(kNoLimit), 2048u + 9600u);

    for (int64_t micros = 0; micros < 2000; micros += 7) {
        output_latency_start(44100, 0, nullptr);
        output_latency_take_server_report(micros);
        EXPECT_EQ(output_latency_bytes(kNoLimit), uint32_t(micros * 44100 / 1000000 * 4)) << micros << " µs";
    }
    for (int64_t micros : {int64_t(1) << 40, int64_t(1) << 50, INT64_MAX}) {
        output_latency_start(48000, 512, nullptr);
        for (int i = 0; i < 3; ++i)
            output_latency_take_server_report(micros);
        EXPECT_EQ(output_latency_bytes(192000), 192000u) << micros << " µs";
    }
}
