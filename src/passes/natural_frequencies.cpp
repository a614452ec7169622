// The natural frequency pass. Reads the report through the scanner, writes
// only fn.out (slot SLOT_FN) and the console, and closes fn.out itself.

#include "passes/natural_frequencies.h"

#include <cstdio>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

constexpr int SEARCH_LINE_LIMIT = 10'000'000;
constexpr int FREQUENCY_WORD = 4;  // word field 5

// Whether the line ends the table: a page header, or the "MAX" of a summary
// line.
bool line_ends_table() {
    return line_has_page_header() || line_has("MAX");
}

// Writes one mode row: the mode number as printed and the frequency in
// cycles per second.
void write_mode_row() {
    parse_report_words(WORD_COUNT);
    const double frequency = word_to_number(report_words[FREQUENCY_WORD]);
    std::fprintf(file_slots[SLOT_FN].stream, "%s \t %8.2lf \n", report_words[0].data(), frequency);
    std::printf("%s  %8.2lf \n", report_words[0].data(), frequency);
}

// Table rows up to the line that ends the table, or the end of the report.
void copy_table() {
    while (read_report_line() && !line_ends_table())
        if (line_has("E+") || line_has("E-"))
            write_mode_row();
}

}  // namespace

void pass_natural_frequencies() {
    clear_report_words();
    int searched = 0;
    while (search_report("R E A L   E I G E N V A L U E S", searched, SEARCH_LINE_LIMIT)) {
        std::printf("\n %s \n", report_line.data());
        read_report_line();
        if (line_has("CYCLES")) {
            read_report_line();  // the second column-heading line
            copy_table();
            close_slot(SLOT_FN);
            return;
        }
        ++searched;  // the heading line; the line after it is not counted
    }
}
