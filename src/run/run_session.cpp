// The run sequence: everything outside the four passes.

#include "run/run_session.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "passes/modal_effective_mass.h"
#include "passes/natural_frequencies.h"
#include "passes/participation_factors.h"
#include "passes/rigid_body_mass.h"
#include "run/file_slots.h"
#include "run/console.h"

namespace {

void print_banner() {
    std::printf("\n f06modes - natural frequencies and modal mass from a Nastran report \n");
    std::printf("\n\n f06modes, by the f06modes maintainers\n"
                " maintainers@users.noreply.c-seed-83b2dc46.example\n");
    std::printf("\n\n The input file is a NX Nastran output file \n");
    std::printf(" from a SOL SEMODES analysis. \n");
    std::printf("\n\n Enter the *.f06 filename \n");
}

bool is_blank(int c) {
    return c != EOF && std::isspace(c) != 0;
}

// The first word on standard input, as scanf's "%s" takes it: leading white
// space skipped, then everything up to the next white space. Empty at the end
// of the input. Never cut: a name too long to use is refused whole.
std::string read_word() {
    int c = std::getchar();
    while (is_blank(c))
        c = std::getchar();
    std::string word;
    for (; c != EOF && !is_blank(c); c = std::getchar())
        word.push_back(static_cast<char>(c));
    return word;
}

void print_output_list() {
    std::printf("\n Output Files \n");
    for (int slot = SLOT_FN; slot < SLOT_COUNT; ++slot)
        std::printf("\n %s ", file_slots[slot].name.c_str());
}

}  // namespace

int run_session() {
    prepare_console();
    print_banner();
    std::fflush(stdout);
    file_slots[SLOT_REPORT].name = read_word();
    open_file_slots();

    std::printf("\n ref 1 \n\n");
    pass_natural_frequencies();
    std::printf("\n ref 2 \n\n");
    pass_participation_factors();
    std::printf("\n ref 3 \n\n");
    pass_modal_effective_mass();
    std::printf("\n ref 4 \n\n");
    pass_rigid_body_mass();
    close_file_slots();

    print_output_list();
    std::printf("\n\n press any key to continue \n");
    std::fflush(stdout);
    wait_for_key();
    return file_error_seen ? 1 : 0;
}
