// Limits at scale: heading searches on exactly their last allowed line and one
// line later, in reports of millions of lines; the table line bound counted
// in pieces of long lines; and a report of more than 4 GiB. Each report is
// generated here and the console and all seven output files are compared byte
// for byte with what the passes must print and write.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_program.h"

// GCC 12 reports a false -Wrestrict on a string literal + std::string
// (GCC bug 105329).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

namespace fs = std::filesystem;

namespace {

/* ------------------------------------------------------------ harness ---- */

const std::string REPORT_NAME = "big.f06";

// Runs f06modes on the report REPORT_NAME in dir; compares the status, the
// console and the seven output files.
void expect_run(const WorkDir &dir, const PassOutputs &expected) {
    const RunResult run = run_f06modes(dir.path(), REPORT_NAME + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(same_bytes(run.console, expected_console(REPORT_NAME, expected))) << "console";
    expect_output_files(dir, expected);
}

void expect_run(const std::string &report, const PassOutputs &expected) {
    WorkDir dir;
    dir.write(REPORT_NAME, report);
    expect_run(dir, expected);
}

// Writes a report in large blocks.
class ReportWriter {
public:
    explicit ReportWriter(const fs::path &file) : out_(std::fopen(file.c_str(), "wb")) {
        if (out_ == nullptr)
            throw std::runtime_error("cannot create " + file.string());
    }
    ~ReportWriter() { finish(); }
    ReportWriter(const ReportWriter &) = delete;
    ReportWriter &operator=(const ReportWriter &) = delete;

    void add(const std::string &bytes) { std::fwrite(bytes.data(), 1, bytes.size(), out_); }

    // count copies of text, written a megabyte or so at a time.
    void repeat(const std::string &text, long count) {
        const long per_chunk = std::max<long>(1, (1L << 20) / static_cast<long>(text.size()));
        std::string chunk;
        for (long n = 0; n < std::min(per_chunk, count); ++n)
            chunk += text;
        for (; count >= per_chunk; count -= per_chunk)
            add(chunk);
        add(chunk.substr(0, static_cast<std::size_t>(count) * text.size()));
    }

    void finish() {
        if (out_ != nullptr)
            std::fclose(out_);
        out_ = nullptr;
    }

private:
    std::FILE *out_;
};

/* ------------------------------------------------- report sections ---- */

const std::string PAGE = "1    MODEL A                        MAY 5, 2021  NX NASTRAN  PAGE    12\n";

const std::string EIGEN_HEADING = "                              R E A L   E I G E N V A L U E S\n";
const std::string EIGEN_COLUMNS = "   MODE    EXTRACTION      EIGENVALUE     RADIANS      CYCLES\n";
const std::string EIGEN_UNITS = "    NO.       ORDER\n";
const std::string EIGEN_ROW_1 =
    "        1         1    3.947842E+01    6.283185E+00    1.000000E+00    1.000000E+00\n";
const std::string EIGEN_ROW_2 =
    "        2         2    1.579137E+02    1.256637E+01    2.000000E+00    1.000000E+00\n";
const std::string EIGEN_TABLE = EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1 + PAGE;
const std::string EIGEN_CONSOLE = "\n " + EIGEN_HEADING + " \n" + "1      1.00 \n";
const std::string EIGEN_FN = "1 \t     1.00 \n";

const std::string PF_HEADING = "                                MODAL PARTICIPATION FACTORS\n";
const std::string COLUMNS = "    MODE     FREQUENCY        T1        T2        T3\n";
const std::string NO_LINE = "     NO.\n";
const std::string PF_SKIPPED = "\n" + COLUMNS + NO_LINE + "\n";
const std::string PF_ROW_1 = "       1    1.000000E+00   -6.435597E+01    1.533390E+00\n";
const std::string PF_TABLE = PF_HEADING + PF_SKIPPED + PF_ROW_1 + PAGE;
const std::string PF_CONSOLE = " " + PF_HEADING + " " + " " + PF_ROW_1 + " ";
const std::string PF_OUT = PF_HEADING + " \n" + PF_ROW_1 + " \n";

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
const std::string MEM_TABLE = MEM_HEAD_LINES + MEM_ROW_1 + PAGE;
const std::string MEM_CONSOLE = " " + MEM_HEADING + " ";
const std::string MEM_OUT = MEM_HEAD_OUT + MEM_ROW_1 + " \n";

const std::string MASS_MARKER = "          MASS AXIS SYSTEM (S)     MASS              X-C.G.\n";
const std::string MASS_X = "                  X            1.000000E+00      0.000000E+00\n";
const std::string MASS_Y = "                  Y            1.000000E+00      0.000000E+00\n";
const std::string MASS_BLOCK = MASS_MARKER + MASS_X + MASS_Y;
const std::string MASS_CONSOLE = " " + MASS_MARKER + " " + " " + MASS_X + " " + " " + MASS_Y + " " +
                                 "\n\n mass =      386.040 lbm\n";
const std::string MASS_OUT =
    MASS_MARKER + " \n" + MASS_X + " \n" + MASS_Y + " \n" + "\n\n mass =      386.040 lbm\n";

/* --------------------------------------------------------- fillers ---- */

// Lines of the mixed filler, none holding a marker. A report line is at most
// 199 bytes, its line end included, so the unit is read as
//   "x\r\n"                      1 report line
//   250 x "y", "\n"              2: 199 bytes, then 51 and the newline
//   198 x "z", "\r\n"            2: 198 and the CR, then the newline alone
//   199 x "w", "\n"              2: 199 bytes, then the newline alone
//   198 x "v", "\n"              1: exactly 199 bytes
//   1000 x "u", "\r\n"           6: five of 199 bytes, then 5, CR and newline
const std::string MIXED_UNIT = "x\r\n" + std::string(250, 'y') + "\n" + std::string(198, 'z') +
                               "\r\n" + std::string(199, 'w') + "\n" + std::string(198, 'v') + "\n" +
                               std::string(1000, 'u') + "\r\n";
constexpr long MIXED_UNIT_LINES = 14;
constexpr long MIXED_UNITS = 4000;

// Exactly count report lines without a marker: short lines; mixed, a block of
// long and CR LF lines at either end of them, the last one right before
// whatever follows.
void add_filler(ReportWriter &report, long count, bool mixed) {
    const long units = mixed ? std::min(MIXED_UNITS, count / (4 * MIXED_UNIT_LINES)) : 0;
    report.repeat(MIXED_UNIT, units);
    report.repeat("x\n", count - 2 * units * MIXED_UNIT_LINES);
    report.repeat(MIXED_UNIT, units);
}

struct LimitCase {
    const char *what;
    bool mixed;     // long and CR LF lines among the filler
    long position;  // the search iteration that reads the heading line
    bool found;
};

std::vector<LimitCase> limit_cases(long limit) {
    return {
        {"on the last allowed search line", false, limit, true},
        {"one search line too far", false, limit + 1, false},
        {"on the last allowed search line, after long and CR LF lines", true, limit, true},
        {"one search line too far, after long and CR LF lines", true, limit + 1, false},
    };
}

/* --------------------------------------------------- heading limits ---- */

// A heading whose next line has no CYCLES takes one search iteration for two
// report lines: the line after it is read without being counted.
TEST(SearchLimits, EigenvalueHeadingWithin10000000SearchLines) {
    const std::string lone_heading = "  R E A L   E I G E N V A L U E S   (NO CYCLES)\n";
    const std::string lone_next = "   RADIANS ONLY\n";
    constexpr long LIMIT = 10'000'000;
    constexpr long BEFORE_LONE = 5'000'000;
    for (const LimitCase &c : limit_cases(LIMIT)) {
        SCOPED_TRACE(c.what);
        WorkDir dir;
        {
            ReportWriter report(dir.path() / REPORT_NAME);
            add_filler(report, BEFORE_LONE, c.mixed);
            report.add(lone_heading + lone_next);
            add_filler(report, c.position - 2 - BEFORE_LONE, c.mixed);
            report.add(EIGEN_TABLE);
        }
        const std::string lone_echo = "\n " + lone_heading + " \n";
        expect_run(dir, c.found ? PassOutputs{.fn_console = lone_echo + EIGEN_CONSOLE, .fn = EIGEN_FN}
                                : PassOutputs{.fn_console = lone_echo});
    }
}

// The participation factor search counts from the line after the one that
// ended the eigenvalue table.
TEST(SearchLimits, ParticipationFactorHeadingWithin1000000SearchLines) {
    for (const LimitCase &c : limit_cases(1'000'000)) {
        SCOPED_TRACE(c.what);
        WorkDir dir;
        {
            ReportWriter report(dir.path() / REPORT_NAME);
            report.add(EIGEN_TABLE);
            add_filler(report, c.position - 1, c.mixed);
            report.add(PF_TABLE);
        }
        PassOutputs expected{.fn_console = EIGEN_CONSOLE, .fn = EIGEN_FN};
        if (c.found) {
            expected.pf_console = PF_CONSOLE;
            expected.pf = PF_OUT;
        }
        expect_run(dir, expected);
    }
}

// The effective mass fraction heading, printed before the mass table, is an
// ordinary search line.
TEST(SearchLimits, EffectiveMassHeadingWithin10000000SearchLines) {
    const std::string fraction = "                          MODAL EFFECTIVE MASS FRACTION\n";
    constexpr long BEFORE_FRACTION = 5'000'000;
    for (const LimitCase &c : limit_cases(10'000'000)) {
        SCOPED_TRACE(c.what);
        WorkDir dir;
        {
            ReportWriter report(dir.path() / REPORT_NAME);
            add_filler(report, BEFORE_FRACTION, c.mixed);
            report.add(fraction);
            add_filler(report, c.position - 2 - BEFORE_FRACTION, c.mixed);
            report.add(MEM_TABLE);
        }
        expect_run(dir, c.found ? PassOutputs{.mem_console = MEM_CONSOLE,
                                              .mem = MEM_OUT,
                                              .fn_mem_386 = MEM_ROW_1_386}
                                : PassOutputs{});
    }
}

TEST(SearchLimits, MassMarkerWithin2000000SearchLines) {
    for (const LimitCase &c : limit_cases(2'000'000)) {
        SCOPED_TRACE(c.what);
        WorkDir dir;
        {
            ReportWriter report(dir.path() / REPORT_NAME);
            add_filler(report, c.position - 1, c.mixed);
            report.add(MASS_BLOCK);
        }
        expect_run(dir, c.found ? PassOutputs{.mass_console = MASS_CONSOLE, .mass = MASS_OUT}
                                : PassOutputs{});
    }
}

/* ------------------------------------------------------ table bound ---- */

// 299 bytes and CR LF: two report lines, the second with the line end.
const std::string LONG_CRLF = std::string(299, 'p') + "\r\n";
const std::string LONG_PIECES_OUT = std::string(199, 'p') + " \n" + std::string(100, 'p') + "\r\n \n";
const std::string LONG_PIECES_CONSOLE =
    " " + std::string(199, 'p') + " " + " " + std::string(100, 'p') + "\r\n ";

// A physical line whose first 199 bytes are the 501st table line; the rest,
// a table line of its own, would be the 502nd.
const std::string SPLIT_ROW_HEAD =
    "     501    5.000000E+00    1.000000E+00    1.000000E+00    1.000000E+00    1.000000E+00    "
    "1.000000E+00    1.000000E+00";
const std::string SPLIT_ROW_FIRST = SPLIT_ROW_HEAD + std::string(199 - SPLIT_ROW_HEAD.size(), ' ');
const std::string SPLIT_ROW =
    SPLIT_ROW_FIRST +
    "     502    5.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00\n";
const std::string ROW_501_386 =
    "501 \t     5.00 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \n";

std::string short_line(int n) {
    return "   line " + std::to_string(n) + "\n";
}

TEST(TableBound, ParticipationFactorLinesAreCountedInPiecesOfLongLines) {
    PassOutputs pieces{.fn_console = EIGEN_CONSOLE,
                       .fn = EIGEN_FN,
                       .pf_console = " " + PF_HEADING + " ",
                       .pf = PF_HEADING + " \n"};
    PassOutputs split_last = pieces;

    // 250 long lines make 500 table lines; the 501st is short.
    std::string report = EIGEN_TABLE + PF_HEADING + PF_SKIPPED;
    for (int n = 0; n < 250; ++n) {
        report += LONG_CRLF;
        pieces.pf += LONG_PIECES_OUT;
        pieces.pf_console += LONG_PIECES_CONSOLE;
    }
    report += short_line(501) + short_line(502) + PAGE;
    pieces.pf += short_line(501) + " \n";
    pieces.pf_console += " " + short_line(501) + " ";
    {
        SCOPED_TRACE("250 long lines, then the 501st");
        expect_run(report, pieces);
    }

    // 500 short lines; the 501st table line is the first piece of a long one.
    report = EIGEN_TABLE + PF_HEADING + PF_SKIPPED;
    for (int n = 1; n <= 500; ++n) {
        report += short_line(n);
        split_last.pf += short_line(n) + " \n";
        split_last.pf_console += " " + short_line(n) + " ";
    }
    report += SPLIT_ROW + PAGE;
    split_last.pf += SPLIT_ROW_FIRST + " \n";
    split_last.pf_console += " " + SPLIT_ROW_FIRST + " ";
    {
        SCOPED_TRACE("500 short lines, then a long one");
        expect_run(report, split_last);
    }
}

TEST(TableBound, EffectiveMassLinesAreCountedInPiecesOfLongLines) {
    const std::string row_501 =
        "     501    5.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00\n";
    const std::string row_502 =
        "     502    5.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00    2.0E+00\n";
    PassOutputs pieces{.mem_console = MEM_CONSOLE, .mem = MEM_HEAD_OUT, .fn_mem_386 = ROW_501_386};
    PassOutputs split_last = pieces;

    std::string report = MEM_HEAD_LINES;
    for (int n = 0; n < 250; ++n) {
        report += LONG_CRLF;
        pieces.mem += LONG_PIECES_OUT;
    }
    report += row_501 + row_502 + PAGE;
    pieces.mem += row_501 + " \n";
    {
        SCOPED_TRACE("250 long lines, then the 501st");
        expect_run(report, pieces);
    }

    // The row is parsed from its first piece only.
    report = MEM_HEAD_LINES;
    for (int n = 1; n <= 500; ++n) {
        report += short_line(n);
        split_last.mem += short_line(n) + " \n";
    }
    report += SPLIT_ROW + PAGE;
    split_last.mem += SPLIT_ROW_FIRST + " \n";
    {
        SCOPED_TRACE("500 short lines, then a long row");
        expect_run(report, split_last);
    }
}

/* --------------------------------------------- more than 4 GiB ---- */

constexpr off_t FAR_OFFSET = (off_t{4} << 30) + 4096;

// A report of head at the first byte, zero bytes up to FAR_OFFSET and far
// there, made with holes so that it takes almost no disk space. Returns
// false when the file system cannot leave holes.
bool make_sparse_report(const fs::path &file, const std::string &head, const std::string &far) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written =
        ::pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
        ::pwrite(fd, far.data(), far.size(), FAR_OFFSET) == static_cast<ssize_t>(far.size());
    struct stat info {};
    const bool stated = ::fstat(fd, &info) == 0;
    ::close(fd);
    EXPECT_TRUE(written && stated);
    EXPECT_EQ(info.st_size, FAR_OFFSET + static_cast<off_t>(far.size()));
    return info.st_blocks * 512 < (16 << 20);
}

// The zero bytes read as report lines of 199 zero bytes, which are empty to
// every marker test and copy: the eigenvalue table goes on across them (it
// has no line bound), while the other searches run out at their limits,
// all well before 4 GiB.
TEST(HugeReport, TableAcrossFourGibibytesAndSearchesRunningOut) {
    const std::string far_mass =
        MASS_MARKER + MASS_X + "                  Y            9.000000E+00      0.000000E+00\n";
    // The first byte of far ends the last run of zeros as a line of its own.
    const std::string far = "\n" + EIGEN_ROW_2 + PAGE + PF_TABLE + MEM_TABLE + far_mass;
    WorkDir dir;
    const fs::path report = dir.path() / REPORT_NAME;
    if (!make_sparse_report(report, MASS_BLOCK + EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS + EIGEN_ROW_1,
                            far)) {
        fs::remove(report);
        GTEST_SKIP() << "the file system here does not keep holes in files";
    }
    // Rows on either side of 4 GiB; the participation factor table after
    // them; the effective mass search gives up after 10,000,000 lines of
    // zeros; the mass block at the first byte is found after the rewind.
    expect_run(dir, {.fn_console = EIGEN_CONSOLE + "2      2.00 \n",
                     .fn = EIGEN_FN + "2 \t     2.00 \n",
                     .pf_console = PF_CONSOLE,
                     .pf = PF_OUT,
                     .mass_console = MASS_CONSOLE,
                     .mass = MASS_OUT});
    fs::remove(report);
    EXPECT_FALSE(fs::exists(report));
}

TEST(HugeReport, EverySectionBeyondFourGibibytesIsOutOfReach) {
    const std::string far = "\n" + EIGEN_TABLE + PF_TABLE + MEM_TABLE + MASS_BLOCK;
    WorkDir dir;
    const fs::path report = dir.path() / REPORT_NAME;
    if (!make_sparse_report(report, "0  preamble\n", far)) {
        fs::remove(report);
        GTEST_SKIP() << "the file system here does not keep holes in files";
    }
    expect_run(dir, {});
    fs::remove(report);
    EXPECT_FALSE(fs::exists(report));
}

}  // namespace
