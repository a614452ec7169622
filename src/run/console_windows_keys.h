// Which console input ends the key wait on Windows.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max stay usable
#endif
#include <windows.h>

// Whether this console input record is a key press that ends the wait: any
// key going down but a modifier, a lock key or a Windows key pressed alone.
// Key releases, mouse, focus, menu and window-size events never end it.
bool ends_key_wait(const INPUT_RECORD &record);
