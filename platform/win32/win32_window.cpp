// Win32 backend, the window side: message boxes, the window class "OpenGL",
// the display mode, the window with its device context, the WGL context,
// the GDI fonts and the message loop with the real window procedure.
#include "platform/gl_headers.h"
#include "platform/platform.h"
#include "platform/platform_font.h"
#include "platform/win32/win32.h"

#include <cstddef>

namespace {

// DEVMODEA as Windows 95 and NT 4 knew it, without the two panning fields
// added later: every Windows takes this size, and the mode needs no more.
enum { DEVMODE_SIZE = 148 };
static_assert(offsetof(DEVMODEA, dmPanningWidth) == DEVMODE_SIZE, "DEVMODEA layout");

const char window_class_name[] = "OpenGL";

struct Win32Window {
    HINSTANCE instance_handle;
    HWND window_handle;
    HDC device_context;
    HGLRC gl_context;
    bool class_registered;
    DEVMODEA saved_display_mode;  // the mode in force before the intro
    PIXELFORMATDESCRIPTOR pixel_format_request;
};

// The request's colour depth is filled in when the context is created.
// clang-format off
Win32Window win32 = {
    nullptr, nullptr, nullptr, nullptr, false, {},
    {
        sizeof(PIXELFORMATDESCRIPTOR), 1,
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
        PFD_TYPE_RGBA,
        0,                 // cColorBits
        0, 0, 0, 0, 0, 0,  // red, green, blue bits and shifts
        1, 0,              // cAlphaBits, cAlphaShift
        0, 0, 0, 0, 0,     // no accumulation buffer
        24,                // cDepthBits
        1,                 // cStencilBits
        0,                 // cAuxBuffers
        PFD_MAIN_PLANE,
        0, 0, 0, 0,
    },
};
// clang-format on
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "PIXELFORMATDESCRIPTOR layout");

}  // namespace

// Messages for the portable code, held until platform_wait_message hands
// them up. Windows calls the window procedure from inside its own calls
// (the size messages CreateWindowExA sends while it creates the window,
// the activation ShowWindow causes, whatever DispatchMessageA delivers),
// where nothing can be returned to the frame loop; the records wait here,
// in the order they came. A new size or activation replaces one of its
// kind waiting last: only the latest counts.
namespace {

enum { MESSAGE_QUEUE_SIZE = 32 };

struct MessageQueue {
    PlatformMessage records[MESSAGE_QUEUE_SIZE];
    int first;  // index of the oldest record
    int count;
};

MessageQueue message_queue;

void hand_up(const PlatformMessage& record)
{
    MessageQueue& queue = message_queue;
    if (queue.count > 0) {
        PlatformMessage& last = queue.records[(queue.first + queue.count - 1) % MESSAGE_QUEUE_SIZE];
        if (last.type == record.type && (record.type == MESSAGE_SIZE || record.type == MESSAGE_ACTIVATE)) {
            last = record;
            return;
        }
    }
    if (queue.count == MESSAGE_QUEUE_SIZE) return;  // nobody has asked for 32 messages: drop
    queue.records[(queue.first + queue.count) % MESSAGE_QUEUE_SIZE] = record;
    queue.count++;
}

bool take_handed_up(PlatformMessage* message)
{
    MessageQueue& queue = message_queue;
    if (queue.count == 0) return false;
    *message = queue.records[queue.first];
    queue.first = (queue.first + 1) % MESSAGE_QUEUE_SIZE;
    queue.count--;
    return true;
}

}  // namespace

