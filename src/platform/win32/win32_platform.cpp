// Win32 backend: message boxes, display mode, the show's window with its WGL
// context, the window procedure (Esc, close, focus), the performance counter
// and threads. Main thread, except the threads' own and the counter, which any
// thread may read. Uses only what the Windows SDK itself declares.
//
// The scenes draw into an offscreen picture (picture_framebuffer.h) that each
// swap scales onto the window: a full-screen window covers the display in the
// show's mode when the display takes it and at its own resolution when not.
// A full-screen window that loses the focus puts the desktop's mode back and
// steps aside (minimised); given the focus again, it takes the display back.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include "platform/platform.h"
#include "platform/backend_shared.h"
#include "platform/gl/picture_framebuffer.h"

#include <GL/gl.h>

#include <cstdio>

namespace {

HWND show_window = nullptr;   // null before creation and after destruction
HDC show_dc = nullptr;        // the window's own DC (CS_OWNDC), for every swap
HGLRC show_rc = nullptr;      // the only GL context, current on the main thread
bool class_registered = false;
DEVMODEA show_mode = {};      // the mode platform_set_display_mode switched to
bool mode_wanted = false;     // the show's mode was granted, for as long as the show has the focus
bool mode_changed = false;    // the display runs the show's mode now
bool covering = false;        // the window is full-screen: borderless, top-most, over the display
bool cursor_hidden_by_cover = false; // the cursor is hidden over a window without the show's mode
char last_error[256] = "";    // platform_error's text
bool quit_seen = false;       // Esc or a window close since the last platform_pump_events

// Keeps "what: the system's reason" for platform_error.
void remember_error(const char* what)
{
    const DWORD code = GetLastError();
    char reason[160] = "";
    if (code)
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       reason, sizeof reason, nullptr);
    // The system's text ends in a line break; one line is wanted.
    for (char* c = reason; *c; ++c)
        if (*c == '\r' || *c == '\n')
            *c = '\0';
    if (*reason)
        std::snprintf(last_error, sizeof last_error, "%s: %s", what, reason);
    else
        std::snprintf(last_error, sizeof last_error, "%s", what);
}

// The primary display's size in pixels, as (0, 0, width, height).
RECT display_rect() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

// Another program has the focus: the desktop gets its own mode back and the
// show's window gives way. The show goes on, music and all.
void step_aside()
{
    if (mode_changed) {
        ChangeDisplaySettingsA(nullptr, 0);
        mode_changed = false;
    }
    ShowWindow(show_window, SW_MINIMIZE);
}

