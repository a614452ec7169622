// The classic way to find the four sections of an .f06 report, kept as a
// baseline for timing f06modes: fgets into a 200-byte line, strstr for the
// heading, the same line limits and rewinds as the program. It only searches
// and prints where each heading stands (counted in fgets reads).
//
//   classic REPORT

#include <cstdio>
#include <cstring>

namespace {

char line[200];
long lines_read = 0;

// Reads up to limit lines; returns the read count of the line that holds
// marker, or 0 when the limit or the end of the report came first.
long search(FILE *report, const char *marker, long limit) {
    for (long i = 0; i < limit; ++i) {
        if (fgets(line, 200, report) == NULL)
            return 0;
        ++lines_read;
        if (strstr(line, marker) != NULL)
            return lines_read;
    }
    return 0;
}

void print_found(const char *what, long at) {
    if (at != 0)
        printf("%-32s line %ld\n", what, at);
    else
        printf("%-32s not found\n", what);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: classic REPORT\n");
        return 2;
    }
    FILE *report = fopen(argv[1], "rb");
    if (report == NULL) {
        fprintf(stderr, " Failed to open file: %s \n", argv[1]);
        return 1;
    }

    print_found("R E A L   E I G E N V A L U E S", search(report, "R E A L   E I G E N V A L U E S", 10000000));

    print_found("MODAL PARTICIPATION FACTORS", search(report, "MODAL PARTICIPATION FACTORS", 1000000));
    rewind(report);
    lines_read = 0;

    print_found("MODAL EFFECTIVE", search(report, "MODAL EFFECTIVE", 10000000));
    rewind(report);
    lines_read = 0;

    print_found("X-C.G.", search(report, "X-C.G.", 2000000));
    fclose(report);
    return 0;
}
