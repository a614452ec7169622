// The console on Windows. The key wait reads the console itself (CONIN$),
// so the rest of the line the name was typed on, or a name piped in, never
// ends it. Every key is one input record: an arrow or function key leaves
// nothing behind for the next program.

#include <windows.h>

#include "run/console.h"
#include "run/console_windows_keys.h"

namespace {

constexpr int ESCAPE = 0x1b;

HANDLE console_input = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;

// Ctrl+Break or a closing console must not leave the console without echo.
BOOL WINAPI restore_on_signal(DWORD) {
    SetConsoleMode(console_input, saved_mode);
    return FALSE;  // the default handling goes on
}

// The key's character byte; a key without one (arrow, function, editing key)
// gives Esc, the first byte a terminal sends for it.
int key_byte(const KEY_EVENT_RECORD &key) {
    const auto byte = static_cast<unsigned char>(key.uChar.AsciiChar);
    return byte != 0 ? byte : ESCAPE;
}

}  // namespace

bool ends_key_wait(const INPUT_RECORD &record) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
        return false;
    switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
        return false;
    default:
        return true;
    }
}

// Standard streams need no repair here: the C runtime keeps descriptors 0 to
// 2 for them even when the process has no such handle, and a gone reader
// fails a write instead of ending the process.
void prepare_console() {
    // A name on a drive without a disk fails the open instead of raising a
    // dialog box.
    SetErrorMode(SEM_FAILCRITICALERRORS);
}

int wait_for_key() {
    console_input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (console_input == INVALID_HANDLE_VALUE)
        return 0;
    if (!GetConsoleMode(console_input, &saved_mode)) {
        CloseHandle(console_input);
        return 0;
    }
    // Key by key, no echo; Ctrl+C is a key too.
    SetConsoleCtrlHandler(restore_on_signal, TRUE);
    SetConsoleMode(console_input, saved_mode & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                 ENABLE_PROCESSED_INPUT));
    FlushConsoleInputBuffer(console_input);

    int key = 0;
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputA(console_input, &record, 1, &read) && read == 1) {
        if (ends_key_wait(record)) {
            key = key_byte(record.Event.KeyEvent);
            break;
        }
    }

    // Flushing drops the key's release and whatever else arrived meanwhile.
    FlushConsoleInputBuffer(console_input);
    SetConsoleMode(console_input, saved_mode);
    SetConsoleCtrlHandler(restore_on_signal, FALSE);
    CloseHandle(console_input);
    return key;
}
