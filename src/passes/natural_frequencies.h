// The natural frequency pass: the real eigenvalue table into fn.out.
#pragma once

// Finds the real eigenvalue table from the report's first byte and writes each
// mode row's number and frequency to fn.out and the console; closes fn.out
// when the table ends. Leaves the report just after the line that ended it.
void pass_natural_frequencies();
