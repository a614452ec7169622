// The participation factor pass: the modal participation factor table into pf.out.
#pragma once

// Searches on from where the natural frequency pass stopped for the modal
// participation factor table, copies it to pf.out and the console, and
// rewinds the report, whether or not it found the table.
void pass_participation_factors();
