// The console's platform part: one source per platform.
#pragma once

// Makes the console safe to write for the whole run: a closed standard
// stream is opened on the null device, so no file the run opens takes its
// place, and a console that goes away (a pipe whose reader has gone) fails
// the write instead of ending the process halfway through the files.
void prepare_console();

// Waits for one key press on the console itself (not standard input), with
// no echo and no Enter, and restores the console afterwards. Returns the
// key's first byte, or 0 at once when the process has no console.
int wait_for_key();
