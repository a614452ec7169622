// Which console input records end the key wait on Windows.

#include <gtest/gtest.h>

#include <string>

#include "run/console_windows_keys.h"

namespace {

INPUT_RECORD key(WORD virtual_key, char character, bool down = true, DWORD modifiers = 0) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtual_key;
    record.Event.KeyEvent.uChar.AsciiChar = character;
    record.Event.KeyEvent.dwControlKeyState = modifiers;
    return record;
}

// An event of another type whose bytes would read as a key press.
INPUT_RECORD event_of_type(WORD type) {
    INPUT_RECORD record = key('A', 'a');
    record.EventType = type;
    return record;
}

struct RecordCase {
    const char *what;
    INPUT_RECORD record;
    bool ends;
};

TEST(KeyWaitRecords, KeyPressesEndTheWaitModifiersAloneAndOtherEventsDoNot) {
    const RecordCase cases[] = {
        {"letter", key('A', 'a'), true},
        {"shifted letter", key('A', 'A', true, SHIFT_PRESSED), true},
        {"digit", key('7', '7'), true},
        {"space", key(VK_SPACE, ' '), true},
        {"Enter", key(VK_RETURN, '\r'), true},
        {"Esc", key(VK_ESCAPE, 0x1b), true},
        {"Tab", key(VK_TAB, '\t'), true},
        {"Backspace", key(VK_BACK, '\b'), true},
        {"Ctrl+C", key('C', 0x03, true, LEFT_CTRL_PRESSED), true},
        {"Ctrl+Z", key('Z', 0x1a, true, RIGHT_CTRL_PRESSED), true},
        {"Alt+X", key('X', 'x', true, LEFT_ALT_PRESSED), true},
        {"F1", key(VK_F1, 0), true},
        {"F12", key(VK_F12, 0), true},
        {"left arrow", key(VK_LEFT, 0, true, ENHANCED_KEY), true},
        {"up arrow", key(VK_UP, 0, true, ENHANCED_KEY), true},
        {"right arrow", key(VK_RIGHT, 0, true, ENHANCED_KEY), true},
        {"down arrow", key(VK_DOWN, 0, true, ENHANCED_KEY), true},
        {"Home", key(VK_HOME, 0, true, ENHANCED_KEY), true},
        {"End", key(VK_END, 0, true, ENHANCED_KEY), true},
        {"Page Up", key(VK_PRIOR, 0, true, ENHANCED_KEY), true},
        {"Page Down", key(VK_NEXT, 0, true, ENHANCED_KEY), true},
        {"Insert", key(VK_INSERT, 0, true, ENHANCED_KEY), true},
        {"Delete", key(VK_DELETE, 0, true, ENHANCED_KEY), true},
        {"Shift", key(VK_SHIFT, 0, true, SHIFT_PRESSED), false},
        {"left Shift", key(VK_LSHIFT, 0, true, SHIFT_PRESSED), false},
        {"Ctrl", key(VK_CONTROL, 0, true, LEFT_CTRL_PRESSED), false},
        {"right Ctrl", key(VK_RCONTROL, 0, true, RIGHT_CTRL_PRESSED), false},
        {"Alt", key(VK_MENU, 0, true, LEFT_ALT_PRESSED), false},
        {"AltGr", key(VK_MENU, 0, true, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), false},
        {"Caps Lock", key(VK_CAPITAL, 0, true, CAPSLOCK_ON), false},
        {"Num Lock", key(VK_NUMLOCK, 0, true, NUMLOCK_ON), false},
        {"Scroll Lock", key(VK_SCROLL, 0, true, SCROLLLOCK_ON), false},
        {"left Windows key", key(VK_LWIN, 0), false},
        {"right Windows key", key(VK_RWIN, 0), false},
        {"letter released", key('A', 'a', false), false},
        {"Enter released", key(VK_RETURN, '\r', false), false},
        {"mouse", event_of_type(MOUSE_EVENT), false},
        {"focus", event_of_type(FOCUS_EVENT), false},
        {"menu", event_of_type(MENU_EVENT), false},
        {"window size", event_of_type(WINDOW_BUFFER_SIZE_EVENT), false},
    };
    for (const RecordCase &c : cases)
        EXPECT_EQ(ends_key_wait(c.record), c.ends) << c.what;
}

}  // namespace
