// window_probe: tells the Wine checks what Windows itself knows of the show's
// windows, which the X server cannot see (styles, the message box's text) or
// does not see at all inside a Wine virtual desktop.
//
//   window_probe window TITLE     one line on the window titled TITLE
//   window_probe text CAPTION     the text of the message box captioned CAPTION
//   window_probe take-focus TITLE opens a window of its own that takes the
//                                 focus, then gives the focus back: a line
//                                 on TITLE's window while away, one after
//   window_probe after-exit TITLE waits up to 5 minutes for the program of
//                                 TITLE's window to end, then tells the
//                                 display's size: "after exit: display=W,H"
//
// A window line: "frame=caption|popup topmost=0|1 iconic=0|1
// window=X,Y,W,H client=W,H display=W,H". Each command waits up to 10 s for
// its window and exits with 1, saying so, when it does not come.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The top-level window titled title, waiting up to 10 s for it; null if none.
HWND wait_for_window(const char* title)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (HWND window = FindWindowA(nullptr, title))
            return window;
        Sleep(100);
    }
    std::fprintf(stderr, "window_probe: no window \"%s\"\n", title);
    std::exit(1);
}

void print_window(const char* label, HWND window)
{
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG extended = GetWindowLongA(window, GWL_EXSTYLE);
    RECT frame = {}, client = {};
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    std::printf("%sframe=%s topmost=%d iconic=%d window=%ld,%ld,%ld,%ld client=%ld,%ld display=%d,%d\n",
                label, (style & WS_CAPTION) == WS_CAPTION ? "caption" : "popup",
                (extended & WS_EX_TOPMOST) ? 1 : 0, IsIconic(window) ? 1 : 0, frame.left, frame.top,
                frame.right - frame.left, frame.bottom - frame.top, client.right, client.bottom,
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    std::fflush(stdout);
}

BOOL CALLBACK print_static_text(HWND child, LPARAM)
{
    char name[32] = "", text[512] = "";
    GetClassNameA(child, name, sizeof name);
    if (_stricmp(name, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        std::printf("%s\n", text);
    return TRUE;
}

// Waits up to 10 s for done(window) to hold.
void wait_until(HWND window, bool (*done)(HWND))
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (done(window))
            return;
        Sleep(100);
    }
}

int take_focus(HWND show)
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "window_probe";
    RegisterClassA(&window_class);
    HWND own = CreateWindowExA(0, "window_probe", "window_probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                               200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    // Each line tells what it sees once the show has given way (or come
    // back), or after 10 s if it does not.
    SetForegroundWindow(own);
    wait_until(show, [](HWND w) { return IsIconic(w) != 0; });
    print_window("away: ", show);
    SetForegroundWindow(show);
    wait_until(show, [](HWND w) { return !IsIconic(w) && GetForegroundWindow() == w; });
    print_window("back: ", show);
    DestroyWindow(own);
    return 0;
}

int after_exit(HWND window)
{
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    if (!process || WaitForSingleObject(process, 300000) != WAIT_OBJECT_0) {
        std::printf("the program did not end\n");
        return 1;
    }
    CloseHandle(process);
    std::printf("after exit: display=%d,%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_probe window|text|take-focus|after-exit TITLE\n");
        return 2;
    }
    HWND window = wait_for_window(argv[2]);
    if (std::strcmp(argv[1], "window") == 0)
        print_window("", window);
    else if (std::strcmp(argv[1], "text") == 0)
        EnumChildWindows(window, print_static_text, 0);
    else if (std::strcmp(argv[1], "take-focus") == 0)
        return take_focus(window);
    else if (std::strcmp(argv[1], "after-exit") == 0)
        return after_exit(window);
    else
        return 2;
    return 0;
}
