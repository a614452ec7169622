// Hostile inputs and environments end to end: binary reports, one line of
// 50 MB, zero bytes and bytes above 0x7F in lines, names with control and
// non-ASCII bytes, no standard input, standard output closed or a pipe whose
// reader goes away. Every run must leave everything in its working directory
// but the seven outputs exactly as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
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
using namespace std::string_literals;

namespace {

/* ---------------------------------------------------- surroundings ---- */

bool is_output(const fs::path &relative) {
    for (const char *name : OUTPUT_NAMES)
        if (relative == name)
            return true;
    return false;
}

// The bytes of a file, read in one go.
std::string whole_file(const fs::path &file) {
    std::string bytes(fs::file_size(file), '\0');
    std::FILE *in = std::fopen(file.c_str(), "rb");
    EXPECT_NE(in, nullptr) << file;
    if (in != nullptr) {
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
        std::fclose(in);
    }
    return bytes;
}

// Everything in the directory but the seven outputs: for each entry its
// inode, mode, size, modification time, and its bytes or link target.
std::map<std::string, std::string> surroundings(const fs::path &dir) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(dir)) {
        const fs::path relative = entry.path().lexically_relative(dir);
        if (is_output(relative))
            continue;
        struct stat info {};
        EXPECT_EQ(::lstat(entry.path().c_str(), &info), 0) << relative;
        std::string description = std::to_string(info.st_ino) + " " + std::to_string(info.st_mode) +
                                  " " + std::to_string(info.st_size) + " " +
                                  std::to_string(info.st_mtim.tv_sec) + "." +
                                  std::to_string(info.st_mtim.tv_nsec);
        if (S_ISLNK(info.st_mode))
            description += " -> " + fs::read_symlink(entry.path()).string();
        else if (S_ISREG(info.st_mode))
            description += " " + whole_file(entry.path());
        entries[relative.string()] = description;
    }
    return entries;
}

// Files a user may keep beside a report: none of them is any run's business.
void add_bystanders(const WorkDir &dir) {
    dir.write("notes.txt", "model A, run 3\n");
    dir.write("fn.out.bak", "1 \t     9.99 \n");
    fs::create_directory(dir.path() / "old");
    dir.write("old/fn.out", "1 \t     8.88 \n");
    fs::create_symlink("notes.txt", dir.path() / "latest");
}

/* -------------------------------------------------- child set-ups ---- */

enum class Input { Piped, Closed, Directory };
enum class Output { Piped, Closed, ClosedWithErrors, ReaderGone, ReaderLeavesEarly };

struct ChildEnd {
    bool exited = false;  // ended through exit, not by a signal
    int status = -1;
    int signal = 0;
    std::string console;  // what was read of standard output
};

// In the child: standard input and output as asked, then f06modes in dir.
// SIGPIPE is set back to its default: the test runner ignores it, and an
// ignored signal stays ignored across exec.
[[noreturn]] void exec_f06modes(const fs::path &dir, Input in, Output out, const int to_child[2],
                                const int from_child[2]) {
    setsid();
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (in == Input::Piped) {
        dup2(to_child[0], STDIN_FILENO);
    } else if (in == Input::Directory) {
        const int folder = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        dup2(folder, STDIN_FILENO);
        close(folder);
    } else {
        close(STDIN_FILENO);
    }
    if (out == Output::Closed || out == Output::ClosedWithErrors)
        close(STDOUT_FILENO);
    else
        dup2(from_child[1], STDOUT_FILENO);
    if (out == Output::ClosedWithErrors)
        close(STDERR_FILENO);
    for (const int fd : {to_child[0], to_child[1], from_child[0], from_child[1]})
        if (fd > STDERR_FILENO)
            close(fd);
    if (chdir(dir.c_str()) == 0)
        execl(F06MODES, F06MODES, static_cast<char *>(nullptr));
    _exit(127);
}

