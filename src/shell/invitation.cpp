// The program driver: start-up, loading loop, show loop, shutdown.
#include "shell/invitation.h"

#include "data/show_tables.h"
#include "effects/effect_states.h"
#include "effects/effects.h"
#include "effects/warm_up.h"
#include "platform/platform.h"
#include "shell/arena.h"
#include "shell/frame_budget.h"
#include "shell/frame_clock.h"
#include "shell/frame_report.h"
#include "shell/show_window.h"
#include "show/bitmap_text.h"
#include "show/init_tasks.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

int quit_requested = 0;

namespace {

// The running show's state, handed to the position source with each frame.
ShowProgress show_progress = {};

// Seconds per show frame: one over the display's refresh rate, with a 60 Hz
// floor. Set at start-up, once the window is open.
double frame_period = 0.0;

constexpr const char* kQuestion = "Would you like full-screen stupidity?";
constexpr const char* kQuestionCaption = "Enter the Quendra xmas compo 2004!";
constexpr const char* kWindowTitle = "The Quendra xmas compo 2004 invitation";
// A box that cannot be shown at all is asked again this many times before the
// start-up gives up (there is no display to show the show on either).
constexpr int kQuestionAttempts = 3;
constexpr int kFadeFrames = 64;
constexpr int kLargestPictureWidth = 2880;

PositionSource position_source = nullptr;
int warm_up_wanted = 1;

// Handles pending window events: Esc or closing the window sets quit_requested.
void pump_messages()
{
    if (platform_pump_events())
        quit_requested = 1;
}

// Ends a failed start-up: says what failed in one line (with the system's
// reason when there is one), releases the arena, the window and the display
// mode, and gives the exit status.
int fail_start(const char* what, const char* reason = nullptr)
{
    char line[512];
    if (reason && *reason)
        std::snprintf(line, sizeof line, "invitation: %s: %s", what, reason);
    else
        std::snprintf(line, sizeof line, "invitation: %s", what);
    // The window and the display mode go first, so a message box is not
    // hidden behind a full-screen window.
    if (arena.base)
        arena_destroy();
    destroy_show_window();
    platform_report_failure(line);
    return 1;
}

// The start-up question. Returns kAnswerYes, kAnswerNo, or 0 when no box
// could be shown.
int ask_fullscreen()
{
    for (int attempt = 0; attempt < kQuestionAttempts; ++attempt) {
        const int answer = platform_ask_yes_no(kQuestion, kQuestionCaption);
        if (answer == kAnswerYes || answer == kAnswerNo)
            return answer;
    }
    return 0;
}

// One loading picture: the bar, "Init..." and, once fading, a black quad
// that with this blend function scales the picture by fade / 64.
void draw_loading_frame(float bar_width, int fading, int fade_counter)
{
    glShadeModel(GL_FLAT);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 480, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glColor4f(0.5f, 0.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2f(0.0f, 200.0f);
    glVertex2f(bar_width, 200.0f);
    glVertex2f(bar_width, 280.0f);
    glVertex2f(0.0f, 280.0f);
    glEnd();

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    draw_text(16, 64, "Init...");

    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    glEnable(GL_BLEND);
    if (fading) {
        glColor4f(0.0f, 0.0f, 0.0f, float(fade_counter) * 0.015625f);
        glBegin(GL_QUADS);
        glVertex2f(0.0f, 0.0f);
        glVertex2f(640.0f, 0.0f);
        glVertex2f(640.0f, 480.0f);
        glVertex2f(0.0f, 480.0f);
        glEnd();
    }
}

PlaybackPosition read_position(int frame, const ShowProgress& progress)
{
    return position_source ? position_source(frame, progress) : player_position();
}

// Draws show frames paced to frame_period until quit_requested or the end of
// the timeline.
void run_show(const TimelineEntry* timeline)
{
    show_progress = {timeline, 0, 0, 0};
    FrameBudget budget = frame_budget_start();
    frame_report_start();
    for (int frame = 0; !quit_requested && !show_has_ended(show_progress); ++frame) {
        pump_messages();
        follow_output_size(budget.max_width);
        run_show_frame(show_progress, read_position(frame, show_progress));
        const double drawn = clock_elapsed();
        platform_swap_buffers();
        // A swap that waits for the display's next frame takes a period by
        // itself: only the time past that period is work the renderer could
        // not finish in one (a browser that rasterises late).
        const double work = platform_swap_waits_for_display()
                                ? drawn + std::max(0.0, clock_elapsed() - frame_period)
                                : clock_elapsed();
        frame_budget_step(budget, work, picture_width, frame_period);
        clock_wait(frame_period);
        clock_mark_frame();
        show_progress.frame_ms = frame_ms_of(clock_frame_seconds());
        show_progress.show_ms += show_progress.frame_ms;
        // The frame just shown: its entry, its size, and its interval
        // (the first frame's runs from the clock's start).
        frame_report_add(show_progress.entry_index, picture_width, picture_height,
                         frame > 0 ? clock_frame_seconds() : 0.0);
    }
    frame_report_finish();
}

} // namespace

int run_loading(const InitTaskTable& tasks)
{
    const float bar_step = 640.0f / float(tasks.task_count);
    float bar_width = 0.0f;
    uint32_t task_index = 0;
    int tasks_done = 0;
    int fade_counter = kFadeFrames;
    int failed_task = 0;
    // Once the tasks are done, each fade frame draws one warm-up step first,
    // into the framebuffer its own picture then covers: the driver meets
    // the show's states in the very framebuffer the show draws into.
    int warm_up_step = warm_up_wanted ? 0 : warm_up_step_count();
    if (quit_requested)
        return 0;
    while (fade_counter > 0) {
        pump_messages();
        follow_output_size(kLargestPictureWidth);
        if (!tasks_done && !tasks.tasks[task_index]()) {
            quit_requested = 1;
            failed_task = int(task_index) + 1;
        }
        if (tasks_done && warm_up_step < warm_up_step_count())
            draw_warm_up_step(warm_up_step++);
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        if (!tasks_done) {
            ++task_index;
            tasks_done = task_index >= tasks.task_count;
            bar_width += bar_step; // also on the last task's frame: the bar reaches 640
        }
        draw_loading_frame(bar_width, tasks_done, fade_counter);
        if (tasks_done)
            --fade_counter;
        platform_swap_buffers();
        glPopAttrib();
        if (quit_requested)
            break;
    }
    return failed_task;
}

void set_position_source(PositionSource source) { position_source = source; }

void set_warm_up(int on) { warm_up_wanted = on; }

int run_invitation()
{
    quit_requested = 0;
    // Also when the program runs the show more than once in one process.
    reset_effect_states();
    const int answer = ask_fullscreen();
    if (!answer)
        return fail_start("cannot show the start-up question", platform_error());
    if (!create_show_window(picture_width, picture_height, 32, answer == kAnswerYes, kWindowTitle)) {
        char what[64];
        std::snprintf(what, sizeof what, "cannot open the %dx%d OpenGL window", picture_width, picture_height);
        return fail_start(what, platform_error());
    }
    frame_period = frame_period_for(platform_refresh_rate());
    if (!arena_create())
        return fail_start("out of memory for the 8 MiB arena");
    const InitTaskTable* tasks = build_init_tasks(init_task_list, init_procedures);
    if (!tasks)
        return fail_start("out of arena memory for the init-task table");
    const TimelineEntry* timeline = build_timeline(timeline_table, scene_procedures);
    if (!timeline)
        return fail_start("out of arena memory for the timeline");
    if (!build_bitmap_font(40, 40, "Impact"))
        return fail_start("cannot build the bitmap font");
    if (!player_setup())
        return fail_start("cannot set up the music player", player_setup_error());

    const uint32_t task_count = tasks->task_count; // the table goes with the arena
    const int failed_task = run_loading(*tasks);
    // The renderer may still be working through the loading's frames: that
    // work belongs to the pause, not to the show's first frame.
    glFinish();
    platform_sleep_ms(500); // the last, darkest loading picture stays up meanwhile
    player_start();
    clock_start(); // if it fails, frames are simply not paced
    if (!quit_requested)
        run_show(timeline);

    player_shutdown();
    arena_destroy();
    destroy_show_window();
    if (failed_task) {
        char line[64];
        std::snprintf(line, sizeof line, "invitation: init task %d of %u failed", failed_task, task_count);
        platform_report_failure(line);
        return 1;
    }
    return 0;
}