// The window procedure registered with the class. Screen-saver and monitor
// power-down requests are swallowed (the whole wParam is compared); size,
// activation, close and key-down messages are handed up to the portable
// code and never reach DefWindowProcA.
static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    PlatformMessage portable = {};
    switch (message) {
    case WM_SYSCOMMAND:
        if (wparam == SC_SCREENSAVE || wparam == SC_MONITORPOWER) return 0;
        return DefWindowProcA(window, message, wparam, lparam);
    case WM_SIZE:
        portable.type = MESSAGE_SIZE;
        portable.width = LOWORD(lparam);
        portable.height = HIWORD(lparam);
        break;
    case WM_ACTIVATE:
        portable.type = MESSAGE_ACTIVATE;
        portable.minimised = HIWORD(wparam) != 0;
        break;
    case WM_CLOSE: portable.type = MESSAGE_CLOSE; break;
    case WM_KEYDOWN:
        portable.type = MESSAGE_KEY_DOWN;
        portable.key = static_cast<int>(wparam);
        break;
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
    hand_up(portable);
    return 0;
}

// --- Start-up and message boxes -------------------------------------------

bool platform_startup(void)
{
    // One-millisecond timer resolution, so that the frame loop's waits and
    // the mixing thread's 5 ms sleeps end when asked; released with the
    // process.
    timeBeginPeriod(1);
    return true;
}

PlatformAnswer platform_ask_yes_no(const char* caption, const char* text)
{
    int answer = MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONQUESTION);
    if (answer == 0) {
        remember_error("MessageBoxA");
        return ANSWER_FAILED;
    }
    return answer == IDYES ? ANSWER_YES : ANSWER_NO;
}

void platform_show_message(const char* caption, const char* text, PlatformIcon icon)
{
    MessageBoxA(nullptr, text, caption, MB_OK | (icon == ICON_ERROR ? MB_ICONERROR : MB_ICONEXCLAMATION));
}

// --- Window class and display mode ------------------------------------------

bool platform_register_window_class(void)
{
    win32.instance_handle = GetModuleHandleA(nullptr);
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = win32.instance_handle;
    window_class.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = window_class_name;

    // The mode to go back to, saved whatever mode is chosen.
    win32.saved_display_mode.dmSize = DEVMODE_SIZE;
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &win32.saved_display_mode);

    if (!RegisterClassA(&window_class)) {
        remember_error("RegisterClassA");
        return false;
    }
    win32.class_registered = true;
    return true;
}

