// End-to-end runs on printed reports of real Nastran runs: every report runs
// to completion, and two of them give exactly the outputs frozen under
// tests/golden/<report stem>/.

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "run_program.h"

namespace {

namespace fs = std::filesystem;

// Named as users of the platform name it (on Windows: drive letter, backslashes).
// The reports stand beside the checkout (shared/reports/real), where CI
// puts them; a clone without them skips these tests.
#define SKIP_WITHOUT_REAL_REPORTS()                                                  \
    if (!fs::is_directory(REAL_REPORTS))                                             \
    GTEST_SKIP() << "no real reports in " REAL_REPORTS

std::string report_path(const std::string &name) {
    return std::string(REAL_REPORTS) + static_cast<char>(fs::path::preferred_separator) + name;
}

std::string stem_of(const std::string &name) {
    return fs::path(name).stem().string();
}

std::size_t line_count(const std::string &bytes) {
    return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

bool ends_with(const std::string &bytes, const std::string &tail) {
    return bytes.size() >= tail.size() &&
           bytes.compare(bytes.size() - tail.size(), tail.size(), tail) == 0;
}

/* ------------------------------------------------- every report runs ---- */

struct RealReport {
    const char *name;
    std::size_t fn_rows;    // lines of fn.out
    const char *mass_line;  // last line of mass.out; "" when it stays empty
};

// fn.out ends at the first page header naming NX or SIMCENTER; the MSC
// report's headers name neither, so its table runs on into the resultant
// tables that follow, up to a line holding "MAX".
const RealReport REAL_REPORT_TABLE[] = {
    {"nx10_sol103_meffmass_250modes_crlf.f06", 50, " mass =  2772231.992 lbm\n"},
    {"nx51_sol103_folding_wing_gpwg.f06", 35, " mass =     3894.290 lbm\n"},
    {"simcenter2412_semodes_givens_eigen_only.f06", 21, ""},
    {"nx_eigen_fragment_tiny.f06", 2, ""},
    {"msc2019_sol103_tenbar_gpwg_crlf.f06", 73, " mass =     7995.649 lbm\n"},
};

// Names the report in test listings.
void PrintTo(const RealReport &report, std::ostream *out) {
    *out << report.name;
}

// The parts of a completed run that hold for any report.
void expect_completed_run(const std::string &path, const WorkDir &dir, const RunResult &run) {
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.console.starts_with(text_file(console_before_passes(path))));
    EXPECT_TRUE(ends_with(run.console, text_file(console_after_passes())));
    for (const char *name : OUTPUT_NAMES)
        EXPECT_TRUE(fs::is_regular_file(dir.path() / name)) << name;
}

class EveryReport : public testing::TestWithParam<RealReport> {};

TEST_P(EveryReport, RunsToCompletion) {
    SKIP_WITHOUT_REAL_REPORTS();
    const RealReport &report = GetParam();
    const std::string path = report_path(report.name);
    WorkDir dir;
    const RunResult run = run_f06modes(dir.path(), path + "\n");

    expect_completed_run(path, dir, run);
    EXPECT_EQ(line_count(file_bytes(dir.path() / "fn.out")), report.fn_rows);
    const std::string mass = file_bytes(dir.path() / "mass.out");
    if (*report.mass_line == '\0') {
        EXPECT_EQ(mass, "");
    } else {
        EXPECT_TRUE(ends_with(mass, text_file(std::string("\n\n") + report.mass_line))) << mass;
    }
}

INSTANTIATE_TEST_SUITE_P(RealReports, EveryReport, testing::ValuesIn(REAL_REPORT_TABLE),
                         [](const testing::TestParamInfo<RealReport> &info) {
                             return stem_of(info.param.name);
                         });

// Reports added to the folder later, which the table does not know yet.
TEST(RealReports, UnlistedReportsRunToCompletion) {
    SKIP_WITHOUT_REAL_REPORTS();
    for (const fs::directory_entry &entry : fs::directory_iterator(REAL_REPORTS)) {
        const std::string name = entry.path().filename().string();
        const bool listed = std::any_of(std::begin(REAL_REPORT_TABLE), std::end(REAL_REPORT_TABLE),
                                        [&name](const RealReport &r) { return name == r.name; });
        if (entry.path().extension() != ".f06" || listed)
            continue;
        SCOPED_TRACE(name);
        WorkDir dir;
        const RunResult run = run_f06modes(dir.path(), entry.path().string() + "\n");
        expect_completed_run(entry.path().string(), dir, run);
    }
}

/* ----------------------------------------------------- golden outputs ---- */

// The golden console.txt holds what the passes print: everything between the
// progress lines of the opening and the output list, which name the report
// by its path. The golden files hold the text as written with "\n" line ends.
const fs::path GOLDEN_DIR = GOLDEN;

class GoldenReport : public testing::TestWithParam<const char *> {};

TEST_P(GoldenReport, OutputsMatchByteForByte) {
    SKIP_WITHOUT_REAL_REPORTS();
    const std::string name = GetParam();
    const std::string path = report_path(name);
    const fs::path golden = GOLDEN_DIR / stem_of(name);
    ASSERT_TRUE(fs::is_directory(golden)) << golden;
    WorkDir dir;
    const RunResult run = run_f06modes(dir.path(), path + "\n");

    EXPECT_EQ(run.status, 0);
    const std::string console = console_before_passes(path) +
                                file_bytes(golden / "console.txt") + console_after_passes();
    EXPECT_TRUE(same_bytes(run.console, text_file(console))) << "console";
    for (const char *output : OUTPUT_NAMES)
        EXPECT_TRUE(same_bytes(file_bytes(dir.path() / output),
                               text_file(file_bytes(golden / output))))
            << output;
}

// The NX 10 report has CR LF line ends and prints two effective mass fraction
// tables before the effective mass table, whose TOTAL row stands on its fifth
// page, after the first page header has ended the table. The Simcenter
// report's page headers never say "NX".
INSTANTIATE_TEST_SUITE_P(RealReports, GoldenReport,
                         testing::Values("nx10_sol103_meffmass_250modes_crlf.f06",
                                         "simcenter2412_semodes_givens_eigen_only.f06"),
                         [](const testing::TestParamInfo<const char *> &info) {
                             return stem_of(info.param);
                         });

}  // namespace
