// The shipped timeline and init-task list. The count word in front of each
// is counted from the entries at compile time, and the timeline is checked
// there: a table that breaks a rule below does not compile.
#include "data/show_tables.h"

#include "data/curve_source.h"

#include <array>
#include <cstddef>

namespace {

using namespace scene;

// Positions in the comments are order/row.
constexpr uint32_t kTimelineEntries[] = {
    0, 1, draw_block_scene, 0,                                                       // 0/0
    128, 3, draw_noise_fan, draw_beat_words, draw_black_noise_overlay, 0,            // 2/0
    137, 1, draw_block_scene, 0,                                                     // 2/9
    160, 2, draw_noise_fan, draw_message_spam, 0,                                    // 2/32
    161, 1, draw_block_scene, 0,                                                     // 2/33
    166, 4, draw_line_storm, draw_dark_bars, draw_message_spam, draw_white_noise_overlay, 0, // 2/38
    169, 1, draw_block_scene, 0,                                                     // 2/41
    174, 2, draw_block_scene, draw_dark_bars, 0,                                     // 2/46
    175, 1, draw_block_scene, 0,                                                     // 2/47
    180, 4, draw_crossed_stripes, draw_message_spam, draw_dark_bars, draw_black_noise_overlay, 0, // 2/52
    184, 1, draw_block_scene, 0,                                                     // 2/56
    256, 3, draw_noise_fan, draw_beat_words, draw_black_noise_overlay, 0,            // 4/0
    265, 1, draw_block_scene, 0,                                                     // 4/9
    288, 2, draw_noise_fan, draw_message_spam, 0,                                    // 4/32
    289, 1, draw_block_scene, 0,                                                     // 4/33
    294, 4, draw_line_storm, draw_dark_bars, draw_message_spam, draw_white_noise_overlay, 0, // 4/38
    297, 1, draw_block_scene, 0,                                                     // 4/41
    302, 2, draw_noise_fan, draw_message_spam, 0,                                    // 4/46
    303, 1, draw_block_scene, 0,                                                     // 4/47
    308, 4, draw_crossed_stripes, draw_message_spam, draw_dark_bars, draw_black_noise_overlay, 0, // 4/52
    312, 1, draw_block_scene, 0,                                                     // 4/56
    320, 5, draw_spinning_blocks, draw_word_cascade, draw_beat_words, draw_random_storm_overlay,
        draw_random_noise_overlay, 0,                                                // 5/0
    448, 1, draw_block_scene, 0,                                                     // 7/0
    528, 2, draw_block_scene, draw_fade_out, 0,                                      // 8/16
    560, 2, draw_closing_screen, draw_fade_in, 0,                                    // 8/48
    640, 2, draw_closing_screen, draw_fade_out, 0,                                   // 10/0
    kShowEndKey, 0,                                                                  // 10/16: end of show
};

constexpr uint32_t kInitTasks[] = {
    init_task::prepare_curves, init_task::init_block_font, init_task::init_block_scene,
    init_task::init_noise_textures,
};

// What reading the entries as the timeline builder reads them finds.
struct TimelineWalk {
    uint32_t entry_count = 0;
    bool well_formed = true;       // every count word's words lie inside the table
    bool keys_ascend = true;       // the first key is 0, each later one above the one before
    bool indices_known = true;     // every scene and curve index names one that exists
    bool ends_at_show_end = false; // the end-of-show entry is last, at kShowEndKey
    bool every_scene_drawn = true; // each scene of the list is named by some entry
};

template <std::size_t N>
constexpr TimelineWalk walk_timeline(const uint32_t (&words)[N])
{
    TimelineWalk walk;
    bool drawn[kSceneCount] = {};
    uint32_t last_key = 0;
    std::size_t w = 0;
    while (w < N) {
        if (w + 2 > N) {
            walk.well_formed = false;
            return walk;
        }
        const uint32_t key = words[w], handlers = words[w + 1];
        walk.keys_ascend &= walk.entry_count == 0 ? key == 0 : key > last_key;
        last_key = key;
        ++walk.entry_count;
        w += 2;
        if (handlers == 0) {
            walk.ends_at_show_end = key == kShowEndKey && w == N;
            break;
        }
        if (w + handlers + 1 > N) {
            walk.well_formed = false;
            return walk;
        }
        for (uint32_t h = 0; h < handlers; ++h, ++w) {
            walk.indices_known &= words[w] < kSceneCount;
            if (words[w] < kSceneCount)
                drawn[words[w]] = true;
        }
        const uint32_t curves = words[w++];
        if (w + curves > N) {
            walk.well_formed = false;
            return walk;
        }
        for (uint32_t c = 0; c < curves; ++c, ++w)
            walk.indices_known &= words[w] < kCurveCount;
    }
    for (bool d : drawn)
        walk.every_scene_drawn &= d;
    return walk;
}

constexpr TimelineWalk kWalk = walk_timeline(kTimelineEntries);
static_assert(kWalk.well_formed, "an entry's counts run past the end of the timeline");
static_assert(kWalk.keys_ascend, "timeline keys must start at 0 and ascend");
static_assert(kWalk.indices_known, "a timeline entry names a scene or curve that does not exist");
static_assert(kWalk.ends_at_show_end, "the timeline must end with the end-of-show entry at kShowEndKey");
static_assert(kWalk.every_scene_drawn, "a scene of the list is drawn by no timeline entry");

constexpr bool init_tasks_known()
{
    for (uint32_t task : kInitTasks)
        if (task >= kInitTaskCount)
            return false;
    return true;
}
static_assert(init_tasks_known(), "the init-task list names a task that does not exist");

// count, then the words.
template <std::size_t N>
constexpr std::array<uint32_t, N + 1> counted(uint32_t count, const uint32_t (&words)[N])
{
    std::array<uint32_t, N + 1> table{count};
    for (std::size_t i = 0; i < N; ++i)
        table[i + 1] = words[i];
    return table;
}

constexpr auto kTimelineTable = counted(kWalk.entry_count, kTimelineEntries);
constexpr auto kInitTaskList = counted(uint32_t(std::size(kInitTasks)), kInitTasks);

} // namespace

const uint32_t* const timeline_table = kTimelineTable.data();
const uint32_t* const init_task_list = kInitTaskList.data();
