// The platform contract: every service of the operating system the show uses.
//
// Four backends implement all of it: sdl2/ (a real window, display and sound
// on Linux), win32/ (the same on Windows, on the Win32 API itself), web/ (a
// WebGL canvas and Web Audio in a browser page, built with Emscripten) and
// headless/ (an EGL pbuffer with no display server and a virtual clock, for
// tests and capture). Nothing outside src/platform includes SDL, EGL,
// windows.h or Emscripten's headers.
//
// Everything here runs on the main thread unless its note says otherwise.
#pragma once

#include <cstdint>

// Answers of the yes/no question.
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Shows a modal yes/no question. Returns kAnswerYes, kAnswerNo, or 0 when the
// box could not be shown (the caller asks again). Yes is the Return default,
// No the Escape default.
int platform_ask_yes_no(const char* text, const char* caption);

// Switches the display to width × height × bits for as long as the show runs.
// Returns 1 when the mode was changed, 0 when it was not (nothing changed).
// A backend may make the switch when the full-screen window opens (SDL does);
// 1 then means the display has that mode and the window will try it, and
// platform_display_mode_changed tells afterwards whether it took.
int platform_set_display_mode(int width, int height, int bits);

// 1 while the display runs the mode of platform_set_display_mode, else 0.
int platform_display_mode_changed();

// Puts the display back in the mode it had before platform_set_display_mode.
void platform_restore_display_mode();

// Opens the show's window with a client area of width × height and a
// double-buffered GL 1.x compatibility context with a depth buffer of at least
// 16 bits, made current on the calling thread. With fullscreen non-zero the
// window is borderless and covers the display in the mode of
// platform_set_display_mode when the display takes it, and at the display's
// own resolution with the cursor hidden when it does not. When it loses the
// focus, the desktop gets its own mode back and the window is minimised; with
// the focus back, it covers the display again, in the show's mode if granted.
// Whatever the window's size, the program draws a width × height picture (the
// default framebuffer and the first viewport are that picture) and the backend
// shows it as large as fits, aspect kept, centred on black. Returns 1 on
// success, 0 on failure (whatever was created stays until
// platform_destroy_window).
int platform_create_window(int width, int height, int fullscreen, const char* title);

// The size in pixels of what shows the picture now: the window's drawable
// (the whole display when full screen); 0 × 0 while minimised. Headless: the
// pbuffer's size. A web page: the canvas's displayed size in device pixels.
void platform_output_size(int* width, int* height);

// Makes the picture the scenes draw into width × height pixels from now on,
// with the viewport set to it; the backend still shows it as large as fits.
// Call it between frames. Returns 1, or 0 when the backend cannot change it
// (a GL without framebuffer objects, the headless pbuffer): the picture then
// stays as it was. The web page's picture is its canvas's backing store.
int platform_set_picture_size(int width, int height);

// Why the last failed window or display call failed, in a few words of the
// system's own; an empty string when there is nothing to tell.
const char* platform_error();

// Tells the user why the program stops: line (no newline) on stderr and,
// where a program started from the desktop has no console (Windows), in a
// message box as well.
void platform_report_failure(const char* line);

// Releases the GL context and the window (SDL also puts the display's own
// mode back as a full-screen window goes). Harmless when there is none.
void platform_destroy_window();

// Non-zero while a GL context is current on the calling thread.
int platform_has_gl_context();

// The display's refresh rate in Hz, or 0 when it cannot be told.
double platform_refresh_rate();

// Handles pending window events. Returns 1 if Esc was pressed or the window
// was closed since the last call, else 0.
int platform_pump_events();

// Presents the back buffer.
void platform_swap_buffers();

// 1 when the swap itself waits for the display's next frame (a web page
// hands the thread to the browser until its next animation frame), so that
// a frame's time to the end of the swap is at least a display period; 0 where
// the program paces itself after the swap.
int platform_swap_waits_for_display();

// Shows (1) or hides (0) the mouse cursor over the window.
void platform_show_cursor(int show);

// High-resolution counter: counts since some fixed moment, and counts per
// second. Both return 0 on failure.
int64_t platform_counter();
int64_t platform_counter_frequency();

// Gives up the rest of the time slice (the pacing spin calls this).
void platform_yield();

// Sleeps for about ms milliseconds.
void platform_sleep_ms(int ms);

// A thread of its own. platform_thread_start returns null on failure; the
// thread runs entry(arg) at the highest priority the system grants (best
// effort: a refusal is not a failure). platform_thread_join waits for it and
// releases the handle.
struct PlatformThread;
PlatformThread* platform_thread_start(int (*entry)(void* arg), void* arg);
void platform_thread_join(PlatformThread* thread);

// Audio output: one buffer of 16-bit little-endian stereo frames, played from
// its start in an endless loop, as a wave device plays a looping buffer.
// platform_audio_open returns 1 when a device at rate frames per second is
// open, 0 when there is none. platform_audio_play_loop starts the loop over
// buffer (bytes long, a multiple of 4), which stays the caller's and must
// live until platform_audio_reset or platform_audio_close. The caller may
// rewrite parts of it while it plays.
int platform_audio_open(int rate);
void platform_audio_play_loop(const void* buffer, int bytes);

// Reads into bytes how many bytes were played since platform_audio_play_loop,
// counting every lap of the loop (wraps at 2^32): what the listener hears now,
// not what was queued. Returns 1, or 0 when the device cannot tell now (bytes
// is left alone). A reading may come out behind the one before (drivers do
// that now and then); the caller keeps the later one. Any thread may call it.
int platform_audio_position_bytes(uint32_t* bytes);

// Stops the loop and forgets the buffer; the device stays open.
void platform_audio_reset();
void platform_audio_close();

// 1 when no feeder thread runs and the program feeds the loop itself between
// frames: on the headless backend, whose device follows its virtual clock,
// and in a web page, which has one thread.
int platform_audio_fed_between_frames();
