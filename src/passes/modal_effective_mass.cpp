// The modal effective mass pass. Reads the report through the scanner and
// writes only mem.out (slot SLOT_MEM), fn_mem_386.out (slot SLOT_FN_MEM_386)
// and the console; of the word fields it uses field 1, for a total row's label.

#include "passes/modal_effective_mass.h"

#include <array>
#include <cstdio>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

constexpr int SEARCH_LINE_LIMIT = 10'000'000;
constexpr int KEPT_HEADING_LINES = 2;     // blank, column headings
constexpr int DROPPED_HEADING_LINES = 2;  // "NO.", blank
constexpr int TABLE_LINE_BOUND = 501;
// From lbf s^2/in to pounds mass, rounded; the rigid-body mass uses 386.04.
constexpr double MEM_SCALE = 386.0;

// The values of the rows read so far; a value a row does not supply keeps
// the one before it.
struct HeldRow {
    int mode = 0;
    double frequency = 0.0;
    std::array<double, 6> mass{};  // effective masses, already scaled
};

// Scales the effective masses that the row's parse supplied, each once.
void scale_supplied_masses(HeldRow &row, int supplied) {
    for (int value = 0; value < supplied && value < 6; ++value)
        row.mass[value] *= MEM_SCALE;
}

// A mode row: "%d %lf %lf %lf %lf %lf %lf %lf".
void write_mode_row(HeldRow &row) {
    std::array<double, 6> &m = row.mass;
    const int filled = parse_report_line(
        {&row.mode, &row.frequency, &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]});
    scale_supplied_masses(row, filled - 2);
    std::fprintf(file_slots[SLOT_FN_MEM_386].stream,
                 "%d \t %8.2lf \t %8.4lf \t %8.4lf \t %8.4lf \t %8.4lf \t %8.4lf \t %8.4lf \n",
                 row.mode, row.frequency, m[0], m[1], m[2], m[3], m[4], m[5]);
}

// The total row: "%s %lf %lf %lf %lf %lf %lf", its label into word field 1.
void write_total_row(HeldRow &row) {
    std::array<double, 6> &m = row.mass;
    const int filled =
        parse_report_line({&report_words[0], &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]});
    scale_supplied_masses(row, filled - 1);
    std::fprintf(file_slots[SLOT_FN_MEM_386].stream,
                 "\n %s \t\t\t %8.4lf \t %8.4lf \t %8.4lf \t %8.4lf \t %8.4lf \t %8.4lf \n",
                 report_words[0].data(), m[0], m[1], m[2], m[3], m[4], m[5]);
}

// The heading line in report_line, its two kept lines, then the table after
// the two dropped lines. A row is written before its line's end-marker test.
void copy_table() {
    std::FILE *mem = file_slots[SLOT_MEM].stream;
    std::printf(" %s ", report_line.data());
    std::fprintf(mem, "%s ", report_line.data());
    for (int kept = 0; kept < KEPT_HEADING_LINES; ++kept) {
        read_report_line();
        std::fprintf(mem, "%s ", report_line.data());
    }
    for (int dropped = 0; dropped < DROPPED_HEADING_LINES; ++dropped)
        read_report_line();

    HeldRow row;
    for (int copied = 0; copied < TABLE_LINE_BOUND && read_report_line(); ++copied) {
        if (line_has("TOTAL"))
            write_total_row(row);
        else if (line_has("E+") || line_has("E-"))
            write_mode_row(row);
        if (line_has_page_header())
            return;
        std::fprintf(mem, "%s \n", report_line.data());
    }
}

}  // namespace

void pass_modal_effective_mass() {
    std::printf("\n find MEM \n");
    clear_report_words();
    int searched = 0;
    while (search_report("MODAL EFFECTIVE", searched, SEARCH_LINE_LIMIT)) {
        // The effective mass fraction tables, printed first, are passed over.
        if (!line_has("FRACTION")) {
            copy_table();
            break;
        }
        ++searched;
    }
    rewind_report();
}
