// The run sequence: dialogue, opening, the four passes, closing, output list.
#pragma once

// Runs the whole program once. Returns 0, or 1 when a file saw an I/O error;
// a file that cannot be opened ends the process with status 1.
int run_session();