bool platform_change_display_mode(int width, int height, int bits)
{
    DEVMODEA mode = {};
    mode.dmSize = DEVMODE_SIZE;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;  // any refresh rate
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void platform_restore_display_mode(void)
{
    // Where the registry's mode can be set, reset to it and then to the
    // mode saved at start-up; otherwise only the reset is possible.
    if (ChangeDisplaySettingsA(nullptr, CDS_TEST) == DISP_CHANGE_SUCCESSFUL) {
        ChangeDisplaySettingsA(nullptr, CDS_RESET);
        ChangeDisplaySettingsA(&win32.saved_display_mode, CDS_RESET);
    } else {
        ChangeDisplaySettingsA(nullptr, CDS_RESET);
    }
}

void platform_show_cursor(bool visible) { ShowCursor(visible ? TRUE : FALSE); }

// --- Window and context -----------------------------------------------------

bool platform_create_window(const char* title, int width, int height, bool fullscreen)
{
    DWORD style = fullscreen ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    DWORD extended_style = fullscreen ? WS_EX_APPWINDOW : WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    // The outer size that gives a client area of width x height.
    RECT rectangle = {0, 0, width, height};
    AdjustWindowRectEx(&rectangle, style, FALSE, extended_style);

    win32.window_handle = CreateWindowExA(extended_style, window_class_name, title,
                                          style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                          rectangle.right - rectangle.left, rectangle.bottom - rectangle.top,
                                          nullptr, nullptr, win32.instance_handle, nullptr);
    if (!win32.window_handle) {
        remember_error("CreateWindowExA");
        return false;
    }
    win32.device_context = GetDC(win32.window_handle);
    if (!win32.device_context) {
        remember_error("GetDC");
        return false;
    }
    return true;
}

bool platform_create_gl_context(int bits)
{
    PIXELFORMATDESCRIPTOR* request = &win32.pixel_format_request;
    request->cColorBits = static_cast<BYTE>(bits);
    int format = ChoosePixelFormat(win32.device_context, request);
    if (format == 0) {
        remember_error("ChoosePixelFormat");
        return false;
    }
    if (!SetPixelFormat(win32.device_context, format, request)) {
        remember_error("SetPixelFormat");
        return false;
    }
    win32.gl_context = wglCreateContext(win32.device_context);
    if (!win32.gl_context) {
        remember_error("wglCreateContext");
        return false;
    }
    if (!wglMakeCurrent(win32.device_context, win32.gl_context)) {
        remember_error("wglMakeCurrent");
        return false;
    }
    return true;
}

void platform_show_window(void)
{
    ShowWindow(win32.window_handle, SW_SHOW);
    SetForegroundWindow(win32.window_handle);
    SetFocus(win32.window_handle);
}

bool platform_has_gl_context(void) { return win32.gl_context != nullptr; }

int platform_delete_gl_context(void)
{
    if (!win32.gl_context) return 0;
    int failed = 0;
    if (!wglMakeCurrent(nullptr, nullptr)) failed++;
    if (!wglDeleteContext(win32.gl_context)) failed++;
    win32.gl_context = nullptr;
    return failed;
}

int platform_destroy_window(void)
{
    int failed = 0;
    if (win32.device_context && !ReleaseDC(win32.window_handle, win32.device_context)) failed++;
    win32.device_context = nullptr;
    if (win32.window_handle && !DestroyWindow(win32.window_handle)) failed++;
    win32.window_handle = nullptr;
    if (win32.class_registered && !UnregisterClassA(window_class_name, win32.instance_handle)) failed++;
    win32.class_registered = false;
    return failed;
}

void platform_swap_buffers(void) { SwapBuffers(win32.device_context); }

void platform_build_font(unsigned list_base, int pixel_height)
{
    // A negative height asks for the character height without internal
    // leading. The font stays selected into the window's own DC and is
    // never deleted: the process ends soon enough.
    HFONT font = CreateFontA(-pixel_height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             FF_DONTCARE | DEFAULT_PITCH, "Verdana");
    SelectObject(win32.device_context, font);
    wglUseFontBitmapsA(win32.device_context, GLYPH_FIRST_CODE, GLYPH_COUNT, list_base);
}

void platform_draw_text(unsigned list_base, const char* text, int length)
{
    glPushAttrib(GL_LIST_BIT);
    glListBase(list_base - GLYPH_FIRST_CODE);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

// --- Messages ---------------------------------------------------------------

// Takes the next message of the thread's queue, waiting up to `timeout_ms`
// for one. Messages sent by other threads are delivered on the way.
static bool take_message(MSG* taken, uint32_t timeout_ms)
{
    if (PeekMessageA(taken, nullptr, 0, 0, PM_REMOVE)) return true;
    if (timeout_ms == 0) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, timeout_ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return PeekMessageA(taken, nullptr, 0, 0, PM_REMOVE) != 0;
}

bool platform_wait_message(PlatformMessage* message, uint32_t timeout_ms)
{
    *message = PlatformMessage{};
    if (take_handed_up(message)) return true;
    MSG taken;
    if (!take_message(&taken, timeout_ms)) return take_handed_up(message);
    if (taken.message == WM_QUIT) {
        message->type = MESSAGE_QUIT;
        message->exit_code = static_cast<int>(taken.wParam);
        return true;
    }
    TranslateMessage(&taken);
    DispatchMessageA(&taken);
    // What the window procedure handed up while the message was delivered
    // comes first; otherwise the platform has handled the message itself.
    if (!take_handed_up(message)) message->type = MESSAGE_HANDLED;
    return true;
}

void platform_post_quit(int exit_code) { PostQuitMessage(exit_code); }
