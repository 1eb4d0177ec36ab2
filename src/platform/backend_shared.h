// What the backends share; for the backends only.
#pragma once

// The name desktops know the show's window by: the Win32 window class, the
// X11 WM_CLASS and the Wayland app id.
constexpr const char* kWindowClassName = "quillmongersinthahouse";
