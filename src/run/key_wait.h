// The final key wait, one source per platform.
#pragma once

// Waits for one key press on the console itself (not standard input), with
// no echo and no Enter, and restores the console afterwards. Returns the
// key's first byte, or 0 at once when the process has no console.
int wait_for_key();