// The focus is back: the show's mode again, if it was granted before and the
// display still takes it, and the window over the whole display (a refused
// mode leaves the picture scaled onto the desktop's).
void take_display_back()
{
    if (mode_wanted && !mode_changed)
        mode_changed = ChangeDisplaySettingsA(&show_mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
    if (IsIconic(show_window))
        ShowWindow(show_window, SW_RESTORE);
    const RECT display = display_rect();
    SetWindowPos(show_window, HWND_TOPMOST, 0, 0, display.right, display.bottom, SWP_NOACTIVATE);
}

LRESULT CALLBACK show_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    // Closing the window reaches WM_DESTROY through the default handling.
    if (message == WM_DESTROY || (message == WM_KEYDOWN && wparam == VK_ESCAPE)) {
        quit_seen = true;
        PostQuitMessage(0);
    }
    if (message == WM_DESTROY && window == show_window)
        show_window = nullptr;
    if (message == WM_ACTIVATEAPP && window == show_window && covering) {
        if (wparam)
            take_display_back();
        else
            step_aside();
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// wglGetProcAddress as the picture framebuffer looks entry points up. Some
// drivers answer 1, 2, 3 or −1 for an entry point they do not have.
void* look_up_gl_entry(const char* name)
{
    const auto entry = reinterpret_cast<intptr_t>(wglGetProcAddress(name));
    return entry >= -1 && entry <= 3 ? nullptr : reinterpret_cast<void*>(entry);
}

void register_show_class()
{
    if (class_registered)
        return;
    WNDCLASSA window_class = {};
    window_class.style = CS_OWNDC;
    window_class.lpfnWndProc = show_window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kWindowClassName;
    class_registered = RegisterClassA(&window_class) != 0;
}

// Chooses and sets the pixel format: RGBA, double-buffered, 32 colour and 16
// depth bits asked for; the one granted must have the double buffer and at
// least 16 depth bits.
bool set_pixel_format(HDC dc)
{
    PIXELFORMATDESCRIPTOR wanted = {};
    wanted.nSize = sizeof wanted;
    wanted.nVersion = 1;
    wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    wanted.iPixelType = PFD_TYPE_RGBA;
    wanted.cColorBits = 32;
    wanted.cDepthBits = 16;
    wanted.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(dc, &wanted);
    if (format == 0) {
        remember_error("no OpenGL pixel format");
        return false;
    }
    PIXELFORMATDESCRIPTOR granted = {};
    DescribePixelFormat(dc, format, sizeof granted, &granted);
    if (!(granted.dwFlags & PFD_DOUBLEBUFFER) || granted.cDepthBits < 16) {
        SetLastError(0);
        remember_error("no double-buffered OpenGL pixel format with a 16-bit depth buffer");
        return false;
    }
    if (!SetPixelFormat(dc, format, &granted)) {
        remember_error("cannot set the OpenGL pixel format");
        return false;
    }
    return true;
}

struct PlatformThreadStart {
    int (*entry)(void*);
    void* arg;
};

} // namespace

int platform_ask_yes_no(const char* text, const char* caption)
{
    // Only 0 means the box could not be shown; Esc or closing the box gives
    // IDCANCEL, which answers No.
    const int answer = MessageBoxA(nullptr, text, caption, MB_YESNO);
    if (answer == 0) {
        remember_error("cannot show a message box");
        return 0;
    }
    return answer == IDYES ? kAnswerYes : kAnswerNo;
}

int platform_set_display_mode(int width, int height, int bits)
{
    show_mode = {};
    show_mode.dmSize = sizeof show_mode;
    show_mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    show_mode.dmBitsPerPel = DWORD(bits);
    show_mode.dmPelsWidth = DWORD(width);
    show_mode.dmPelsHeight = DWORD(height);
    // A temporary change: the registered mode comes back when the program ends.
    if (ChangeDisplaySettingsA(&show_mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL)
        return 0;
    mode_wanted = mode_changed = true;
    return 1;
}

int platform_display_mode_changed() { return mode_changed ? 1 : 0; }

void platform_restore_display_mode()
{
    mode_wanted = false;
    if (!mode_changed)
        return;
    ChangeDisplaySettingsA(nullptr, 0);
    mode_changed = false;
}

int platform_create_window(int width, int height, int fullscreen, const char* title)
{
    register_show_class();
    covering = fullscreen != 0;
    DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    DWORD extended_style = 0;
    RECT frame = {0, 0, width, height};
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT; // a pop-up window there lands in the top-left corner
    if (covering) {
        // In the show's mode the display is the picture's size; without it
        // the window covers the display as it is, the picture scaled up.
        style = WS_POPUP | WS_VISIBLE;
        extended_style = WS_EX_TOPMOST;
        frame = display_rect();
        x = y = 0;
        if (!mode_changed) {
            ShowCursor(FALSE);
            cursor_hidden_by_cover = true;
        }
    } else {
        AdjustWindowRect(&frame, style, FALSE);
    }
    show_window = CreateWindowExA(extended_style, kWindowClassName, title, style, x, y,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!show_window) {
        remember_error("cannot create the window");
        return 0;
    }
    show_dc = GetDC(show_window);
    if (!show_dc) {
        remember_error("no device context for the window");
        return 0;
    }
    if (!set_pixel_format(show_dc))
        return 0;
    show_rc = wglCreateContext(show_dc);
    if (!show_rc) {
        remember_error("cannot create an OpenGL context");
        return 0;
    }
    if (!wglMakeCurrent(show_dc, show_rc)) {
        remember_error("cannot make the OpenGL context current");
        return 0;
    }
    RECT client = {};
    GetClientRect(show_window, &client);
    // Without framebuffer objects: unscaled, centred.
    picture_framebuffer_create(look_up_gl_entry, width, height, client.right, client.bottom);
    return 1;
}

void platform_output_size(int* width, int* height)
{
    RECT client = {};
    if (!show_window || IsIconic(show_window) || !GetClientRect(show_window, &client))
        client = {};
    *width = client.right;
    *height = client.bottom;
}

int platform_set_picture_size(int width, int height) { return picture_framebuffer_resize(width, height); }

const char* platform_error() { return last_error; }

void platform_report_failure(const char* line)
{
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
    // Started from the desktop, the program has no console to read.
    MessageBoxA(nullptr, line, "invitation", MB_OK | MB_ICONERROR);
}

void platform_destroy_window()
{
    if (show_rc) {
        if (wglGetCurrentContext() == show_rc)
            picture_framebuffer_destroy();
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(show_rc);
        show_rc = nullptr;
    }
    if (show_dc) {
        ReleaseDC(show_window, show_dc);
        show_dc = nullptr;
    }
    if (cursor_hidden_by_cover) {
        ShowCursor(TRUE);
        cursor_hidden_by_cover = false;
    }
    covering = false;
    if (show_window) {
        HWND window = show_window;
        show_window = nullptr;
        DestroyWindow(window);
    }
    // Let the WM_DESTROY just sent not count as a request for the next run.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    quit_seen = false;
    if (class_registered) {
        UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr));
        class_registered = false;
    }
}

