// The rigid-body mass pass. Reads the report through the scanner and writes
// only mass.out (slot SLOT_MASS) and the console; of the word fields it fills
// fields 1 to 5 and reads field 2.

#include "passes/rigid_body_mass.h"

#include <cstdio>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

constexpr int SEARCH_LINE_LIMIT = 2'000'000;
constexpr int PARSED_WORDS = 5;
constexpr int MASS_WORD = 1;  // word field 2
// From lbf s^2/in to pounds mass: g in in/s^2. Deliberately not the 386.0 of
// the effective mass table.
constexpr double MASS_SCALE = 386.04;

// Echoes report_line on the console and writes it to mass.out.
void copy_line() {
    std::printf(" %s ", report_line.data());
    std::fprintf(file_slots[SLOT_MASS].stream, "%s \n", report_line.data());
}

// The marker line in report_line and the two after it; the mass is the
// second word of the third ("MASS X-C.G. ..." then the X and Y lines).
void write_mass() {
    copy_line();
    read_report_line();
    copy_line();
    read_report_line();
    copy_line();
    parse_report_words(PARSED_WORDS);
    const double mass = word_to_number(report_words[MASS_WORD]) * MASS_SCALE;
    std::printf("\n\n mass = %12.3lf lbm\n", mass);
    std::fprintf(file_slots[SLOT_MASS].stream, "\n\n mass = %12.3lf lbm\n", mass);
}

}  // namespace

void pass_rigid_body_mass() {
    clear_report_words();
    int searched = 0;
    if (search_report("X-C.G.", searched, SEARCH_LINE_LIMIT))
        write_mass();
    std::printf("\n\n");
}