// Runs f06modes in dir like run_f06modes, with standard input and output set
// up as asked. ReaderGone closes the reading end of the output pipe before
// the program writes anything; ReaderLeavesEarly reads once, as head -1 does,
// then closes it.
ChildEnd run_with(const fs::path &dir, const std::string &input, Input in, Output out) {
    std::signal(SIGPIPE, SIG_IGN);
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0)
        exec_f06modes(dir, in, out, to_child, from_child);
    close(to_child[0]);
    close(from_child[1]);
    bool reading = true;
    if (out == Output::ReaderGone) {
        close(from_child[0]);
        reading = false;
    }
    send_and_close(to_child[1], input);

    ChildEnd end;
    char buffer[65536];
    for (ssize_t n; reading && (n = ::read(from_child[0], buffer, sizeof buffer)) > 0;) {
        end.console.append(buffer, static_cast<std::size_t>(n));
        reading = out != Output::ReaderLeavesEarly;
    }
    if (out != Output::ReaderGone)
        close(from_child[0]);
    int status = 0;
    waitpid(child, &status, 0);
    end.exited = WIFEXITED(status);
    end.status = end.exited ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
}

// A run that must leave everything but the seven outputs untouched.
ChildEnd run_checked(const WorkDir &dir, const std::string &input, Input in = Input::Piped,
                     Output out = Output::Piped) {
    add_bystanders(dir);
    const auto before = surroundings(dir.path());
    const ChildEnd end = run_with(dir.path(), input, in, out);
    const auto after = surroundings(dir.path());
    for (const auto &[name, was] : before) {
        const auto now = after.find(name);
        if (now == after.end())
            ADD_FAILURE() << name << " is gone";
        else
            EXPECT_TRUE(same_bytes(now->second, was)) << name << " changed";
    }
    for (const auto &entry : after)
        EXPECT_TRUE(before.contains(entry.first)) << entry.first << " appeared";
    return end;
}

/* ------------------------------------------------------------ harness ---- */

const std::string REPORT_NAME = "model.f06";

// Runs f06modes on the report under the given name; compares the status, the
// console and the seven output files.
void expect_run(const std::string &report, const PassOutputs &expected,
                const std::string &input = REPORT_NAME + "\n", const std::string &name = REPORT_NAME) {
    WorkDir dir;
    dir.write(name, report);
    const ChildEnd end = run_checked(dir, input);
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0);
    EXPECT_TRUE(same_bytes(end.console, expected_console(name, expected))) << "console";
    expect_output_files(dir, expected);
}

/* ------------------------------------------------- report sections ---- */

const std::string PAGE = "1    MODEL A                        MAY 5, 2021  NX NASTRAN  PAGE    12\n";

const std::string EIGEN_HEADING = "                              R E A L   E I G E N V A L U E S\n";
const std::string EIGEN_COLUMNS = "   MODE    EXTRACTION      EIGENVALUE     RADIANS      CYCLES\n";
const std::string EIGEN_UNITS = "    NO.       ORDER\n";
const std::string EIGEN_ROW_1 =
    "        1         1    3.947842E+01    6.283185E+00    1.000000E+00    1.000000E+00\n";
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
const std::string MEM_ROW_1 =
    "       1    1.500000E+00    1.000000E+00    2.000000E+00    5.000000E-01    0.000000E+00   "
    "-2.500000E-01    1.000000E-02\n";
const std::string MEM_ROW_1_386 =
    "1 \t     1.50 \t 386.0000 \t 772.0000 \t 193.0000 \t   0.0000 \t -96.5000 \t   3.8600 \n";
const std::string MEM_TABLE = MEM_HEADING + "\n" + COLUMNS + NO_LINE + "\n" + MEM_ROW_1 + PAGE;
const std::string MEM_CONSOLE = " " + MEM_HEADING + " ";
const std::string MEM_OUT = MEM_HEADING + " \n " + COLUMNS + " " + MEM_ROW_1 + " \n";

const std::string MASS_MARKER = "          MASS AXIS SYSTEM (S)     MASS              X-C.G.\n";
const std::string MASS_X = "                  X            1.000000E+00      0.000000E+00\n";
const std::string MASS_Y = "                  Y            1.000000E+00      0.000000E+00\n";
const std::string MASS_BLOCK = MASS_MARKER + MASS_X + MASS_Y;
const std::string MASS_LINE_386 = "\n\n mass =      386.040 lbm\n";
const std::string MASS_CONSOLE =
    " " + MASS_MARKER + " " + " " + MASS_X + " " + " " + MASS_Y + " " + MASS_LINE_386;
const std::string MASS_OUT = MASS_MARKER + " \n" + MASS_X + " \n" + MASS_Y + " \n" + MASS_LINE_386;

