// The participation factor pass. Reads the report through the scanner and
// writes only pf.out (slot SLOT_PF) and the console; parses nothing.

#include "passes/participation_factors.h"

#include <cstdio>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

constexpr int SEARCH_LINE_LIMIT = 1'000'000;
constexpr int SKIPPED_LINES = 4;  // blank, column headings, "NO.", blank
constexpr int TABLE_LINE_BOUND = 501;

// Writes report_line to pf.out and echoes it on the console.
void copy_line() {
    std::fprintf(file_slots[SLOT_PF].stream, "%s \n", report_line.data());
    std::printf(" %s ", report_line.data());
}

// The heading line in report_line, then the table after the skipped lines.
void copy_table() {
    copy_line();
    for (int skipped = 0; skipped < SKIPPED_LINES; ++skipped)
        read_report_line();
    for (int copied = 0; copied < TABLE_LINE_BOUND && read_report_line() && !line_has_page_header();
         ++copied)
        copy_line();
}

}  // namespace

void pass_participation_factors() {
    std::printf("\n in pf \n");
    int searched = 0;
    if (search_report("MODAL PARTICIPATION FACTORS", searched, SEARCH_LINE_LIMIT))
        copy_table();
    rewind_report();
}