int platform_has_gl_context() { return show_rc && wglGetCurrentContext() == show_rc; }

double platform_refresh_rate()
{
    HDC dc = show_dc ? show_dc : GetDC(nullptr);
    if (!dc)
        return 0.0;
    const int hz = GetDeviceCaps(dc, VREFRESH);
    if (dc != show_dc)
        ReleaseDC(nullptr, dc);
    return hz > 0 ? double(hz) : 0.0;
}

int platform_pump_events()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const bool quit = quit_seen;
    quit_seen = false;
    return quit ? 1 : 0;
}

int platform_swap_waits_for_display() { return 0; }

void platform_swap_buffers()
{
    if (!show_dc)
        return;
    RECT client = {};
    GetClientRect(show_window, &client);
    picture_framebuffer_present(client.right, client.bottom);
    SwapBuffers(show_dc);
    picture_framebuffer_rebind();
}

void platform_show_cursor(int show) { ShowCursor(show ? TRUE : FALSE); }

int64_t platform_counter()
{
    LARGE_INTEGER count;
    return QueryPerformanceCounter(&count) ? int64_t(count.QuadPart) : 0;
}

int64_t platform_counter_frequency()
{
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) ? int64_t(frequency.QuadPart) : 0;
}

void platform_yield() { SwitchToThread(); }
void platform_sleep_ms(int ms) { Sleep(DWORD(ms < 0 ? 0 : ms)); }

struct PlatformThread {
    HANDLE handle;
    PlatformThreadStart start;
};

namespace {

// The thread runs with a 1 ms timer resolution, so its Sleep calls wake on
// time; the resolution goes back when it ends.
DWORD WINAPI run_thread(LPVOID data)
{
    const PlatformThreadStart start = static_cast<PlatformThread*>(data)->start;
    timeBeginPeriod(1);
    const int result = start.entry(start.arg);
    timeEndPeriod(1);
    return DWORD(result);
}

} // namespace

PlatformThread* platform_thread_start(int (*entry)(void*), void* arg)
{
    auto* thread = new PlatformThread{nullptr, {entry, arg}};
    thread->handle = CreateThread(nullptr, 0, run_thread, thread, 0, nullptr);
    if (!thread->handle) {
        delete thread;
        return nullptr;
    }
    SetThreadPriority(thread->handle, THREAD_PRIORITY_TIME_CRITICAL); // a refusal is no failure
    return thread;
}

void platform_thread_join(PlatformThread* thread)
{
    if (!thread)
        return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
}
