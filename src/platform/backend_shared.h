// What the backends share; for the backends only.
#pragma once

// The name desktops know the show's window by: the Win32 window class, the
// X11 WM_CLASS and the Wayland app id.
constexpr const char* kWindowClassName = "quillmongersinthahouse";

// Esc or a window close seen since the last pump: the backend raises it from
// its events (or, headless, from a driver's request), and its
// platform_pump_events hands it out once.
inline int quit_request = 0;

inline int take_quit_request()
{
    const int quit = quit_request;
    quit_request = 0;
    return quit;
}