const char *const HEADING_MARKERS[] = {"R E A L   E I G E N V A L U E S", "MODAL PARTICIPATION FACTORS",
                                       "MODAL EFFECTIVE", "X-C.G."};

/* ---------------------------------------------------- binary reports ---- */

// Random bytes of every value, with zero bytes, 0x1A, carriage returns and
// bytes above 0x7F sure to be among them.
std::string random_bytes(std::mt19937 &random, std::size_t count) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes = "\0\x1a\r\r\n\xff\x80\x7f\x1a\0\x1a"s;
    while (bytes.size() < count)
        bytes += static_cast<char>(byte(random));
    for (const char *marker : HEADING_MARKERS)
        EXPECT_EQ(bytes.find(marker), std::string::npos) << "the random bytes hold " << marker;
    return bytes;
}

// No byte but the newline means anything to a read: a 0x1A does not end the
// report, and a zero byte only hides the rest of its line. Every line of
// random bytes is an ordinary search line or table line.
TEST(HostileReport, BinaryBytesAreOrdinaryLines) {
    std::mt19937 random(20261211);
    struct Case {
        const char *what;
        std::string report;
        PassOutputs expected;
    };
    const std::string garbage_1 = random_bytes(random, 65536);
    const std::string garbage_2 = random_bytes(random, 65536);
    const std::string garbage_3 = random_bytes(random, 65536);
    const std::vector<Case> cases = {
        {"empty", "", {}},
        {"random bytes only", random_bytes(random, 1 << 20), {}},
        {"sections among random bytes",
         garbage_1 + "\x1a\n" + EIGEN_TABLE + garbage_2 + "\x1a\n" + MASS_BLOCK + garbage_3,
         {.fn_console = EIGEN_CONSOLE, .fn = EIGEN_FN, .mass_console = MASS_CONSOLE, .mass = MASS_OUT}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expect_run(c.report, c.expected);
    }
}

// 50,000,000 bytes without a newline are 251,256 report lines of 199 bytes
// and one of the last 56. Every pass reads them as it reads any lines.
TEST(HostileReport, OneLineOf50MegabytesIsReadIn199BytePieces) {
    constexpr std::size_t LENGTH = 50'000'000;
    constexpr std::size_t PIECE = 199;
    std::string line;
    line.reserve(LENGTH);
    while (line.size() < LENGTH)
        line += "abcdefghijklmnopqrstuvwxyz";
    line.resize(LENGTH);
    const auto place = [&line](std::size_t at, const std::string &text) { line.replace(at, text.size(), text); };
    // Split between two pieces: not seen.
    place(1000 * PIECE - 3, "X-C.G.");
    // The next piece holds no CYCLES: echoed, and the search goes on.
    place(5000 * PIECE, "R E A L   E I G E N V A L U E S ");
    place(150'000 * PIECE + 20, " MODAL EFFECTIVE ");
    place(200'000 * PIECE + 50, " X-C.G. ");
    place(200'002 * PIECE, "Y 2.0E+00 ");
    // The natural frequency pass read the whole line: nothing is left to
    // search for the participation factors.
    place(220'000 * PIECE, "MODAL PARTICIPATION FACTORS ");
    const auto piece = [&line](std::size_t n) { return line.substr(n * PIECE, PIECE); };
    ASSERT_EQ(line.size() - 251'256 * PIECE, 56u);

    PassOutputs expected{.fn_console = "\n " + piece(5000) + " \n",
                         .mem_console = " " + piece(150'000) + " ",
                         .mem = piece(150'000) + " " + piece(150'001) + " " + piece(150'002) + " "};
    // After the two dropped pieces, 501 table lines: no row, no end marker.
    for (std::size_t n = 150'005; n < 150'005 + 501; ++n)
        expected.mem += piece(n) + " \n";
    const std::string mass_line = "\n\n mass =      772.080 lbm\n";
    for (std::size_t n = 200'000; n < 200'003; ++n) {
        expected.mass_console += " " + piece(n) + " ";
        expected.mass += piece(n) + " \n";
    }
    expected.mass_console += mass_line;
    expected.mass += mass_line;
    expect_run(line, expected);
}

// A zero byte ends a line for every marker test, parse and copy; the read
// still moves past the rest of it. A byte above 0x7F is an ordinary
// character, never white space.
TEST(HostileReport, ZeroBytesHideTheRestOfTheirLineAndHighBytesAreOrdinary) {
    const std::string eigen_heading = "\xff\xfe  R E A L   E I G E N V A L U E S  \xe9\n";
    const std::string pf_heading = "\xa0MODAL PARTICIPATION FACTORS\xa0\n";
    const std::string mem_heading = "  MODAL EFFECTIVE MASS \xb5\n";
    const std::string mem_row_3 =
        "       3    3.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00";
    const std::string mem_total = "   TOTAL\xb0    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00    1.0E+00\n";
    const std::string mass_marker = "\xc3\xa9 MASS X-C.G. \xff\n";
    const std::string mass_x = "   X   1.0E+00\n";
    // 0xA0 joins its neighbours into one word: the second word is 5.0E-01.
    const std::string mass_y = "   Y\xa0" "9.0E+00   5.0E-01\n";
    const std::string report =
        "  \0R E A L   E I G E N V A L U E S\n"s + eigen_heading + EIGEN_COLUMNS + EIGEN_UNITS +
        EIGEN_ROW_1 +
        // Hidden row markers: not a row.
        "        2\0        2    4.0E+00    2.0E+00    2.0E+00    1.0E+00    4.0E+00\n"s +
        // A hidden end marker: a row, and the table goes on.
        "        3         3    9.0E+00    3.0E+00    3.0E+00    1.0E+00    9.0E+00\0NX\n"s +
        "   4\xc3\xa9    4    1.6E+01    4.0E+00    4.5\xb0" "E+00    1.0E+00    1.6E+01\n" +
        "        5         5    2.5E+01\xa0" "5.0E+00    6.0E+00    1.0E+00    2.5E+01\n" +
        "\0   NX\n"s + PAGE +
        pf_heading + PF_SKIPPED + "   1   \xe9\xe8 row\0 hidden NX\n"s + "\0NX\n"s + "   2   \xff\xfe\n" +
        PAGE +
        "\0MODAL EFFECTIVE MASS\n"s + mem_heading + "\n" + "    MODE\0 hidden\n"s + NO_LINE + "\n" +
        MEM_ROW_1 + "       2\0    2.0E+00    2.0E+00   NX\n"s + mem_row_3 + "\0NX\n"s + mem_total +
        PAGE +
        "\0X-C.G.\n"s + mass_marker + mass_x + mass_y;

    const std::string fn_rows[][2] = {
        {"1", "    1.00"}, {"3", "    3.00"}, {"4\xc3\xa9", "    4.50"}, {"5", "    1.00"}};
    PassOutputs expected{.fn_console = "\n " + eigen_heading + " \n"};
    for (const auto &[mode, frequency] : fn_rows) {
        expected.fn += mode + " \t " + frequency + " \n";
        expected.fn_console += mode + "  " + frequency + " \n";
    }
    // The copies end at the zero byte, line end and all.
    expected.pf_console = " " + pf_heading + " " + " " + "   1   \xe9\xe8 row" + " " + " " + "" + " " +
                          " " + "   2   \xff\xfe\n" + " ";
    expected.pf = pf_heading + " \n" + "   1   \xe9\xe8 row" + " \n" + " \n" + "   2   \xff\xfe\n" + " \n";
    expected.mem_console = " " + mem_heading + " ";
    expected.mem = mem_heading + " " + "\n" + " " + "    MODE" + " " + MEM_ROW_1 + " \n" + "       2" +
                   " \n" + mem_row_3 + " \n" + mem_total + " \n";
    const std::string all_386 = "386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \t 386.0000 \n";
    expected.fn_mem_386 =
        MEM_ROW_1_386 + "3 \t     3.00 \t " + all_386 + "\n TOTAL\xb0 \t\t\t " + all_386;
    const std::string mass_line = "\n\n mass =      193.020 lbm\n";
    expected.mass_console =
        " " + mass_marker + " " + " " + mass_x + " " + " " + mass_y + " " + mass_line;
    expected.mass = mass_marker + " \n" + mass_x + " \n" + mass_y + " \n" + mass_line;
    expect_run(report, expected);
}

/* ------------------------------------------------------ report names ---- */

// The name is the first word of the input: any bytes up to white space
// (blank, tab, newline, vertical tab, form feed, carriage return). A zero
// byte ends the name as a string.
TEST(HostileName, ControlAndNonAsciiBytesAreNameCharacters) {
    struct Case {
        const char *what;
        std::string input;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"control and UTF-8 bytes", "r\x01\xc3\xa9.f06\n", "r\x01\xc3\xa9.f06"},
        {"DEL, 0xA0 and 0x85 between vertical tabs and form feeds",
         "\v\f r\x7f\xa0\x85.f06\vrest\n", "r\x7f\xa0\x85.f06"},
        {"an escape sequence, ended by CR LF", "\x1b[1mr.f06\r\n", "\x1b[1mr.f06"},
        {"a zero byte", "r\0.f06\n"s, "r"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expect_run(EIGEN_TABLE, {.fn_console = EIGEN_CONSOLE, .fn = EIGEN_FN}, c.input, c.name);
    }
}

/* ------------------------------------------- standard input and output ---- */

TEST(HostileConsole, NoStandardInputIsAnEmptyName) {
    std::string failed = console_before_passes("");
    failed = failed.substr(0, failed.find(" File: ")) + " Failed to open file:  \n";
    for (const Input in : {Input::Closed, Input::Directory}) {
        SCOPED_TRACE(in == Input::Closed ? "standard input closed" : "standard input a directory");
        WorkDir dir;
        dir.write(REPORT_NAME, EIGEN_TABLE);
        const ChildEnd end = run_checked(dir, REPORT_NAME + "\n", in, Output::Piped);
        EXPECT_TRUE(end.exited);
        EXPECT_EQ(end.status, 1);
        EXPECT_EQ(end.console, failed);
        for (const char *name : OUTPUT_NAMES)
            EXPECT_FALSE(fs::exists(dir.path() / name)) << name;
    }
}

// 20,000 rows put far more on the console than a pipe holds, so the writes
// after the reader has gone really fail.
TEST(HostileConsole, EveryFileIsWrittenWhateverBecomesOfStandardOutput) {
    std::string report = EIGEN_HEADING + EIGEN_COLUMNS + EIGEN_UNITS;
    PassOutputs expected{.fn_console = "\n " + EIGEN_HEADING + " \n",
                         .pf_console = PF_CONSOLE,
                         .pf = PF_OUT,
                         .mem_console = MEM_CONSOLE,
                         .mem = MEM_OUT,
                         .fn_mem_386 = MEM_ROW_1_386,
                         .mass_console = MASS_CONSOLE,
                         .mass = MASS_OUT};
    for (int n = 1; n <= 20'000; ++n) {
        const std::string mode = std::to_string(n);
        const std::string frequency = mode + ".25";
        report += "   " + mode + "   " + mode + "   1.0E+00   1.0E+00   " + frequency +
                  "E+00   1.0E+00   1.0E+00\n";
        const std::string printed = std::string(8 - frequency.size(), ' ') + frequency;
        expected.fn += mode + " \t " + printed + " \n";
        expected.fn_console += mode + "  " + printed + " \n";
    }
    report += PAGE + PF_TABLE + MEM_TABLE + MASS_BLOCK;
    const std::string console = expected_console(REPORT_NAME, expected);
    ASSERT_GT(console.size(), 300'000u);

    struct Case {
        const char *what;
        Output out;
    };
    const Case cases[] = {
        {"a pipe read to its end", Output::Piped},
        {"closed", Output::Closed},
        {"closed, and standard error too", Output::ClosedWithErrors},
        {"a pipe whose reader is gone before the run", Output::ReaderGone},
        {"a pipe whose reader leaves after its first read", Output::ReaderLeavesEarly},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WorkDir dir;
        dir.write(REPORT_NAME, report);
        const ChildEnd end = run_checked(dir, REPORT_NAME + "\n", Input::Piped, c.out);
        EXPECT_TRUE(end.exited) << "ended by signal " << end.signal;
        EXPECT_EQ(end.status, 0);
        if (c.out == Output::Piped) {
            EXPECT_TRUE(same_bytes(end.console, console)) << "console";
        } else if (c.out == Output::ReaderLeavesEarly) {
            EXPECT_FALSE(end.console.empty());
            EXPECT_TRUE(same_bytes(end.console, console.substr(0, end.console.size()))) << "console";
        } else {
            EXPECT_EQ(end.console, "");
        }
        expect_output_files(dir, expected);
    }
}

}  // namespace
