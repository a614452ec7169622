// End-to-end tests of the four passes on small hand-made reports: each test
// runs f06modes on a report built here and compares the console and all seven
// output files, byte for byte, with what the passes must print and write.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_program.h"

// GCC 12 reports a false -Wrestrict on a string literal + std::string
// (GCC bug 105329).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

namespace {

/* ------------------------------------------------------------ harness ---- */

const std::string REPORT_NAME = "model.f06";

// Runs f06modes on the report; compares the status, the console and the
// seven output files.
void expect_run(const std::string &report, const PassOutputs &expected) {
    WorkDir dir;
    dir.write(REPORT_NAME, report);
    const RunResult run = run_f06modes(dir.path(), REPORT_NAME + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, expected_console(REPORT_NAME, expected));
    expect_output_files(dir, expected);
}

std::string without_newline(const std::string &line) {
    return line.substr(0, line.size() - 1);
}

// The same text with every line feed preceded by a carriage return.
std::string crlf(const std::string &text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

/* ------------------------------------------------- report sections ---- */

// A page header: it ends every table.
const std::string PAGE =
    "1    MODEL A                        MAY 5, 2021  NX NASTRAN  5/ 5/15   PAGE    12\n";
const std::string SIMCENTER_PAGE =
    "1    MODEL A                        MAY 5, 2021  SIMCENTER NASTRAN 10/ 3/24   PAGE    12\n";

const std::string EIGEN_HEADING = "                              R E A L   E I G E N V A L U E S\n";
const std::string EIGEN_COLUMNS =
    "   MODE    EXTRACTION      EIGENVALUE     RADIANS      CYCLES     GENERALIZED    GENERALIZED\n";
const std::string EIGEN_UNITS =
    "    NO.       ORDER                                                   MASS          STIFFNESS\n";
const std::string EIGEN_ROW_1 =
    "        1         1    3.947842E+01    6.283185E+00    1.000000E+00    1.000000E+00    3.947842E+01\n";
const std::string EIGEN_TABLE = EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1 + PAGE;
const std::string EIGEN_CONSOLE = "\n " + EIGEN_HEADING + " \n" + "1      1.00 \n";
const std::string EIGEN_FN = "1 \t     1.00 \n";

const std::string PF_HEADING = "                                MODAL PARTICIPATION FACTORS\n";
const std::string COLUMNS =
    "    MODE     FREQUENCY        T1        T2        T3        R1        R2        R3\n";
const std::string NO_LINE = "     NO.\n";
const std::string PF_SKIPPED = "\n" + COLUMNS + NO_LINE + "\n";
const std::string PF_ROW_1 =
    "       1    1.000000E+00   -6.435597E+01    1.533390E+00    8.472260E-02   -4.848222E+03\n";
const std::string PF_ROW_2 =
    "       2    2.000000E+00   -1.224934E+00   -5.146723E+01    6.690259E+01    1.402317E+05\n";

const std::string MEM_HEADING = "                                 MODAL EFFECTIVE MASS\n";
// The heading line, two kept heading lines and two dropped lines.
const std::string MEM_HEAD_LINES = MEM_HEADING + "\n" + COLUMNS + NO_LINE + "\n";
// What mem.out holds for those five lines.
const std::string MEM_HEAD_OUT = MEM_HEADING + " \n " + COLUMNS + " ";
const std::string MEM_ROW_1 =
    "       1    1.500000E+00    1.000000E+00    2.000000E+00    5.000000E-01    0.000000E+00   "
    "-2.500000E-01    1.000000E-02\n";
const std::string MEM_ROW_1_386 =
    "1 \t     1.50 \t 386.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n";
const std::string MEM_TOTAL =
    "                  TOTAL       1.000000E+00    2.000000E+00    5.000000E-01    0.000000E+00   "
    "-2.500000E-01    1.000000E-02\n";
const std::string MEM_TOTAL_386 =
    "\n TOTAL \t\t\t 386.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n";
const std::string MEM_TABLE = MEM_HEAD_LINES + MEM_ROW_1 + "\n" + MEM_TOTAL + PAGE;
const std::string MEM_CONSOLE = " " + MEM_HEADING + " ";
const std::string MEM_OUT = MEM_HEAD_OUT + MEM_ROW_1 + " \n" + "\n \n" + MEM_TOTAL + " \n";
const std::string MEM_386 = MEM_ROW_1_386 + MEM_TOTAL_386;

const std::string MASS_MARKER =
    "                          MASS AXIS SYSTEM (S)     MASS              X-C.G.        Y-C.G.        "
    "Z-C.G.\n";
const std::string MASS_X =
    "                                  X            1.000000E+00      0.000000E+00  0.000000E+00  "
    "0.000000E+00\n";
const std::string MASS_Y =
    "                                  Y            1.000000E+00      0.000000E+00  0.000000E+00  "
    "0.000000E+00\n";
const std::string MASS_BLOCK = MASS_MARKER + MASS_X + MASS_Y;
const std::string MASS_LINE_386 = "\n\n mass =      386.040 lbm\n";
const std::string MASS_CONSOLE =
    " " + MASS_MARKER + " " + " " + MASS_X + " " + " " + MASS_Y + " " + MASS_LINE_386;
const std::string MASS_OUT = MASS_MARKER + " \n" + MASS_X + " \n" + MASS_Y + " \n" + MASS_LINE_386;

/* --------------------------------------------- natural frequencies ---- */

TEST(NaturalFrequencyPass, WritesEveryModeRowUpToThePageHeader) {
    const std::string report =
        "0  preamble\n" + EIGEN_HEADING + EIGEN_COLUMNS +
        // The line after the column headings is skipped, whatever it holds.
        "    NO.       ORDER     NX    9.900000E+01\n" + EIGEN_ROW_1 + "\n" + "   ROOTS FOUND 2\n" +
        "       12        12    5.684892E+03    7.539822E+01    1.200000E+01    1.000000E+00    "
        "5.684892E+03\n"
        // No upper-case exponent: not a row.
        "        3         3    4.0e+01    6.3e+00    3.0e+00    1.0e+00    4.0e+01\n"
        "   continued on the next page (nx)\n" +
        PAGE + "        4         4    9.0E+01    9.5E+00    4.0E+00    1.0E+00    9.0E+01\n";
    expect_run(report, {.fn_console = "\n " + EIGEN_HEADING + " \n" + "1      1.00 \n" + "12     12.00 \n",
                        .fn = "1 \t     1.00 \n"
                              "12 \t    12.00 \n"});
}

TEST(NaturalFrequencyPass, FindsNothingWithoutTheExactHeading) {
    const std::string rows = EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1;
    const std::string report = "  R E A L  E I G E N V A L U E S\n" + rows +
                               "  R E A L    E I G E N V A L U E S\n" + rows +
                               "  r e a l   e i g e n v a l u e s\n" + rows + PAGE;
    expect_run(report, {});
}

TEST(NaturalFrequencyPass, HeadingWithoutCyclesLineIsEchoedAndTheSearchGoesOn) {
    const std::string first = "  R E A L   E I G E N V A L U E S   (FIRST)\n";
    // The line after a heading is tested for CYCLES only, not for the heading.
    const std::string second = "  R E A L   E I G E N V A L U E S   (SECOND)\n";
    const std::string third = "  R E A L   E I G E N V A L U E S   (THIRD)\n";
    const std::string report =
        first + second + EIGEN_COLUMNS +
        "        7         7    1.0E+00    1.0E+00    7.0E+00    1.0E+00    1.0E+00\n" + third +
        EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1 + PAGE;
    expect_run(report, {.fn_console = "\n " + first + " \n" + "\n " + third + " \n" + "1      1.00 \n",
                        .fn = EIGEN_FN});
}

TEST(NaturalFrequencyPass, TableEndsAtTheFirstEndMarker) {
    const std::vector<std::string> end_lines = {
        PAGE,
        SIMCENTER_PAGE,
        "1    LYNX WING MODEL                                    PAGE    12\n",
        // An end marker on a numeric row: the row is not parsed.
        "   MAX    2    4.0E+00    2.0E+00    2.0E+00    1.0E+00    4.0E+00\n",
        "        2         2    4.0E+00    2.0E+00    2.0E+00    1.0E+00    4.0E+00   NX\n",
    };
    for (const std::string &end : end_lines) {
        SCOPED_TRACE(end);
        const std::string report =
            EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1 + end +
            "        3         3    9.0E+00    3.0E+00    3.0E+00    1.0E+00    9.0E+00\n" + PAGE;
        expect_run(report, {.fn_console = EIGEN_CONSOLE, .fn = EIGEN_FN});
    }
}

TEST(NaturalFrequencyPass, RowFrequencies) {
    struct Row {
        std::string line, fn, console;
    };
    const std::vector<Row> rows = {
        // No fifth word yet in this run: the empty field gives 0.
        {"        1    1.000000E+00\n", "1 \t     0.00 \n", "1      0.00 \n"},
        {"        2         2    1.2E+01    3.5E+00    5.5E-01    1.0E+00    1.2E+01\n",
         "2 \t     0.55 \n", "2      0.55 \n"},
        // A short row: the fifth word of the row before.
        {"        3    3.000000E+00\n", "3 \t     0.55 \n", "3      0.55 \n"},
        {"        4         4    1.0E+01    1.0E+00    ABC    1.0E+00    1.0E+01\n",
         "4 \t     0.00 \n", "4      0.00 \n"},
        {"        5         5    1.0E+01    1.0E+00    1.5D+02    1.0E+00    1.0E+01\n",
         "5 \t   150.00 \n", "5    150.00 \n"},
        {"        6         6    1.0E+01    1.0E+00    12abc    1.0E+00    1.0E+01\n",
         "6 \t    12.00 \n", "6     12.00 \n"},
        {"        7         7    1.0E+01    1.0E+00    -2.5E+00    1.0E+00    1.0E+01\n",
         "7 \t    -2.50 \n", "7     -2.50 \n"},
        {"        8         8    6.0E+11    7.7E+05    1.234567E+05    1.0E+00    6.0E+11\n",
         "8 \t 123456.70 \n", "8  123456.70 \n"},
        {"        9         9    3.9E+03    6.2E+01    9.996E+00    1.0E+00    3.9E+03\n",
         "9 \t    10.00 \n", "9     10.00 \n"},
        // A word of more than 19 characters keeps its first 19.
        {"   1234567890123456789012   10   1.0E+00   1.0E+00   2.0E+00   1.0E+00   1.0E+00\n",
         "1234567890123456789 \t     2.00 \n", "1234567890123456789      2.00 \n"},
    };
    std::string report = EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS;
    PassOutputs expected{.fn_console = "\n " + EIGEN_HEADING + " \n"};
    for (const Row &row : rows) {
        report += row.line;
        expected.fn += row.fn;
        expected.fn_console += row.console;
    }
    expect_run(report + PAGE, expected);
}

TEST(NaturalFrequencyPass, ReportEndingInsideTheTableKeepsEveryRow) {
    const std::string last_row =
        "        2         2    1.579137E+02    1.256637E+01    2.000000E+00    1.000000E+00    "
        "1.579137E+02";
    const std::string report = EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1 + last_row;
    expect_run(report, {.fn_console = EIGEN_CONSOLE + "2      2.00 \n",
                        .fn = "1 \t     1.00 \n"
                              "2 \t     2.00 \n"});
}

TEST(NaturalFrequencyPass, OnlyTheFirstTableIsUsed) {
    const std::string report =
        EIGEN_TABLE + "\n" + EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS +
        "        9         9    3.2E+03    5.7E+01    9.000000E+00    1.0E+00    3.2E+03\n" + PAGE;
    expect_run(report, {.fn_console = EIGEN_CONSOLE, .fn = EIGEN_FN});
}

/* --------------------------------------------- participation factors ---- */

TEST(ParticipationFactorPass, CopiesTheTableThatFollowsTheEigenvalueTable) {
    const std::string report =
        EIGEN_TABLE + PF_HEADING + "\n" + COLUMNS +
        // One of the four skipped lines holds NX: it does not end the table.
        "     NO.   (NX)\n" + "\n" + PF_ROW_1 + "\n" + PF_ROW_2 +
        // A second heading before the end marker is an ordinary table line.
        PF_HEADING + PAGE + PF_HEADING + PF_SKIPPED +
        "       9    9.000000E+00   -1.0E+00    1.0E+00    1.0E+00    1.0E+00\n" + PAGE;
    expect_run(report,
               {.fn_console = EIGEN_CONSOLE,
                .fn = EIGEN_FN,
                .pf_console = " " + PF_HEADING + " " + " " + PF_ROW_1 + " " + " \n " + " " + PF_ROW_2 +
                              " " + " " + PF_HEADING + " ",
                .pf = PF_HEADING + " \n" + PF_ROW_1 + " \n" + "\n \n" + PF_ROW_2 + " \n" + PF_HEADING +
                      " \n"});
}

TEST(ParticipationFactorPass, FindsNothingUnlessTheHeadingFollowsTheEigenvalueTable) {
    struct Case {
        std::string name, report, fn_console, fn;
    };
    const std::string pf_table = PF_HEADING + PF_SKIPPED + PF_ROW_1 + PAGE;
    const std::vector<Case> cases = {
        {"table before the eigenvalue table", pf_table + EIGEN_TABLE, EIGEN_CONSOLE, EIGEN_FN},
        {"no eigenvalue table", pf_table, "", ""},
        {"no exact heading",
         EIGEN_TABLE + "   MODAL PARTICIPATION FACTOR\n" + "   modal participation factors\n" +
             PF_SKIPPED + PF_ROW_1 + PAGE,
         EIGEN_CONSOLE, EIGEN_FN},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expect_run(c.report, {.fn_console = c.fn_console, .fn = c.fn});
    }
}

TEST(ParticipationFactorPass, TableEndsAtTheFirstEndMarker) {
    const std::string lower = "   continued (nx)\n";
    const std::vector<std::string> end_lines = {
        PAGE,
        SIMCENTER_PAGE,
        "       2    LYNX    2.000000E+00\n",
    };
    for (const std::string &end : end_lines) {
        SCOPED_TRACE(end);
        const std::string report =
            EIGEN_TABLE + PF_HEADING + PF_SKIPPED + PF_ROW_1 + lower + end + PF_ROW_2 + PAGE;
        expect_run(report, {.fn_console = EIGEN_CONSOLE,
                            .fn = EIGEN_FN,
                            .pf_console = " " + PF_HEADING + " " + " " + PF_ROW_1 + " " + " " + lower + " ",
                            .pf = PF_HEADING + " \n" + PF_ROW_1 + " \n" + lower + " \n"});
    }
}

TEST(ParticipationFactorPass, CopiesAtMost501TableLines) {
    std::string report = EIGEN_TABLE + PF_HEADING + PF_SKIPPED;
    PassOutputs expected{.fn_console = EIGEN_CONSOLE,
                         .fn = EIGEN_FN,
                         .pf_console = " " + PF_HEADING + " ",
                         .pf = PF_HEADING + " \n"};
    for (int n = 1; n <= 502; ++n) {
        const std::string line = "   line " + std::to_string(n) + "\n";
        report += line;
        if (n <= 501) {
            expected.pf += line + " \n";
            expected.pf_console += " " + line + " ";
        }
    }
    expect_run(report + PAGE, expected);
}

TEST(ParticipationFactorPass, LongLinesAreCopiedInPiecesOf199Bytes) {
    // 250 blanks and a newline: two report lines, both among the four skipped.
    const std::string long_blank = std::string(250, ' ') + "\n";
    // "NX" split between two pieces is not seen.
    const std::string dashes = std::string(198, '-');
    const std::string report = EIGEN_TABLE + PF_HEADING + long_blank + COLUMNS + NO_LINE + "\n" +
                               dashes + "NX  T1\n" + PF_ROW_1 + PAGE;
    expect_run(report,
               {.fn_console = EIGEN_CONSOLE,
                .fn = EIGEN_FN,
                .pf_console = " " + PF_HEADING + " " + " \n " + " " + dashes + "N" + " " + " X  T1\n " +
                              " " + PF_ROW_1 + " ",
                .pf = PF_HEADING + " \n" + "\n \n" + dashes + "N \n" + "X  T1\n \n" + PF_ROW_1 + " \n"});
}

TEST(ParticipationFactorPass, ReportEndingInsideTheTableIsCopiedAndRewound) {
    // The effective mass table stands first: it is found only after a rewind.
    const std::string last = without_newline(PF_ROW_2);
    const std::string report = MEM_TABLE + EIGEN_TABLE + PF_HEADING + PF_SKIPPED + PF_ROW_1 + last;
    expect_run(report, {.fn_console = EIGEN_CONSOLE,
                        .fn = EIGEN_FN,
                        .pf_console = " " + PF_HEADING + " " + " " + PF_ROW_1 + " " + " " + last + " ",
                        .pf = PF_HEADING + " \n" + PF_ROW_1 + " \n" + last + " \n",
                        .mem_console = MEM_CONSOLE,
                        .mem = MEM_OUT,
                        .fn_mem_386 = MEM_386});
}

/* ---------------------------------------------- modal effective mass ---- */

TEST(ModalEffectiveMassPass, CopiesTheTableAndScalesItsRows) {
    const std::string row_12 =
        "      12    1.234500E+03   -4.000000E+00    1.000000E-01    1.000000E+01    2.000000E+00    "
        "3.000000E+00    4.000000E+00\n";
    // A lower-case exponent is no row marker: copied, no row.
    const std::string lower =
        "       3    3.000000e+00    1.000000e+00    1.000000e+00    1.000000e+00    1.000000e+00    "
        "1.000000e+00    1.000000e+00\n";
    const std::string report = "0  preamble\n" + MEM_HEAD_LINES + MEM_ROW_1 + row_12 + lower + "\n" +
                               MEM_TOTAL + "\n" + PAGE +
                               "       4    4.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    "
                               "1.0E+00    1.0E+00\n";
    expect_run(report,
               {.mem_console = MEM_CONSOLE,
                .mem = MEM_HEAD_OUT + MEM_ROW_1 + " \n" + row_12 + " \n" + lower + " \n" + "\n \n" +
                       MEM_TOTAL + " \n" + "\n \n",
                // The total row holds E+ too: it gives its total line only.
                .fn_mem_386 = MEM_ROW_1_386 +
                              "12 \t  1234.50 \t -1544.0000 \t  38.6000 \t 3860.0000 \t 772.0000 \t "
                              "1158.0000 \t 1544.0000 \n" +
                              MEM_TOTAL_386});
}

TEST(ModalEffectiveMassPass, HeadingLinesAreNeverRowsNorEndTheTable) {
    const std::string heading = "        MODAL EFFECTIVE MASS    TOTAL 9.0E+00  NX\n";
    const std::string kept_1 = "   TOTAL 8.0E+00  NX\n";
    const std::string kept_2 = "   5  5.0E+00  1.0E+00  1.0E+00  1.0E+00  1.0E+00  1.0E+00  1.0E+00  NX\n";
    const std::string report = heading + kept_1 + kept_2 + "   TOTAL 7.0E+00  NX\n" +
                               "   6  6.0E-01  1.0E-01  1.0E-01  1.0E-01  1.0E-01  1.0E-01  1.0E-01  NX\n" +
                               MEM_ROW_1 + PAGE;
    expect_run(report, {.mem_console = " " + heading + " ",
                        .mem = heading + " " + kept_1 + " " + kept_2 + " " + MEM_ROW_1 + " \n",
                        .fn_mem_386 = MEM_ROW_1_386});
}

TEST(ModalEffectiveMassPass, UsesTheFirstHeadingThatIsNotTheFractionTable) {
    const std::string fraction_table =
        "                            MODAL EFFECTIVE MASS FRACTION\n" + PF_SKIPPED +
        "       1    1.500000E+00    9.000000E-01    1.0E-01    1.0E-01    1.0E-01    1.0E-01    "
        "1.0E-01\n" +
        PAGE;
    const std::string weight_table =
        "                            MODAL EFFECTIVE WEIGHT\n" + PF_SKIPPED +
        "       1    1.500000E+00    3.860000E+02    1.0E+00    1.0E+00    1.0E+00    1.0E+00    "
        "1.0E+00\n" +
        PAGE;
    const std::string report =
        fraction_table + "   modal effective mass\n" + MEM_TABLE + weight_table;
    expect_run(report, {.mem_console = MEM_CONSOLE, .mem = MEM_OUT, .fn_mem_386 = MEM_386});
}

TEST(ModalEffectiveMassPass, TableEndsAtTheFirstEndMarkerAfterWritingItsRow) {
    struct Case {
        std::string end_line, row_386;
    };
    const std::vector<Case> cases = {
        {PAGE, ""},
        {SIMCENTER_PAGE, ""},
        {"                  TOTAL       1.000000E+00    1.000000E+00    1.000000E+00    1.000000E+00    "
         "1.000000E+00    1.000000E+00   NX\n",
         "\n TOTAL \t\t\t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \n"},
        {"       2    2.500000E+00    1.000000E+00    1.000000E+00    1.000000E+00    1.000000E+00    "
         "1.000000E+00    1.000000E+00   NX\n",
         "2 \t     2.50 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.end_line);
        const std::string report =
            MEM_HEAD_LINES + MEM_ROW_1 + c.end_line +
            "       5    5.0E+00    5.0E+00    5.0E+00    5.0E+00    5.0E+00    5.0E+00    5.0E+00\n" +
            PAGE;
        expect_run(report, {.mem_console = MEM_CONSOLE,
                            .mem = MEM_HEAD_OUT + MEM_ROW_1 + " \n",
                            .fn_mem_386 = MEM_ROW_1_386 + c.row_386});
    }
}

// A value that a row's parse does not supply is written as held: scaled once,
// when a row supplied it, and never again.
TEST(ModalEffectiveMassPass, RowsThatFailToParseRepeatTheHeldValues) {
    struct Row {
        std::string line, row_386;
    };
    const std::string zero =
        "0 \t     0.00 \t   0.0000 \t   0.0000 \t   0.0000 \t   0.0000 \t   0.0000 \t   0.0000 \n";
    const std::vector<Row> rows = {
        {"   NOTE  E-  the held row starts at zero\n", zero},
        {MEM_ROW_1, MEM_ROW_1_386},
        {"   NOTE  E-\n", MEM_ROW_1_386},
        {"   NOTE  E-\n", MEM_ROW_1_386},
        {"       2    2.500000E+00    3.000000E+00\n",
         "2 \t     2.50 \t 1158.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n"},
        {"       3    3.500000E+00    4.000000E+00    n/a    2.0E+00    2.0E+00    2.0E+00    2.0E+00\n",
         "3 \t     3.50 \t 1544.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n"},
        {"   SUM OF TOTAL    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00\n",
         "\n SUM \t\t\t 1544.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n"},
        {"   TOTAL    5.000000E-01\n",
         "\n TOTAL \t\t\t 193.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n"},
        {"   X  E+\n",
         "3 \t     3.50 \t 193.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n"},
        // A mode number beyond 32 bits is clamped.
        {"   99999999999    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00\n",
         "2147483647 \t     1.00 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \n"},
    };
    std::string report = MEM_HEAD_LINES;
    PassOutputs expected{.mem_console = MEM_CONSOLE, .mem = MEM_HEAD_OUT};
    for (const Row &row : rows) {
        report += row.line;
        expected.mem += row.line + " \n";
        expected.fn_mem_386 += row.row_386;
    }
    expect_run(report + PAGE, expected);
}

TEST(ModalEffectiveMassPass, ReadsAtMost501TableLines) {
    const std::string row_501 =
        "     501    5.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00\n";
    const std::string row_502 =
        "     502    5.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00\n";
    std::string report = MEM_HEAD_LINES;
    PassOutputs expected{
        .mem_console = MEM_CONSOLE,
        .mem = MEM_HEAD_OUT,
        .fn_mem_386 =
            "501 \t     5.00 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \n"};
    for (int n = 1; n <= 500; ++n) {
        const std::string line = "   line " + std::to_string(n) + "\n";
        report += line;
        expected.mem += line + " \n";
    }
    expected.mem += row_501 + " \n";
    expect_run(report + row_501 + row_502 + PAGE, expected);
}

TEST(ModalEffectiveMassPass, EmptyTableLeavesTheHeadingLinesWithoutANewline) {
    const std::string report = MEM_HEAD_LINES + PAGE + MEM_ROW_1 + PAGE;
    expect_run(report, {.mem_console = MEM_CONSOLE, .mem = MEM_HEAD_OUT});
}

TEST(ModalEffectiveMassPass, HeadingOnTheLastLineIsCopiedThreeTimes) {
    // The kept-line reads meet the end of the report and leave the heading in
    // the line buffer. The mass block before it is found after the rewind.
    const std::string heading = "   MODAL EFFECTIVE MASS";
    expect_run(MASS_BLOCK + heading,
               {.mem_console = " " + heading + " ",
                .mem = heading + " " + heading + " " + heading + " ",
                .mass_console = MASS_CONSOLE,
                .mass = MASS_OUT});
}

TEST(ModalEffectiveMassPass, ReportEndingInsideTheTableKeepsEveryRow) {
    const std::string last =
        "       2    2.500000E+00    1.000000E+00    1.000000E+00    1.000000E+00    1.000000E+00    "
        "1.000000E+00    1.000000E+00";
    expect_run(MEM_HEAD_LINES + MEM_ROW_1 + last,
               {.mem_console = MEM_CONSOLE,
                .mem = MEM_HEAD_OUT + MEM_ROW_1 + " \n" + last + " \n",
                .fn_mem_386 = MEM_ROW_1_386 +
                              "2 \t     2.50 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 "
                              "\t 386.0000 \n"});
}

/* -------------------------------------------------- rigid-body mass ---- */

TEST(RigidBodyMassPass, MassIsTheSecondWordOfTheThirdLineTimes386_04) {
    struct Case {
        std::string third_line, mass;
    };
    const std::vector<Case> cases = {
        {MASS_Y, "     386.040"},
        {"   Y   0.0\n", "       0.000"},
        {"   Y   -2.0E+00\n", "    -772.080"},
        {"   Y   2.5E+07\n", "9651000000.000"},
        // Too few words: the earlier passes' words are not used.
        {"   Y\n", "       0.000"},
        {"\n", "       0.000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.third_line);
        const std::string mass_line = "\n\n mass = " + c.mass + " lbm\n";
        expect_run(EIGEN_TABLE + MEM_TABLE + MASS_MARKER + MASS_X + c.third_line,
                   {.fn_console = EIGEN_CONSOLE,
                    .fn = EIGEN_FN,
                    .mem_console = MEM_CONSOLE,
                    .mem = MEM_OUT,
                    .fn_mem_386 = MEM_386,
                    .mass_console = " " + MASS_MARKER + " " + " " + MASS_X + " " + " " + c.third_line +
                                    " " + mass_line,
                    .mass = MASS_MARKER + " \n" + MASS_X + " \n" + c.third_line + " \n" + mass_line});
    }
}

TEST(RigidBodyMassPass, MarkerOnTheLastLineIsCopiedThreeTimes) {
    for (const std::string marker : {"   MASS   2.0E+00   X-C.G.\n", "   MASS   2.0E+00   X-C.G."}) {
        SCOPED_TRACE(marker);
        const std::string echo = " " + marker + " ";
        const std::string copy = marker + " \n";
        const std::string mass_line = "\n\n mass =      772.080 lbm\n";
        expect_run("0  preamble\n" + marker, {.mass_console = echo + echo + echo + mass_line,
                                              .mass = copy + copy + copy + mass_line});
    }
}

TEST(RigidBodyMassPass, MarkerOnTheNextToLastLineParsesTheLastLineTwice) {
    const std::string last = "   X   3.0E+00\n";
    const std::string mass_line = "\n\n mass =     1158.120 lbm\n";
    expect_run(MASS_MARKER + last,
               {.mass_console = " " + MASS_MARKER + " " + " " + last + " " + " " + last + " " + mass_line,
                .mass = MASS_MARKER + " \n" + last + " \n" + last + " \n" + mass_line});
}

TEST(RigidBodyMassPass, OnlyTheFirstMarkerCounts) {
    const std::string second = "                          X-C.G. ALSO HERE   5.0E+00\n";
    const std::string report =
        MASS_MARKER + second + MASS_Y + MASS_MARKER + MASS_X + "   Y   9.0E+00\n";
    expect_run(report,
               {.mass_console = " " + MASS_MARKER + " " + " " + second + " " + " " + MASS_Y + " " +
                                MASS_LINE_386,
                .mass = MASS_MARKER + " \n" + second + " \n" + MASS_Y + " \n" + MASS_LINE_386});
}

TEST(RigidBodyMassPass, FindsNothingWithoutTheExactMarker) {
    expect_run("   MASS   x-c.g.   1.0E+00\n   MASS   X-C.G   1.0E+00\n" + MASS_X + MASS_Y, {});
}

/* ------------------------------------------------------ whole report ---- */

TEST(AllPasses, EmptyReportGivesEmptyOutputs) {
    expect_run("", {});
}

// The mass block and the effective mass table stand before the eigenvalue
// table: both passes read from the first byte. Lines ending in CR LF keep
// their carriage return wherever they are copied or echoed.
TEST(AllPasses, EachPassFindsItsSectionWithEitherLineEnd) {
    for (const bool with_cr : {false, true}) {
        SCOPED_TRACE(with_cr ? "CR LF" : "LF");
        const auto end = [with_cr](const std::string &lines) { return with_cr ? crlf(lines) : lines; };
        const std::string report = end(MASS_BLOCK + MEM_TABLE + EIGEN_TABLE + PF_HEADING + PF_SKIPPED +
                                       PF_ROW_1 + PF_ROW_2 + PAGE);
        const std::string mass_line = "\n\n mass =      386.040 lbm\n";
        expect_run(
            report,
            {.fn_console = "\n " + end(EIGEN_HEADING) + " \n" + "1      1.00 \n",
             .fn = EIGEN_FN,
             .pf_console = " " + end(PF_HEADING) + " " + " " + end(PF_ROW_1) + " " + " " +
                           end(PF_ROW_2) + " ",
             .pf = end(PF_HEADING) + " \n" + end(PF_ROW_1) + " \n" + end(PF_ROW_2) + " \n",
             .mem_console = " " + end(MEM_HEADING) + " ",
             .mem = end(MEM_HEADING) + " " + end("\n") + " " + end(COLUMNS) + " " + end(MEM_ROW_1) + " \n" +
                    end("\n") + " \n" + end(MEM_TOTAL) + " \n",
             .fn_mem_386 = MEM_386,
             .mass_console = " " + end(MASS_MARKER) + " " + " " + end(MASS_X) + " " + " " + end(MASS_Y) +
                             " " + mass_line,
             .mass = end(MASS_MARKER) + " \n" + end(MASS_X) + " \n" + end(MASS_Y) + " \n" + mass_line});
    }
}

}  // namespace
