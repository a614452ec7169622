// The rigid-body mass pass: the first "X-C.G." block into mass.out.
#pragma once

// Searches the report from its first byte for the first line holding
// "X-C.G.", copies it and the two lines after it to mass.out and the console,
// and reports the mass of the third line's second word in pounds mass.
void pass_rigid_body_mass();
