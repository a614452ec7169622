// The run sequence end to end: dialogue, the name read, opening and its
// failures, closing and its I/O errors, the output list.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

// What the passes print for a report that has none of the sections.
const std::string PASSES_FINDING_NOTHING =
    "\n ref 1 \n\n"
    "\n ref 2 \n\n"
    "\n in pf \n"
    "\n ref 3 \n\n"
    "\n find MEM \n"
    "\n ref 4 \n\n"
    "\n\n";

// A report whose eigenvalue table has two modes and nothing else.
const std::string TWO_MODES =
    "1    PLATE                               NX NASTRAN    PAGE     1\n"
    "                                              R E A L   E I G E N V A L U E S\n"
    "   MODE    EXTRACTION      EIGENVALUE            RADIANS             CYCLES\n"
    "    NO.       ORDER\n"
    "        1         1        1.0E+00        1.0E+00        1.234567E+01        1.0E+00        1.0E+00\n"
    "        2         2        2.0E+00        2.0E+00        5.5E-01        1.0E+00        1.0E+00\n"
    "1    PLATE                               NX NASTRAN    PAGE     2\n";

const std::string TWO_MODES_FN = "1 \t    12.35 \n2 \t     0.55 \n";

const std::string TWO_MODES_PASS1 =
    "\n ref 1 \n\n"
    "\n                                               R E A L   E I G E N V A L U E S\n \n"
    "1     12.35 \n"
    "2      0.55 \n";

const std::string TWO_MODES_LATER_PASSES =
    "\n ref 2 \n\n"
    "\n in pf \n"
    "\n ref 3 \n\n"
    "\n find MEM \n"
    "\n ref 4 \n\n"
    "\n\n";

std::string failed_open_console(const std::string &opened, const std::string &failed) {
    std::string console = console_before_passes("");
    console = console.substr(0, console.find("\n\n Enter the *.f06 filename \n"));
    return console + "\n\n Enter the *.f06 filename \n\n" + opened + " Failed to open file: " +
           failed + " \n";
}

void expect_outputs(const WorkDir &dir, const std::vector<std::string> &contents) {
    for (std::size_t slot = 0; slot < contents.size(); ++slot)
        EXPECT_EQ(file_bytes(dir.path() / OUTPUT_NAMES[slot]), text_file(contents[slot]))
            << OUTPUT_NAMES[slot];
}

const std::vector<std::string> ALL_EMPTY(7, "");
const std::vector<std::string> ALL_MISSING(7, "<missing>");

/* ------------------------------------------------------- completed run ---- */

TEST(RunSequence, ReportWithoutSectionsGivesSevenEmptyFiles) {
    WorkDir dir;
    dir.write("plain.f06", "just some text\nand more\n");
    const RunResult run = run_f06modes(dir.path(), "plain.f06\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console,
              text_file(console_before_passes("plain.f06") + PASSES_FINDING_NOTHING +
                        console_after_passes()));
    expect_outputs(dir, ALL_EMPTY);
}

TEST(RunSequence, NameIsTheFirstWordOfTheInput) {
    struct Case {
        const char *input;
        const char *name;
    };
    const Case cases[] = {
        {"plain.f06\n", "plain.f06"},
        {"\n\n  \t plain.f06\n", "plain.f06"},
        {"plain.f06 with more words\nand lines\n", "plain.f06"},
        {"plain.f06", "plain.f06"},
        {"plain.f06\r\n", "plain.f06"},
    };
    for (const Case &c : cases) {
        WorkDir dir;
        dir.write("plain.f06", "");
        const RunResult run = run_f06modes(dir.path(), c.input);
        EXPECT_EQ(run.status, 0) << c.input;
        EXPECT_EQ(run.console,
                  text_file(console_before_passes(c.name) + PASSES_FINDING_NOTHING +
                            console_after_passes()))
            << c.input;
    }
}

TEST(RunSequence, FrequencyTableIsWrittenAndTheRunCompletes) {
    WorkDir dir;
    dir.write("two.f06", TWO_MODES);
    const RunResult run = run_f06modes(dir.path(), "two.f06\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, text_file(console_before_passes("two.f06") + TWO_MODES_PASS1 +
                                         TWO_MODES_LATER_PASSES + console_after_passes()));
    expect_outputs(dir, {TWO_MODES_FN, "", "", "", "", "", ""});
}

TEST(RunSequence, ReportInAnotherDirectoryWritesOutputsHere) {
    std::vector<std::string> names = {"runs/two.f06"};
#ifdef _WIN32
    names.push_back("runs\\two.f06");
#endif
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        WorkDir dir;
        fs::create_directory(dir.path() / "runs");
        dir.write("runs/two.f06", TWO_MODES);
        const RunResult run = run_f06modes(dir.path(), name + "\n");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(dir.read("fn.out"), text_file(TWO_MODES_FN));
        EXPECT_FALSE(fs::exists(dir.path() / "runs" / "fn.out"));
    }
}

TEST(RunSequence, SecondRunReplacesEveryFile) {
    WorkDir dir;
    dir.write("two.f06", TWO_MODES);
    for (const char *name : OUTPUT_NAMES)
        dir.write(name, "left from an earlier run\n");
    const RunResult run = run_f06modes(dir.path(), "two.f06\n");
    EXPECT_EQ(run.status, 0);
    expect_outputs(dir, {TWO_MODES_FN, "", "", "", "", "", ""});
}

TEST(RunSequence, NameOf259CharactersIsUsedWhole) {
    WorkDir dir;
    // No file name may pass 255 bytes, so the long name needs a directory part.
    const std::string folder(200, 'd');
    const std::string file(259 - folder.size() - 1, 'r');
    const std::string name = folder + "/" + file;
    ASSERT_EQ(name.size(), 259u);
    fs::create_directory(dir.path() / folder);
    dir.write(name, TWO_MODES);
    const RunResult run = run_f06modes(dir.path(), name + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, text_file(console_before_passes(name) + TWO_MODES_PASS1 +
                                         TWO_MODES_LATER_PASSES + console_after_passes()));
}

/* ----------------------------------------------------- opening fails ---- */

TEST(OpenFailure, ReportThatCannotBeReadLeavesEveryOutputAlone) {
    struct Case {
        const char *what;
        std::string input;
        std::string name_in_message;
    };
    const std::string long_name = std::string(200, 'd') + "/" + std::string(59, 'r');
    const Case cases[] = {
        {"no input at all", "", ""},
        {"only white space", " \n\t\n", ""},
        {"no such file", "missing.f06\n", "missing.f06"},
        {"a directory", "folder\n", "folder"},
#ifdef _WIN32
        {"a device", "NUL\n", "NUL"},
#else
        {"a FIFO", "fifo.f06\n", "fifo.f06"},
        {"a device", "/dev/null\n", "/dev/null"},
        {"a dangling link", "dangling.f06\n", "dangling.f06"},
        {"a looping link", "loop.f06\n", "loop.f06"},
#endif
        {"260 characters", long_name + "r\n", long_name + "r"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WorkDir dir;
        fs::create_directory(dir.path() / "folder");
#ifndef _WIN32
        ASSERT_EQ(mkfifo((dir.path() / "fifo.f06").c_str(), 0600), 0);
        fs::create_symlink("nowhere.f06", dir.path() / "dangling.f06");
        fs::create_symlink("loop.f06", dir.path() / "loop.f06");
#endif
        // The 259-character beginning of the long name is a report: it must not be opened.
        fs::create_directory(dir.path() / std::string(200, 'd'));
        dir.write(long_name, TWO_MODES);
        dir.write("mem.out", "kept\n");

        const RunResult run = run_f06modes(dir.path(), c.input);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.console, text_file(failed_open_console("", c.name_in_message)));
        EXPECT_EQ(dir.read("mem.out"), "kept\n");
        for (const char *name : OUTPUT_NAMES) {
            if (std::string(name) != "mem.out") {
                EXPECT_FALSE(fs::exists(dir.path() / name)) << name;
            }
        }
    }
}

TEST(OpenFailure, ReportThatIsAnOutputIsRefusedUnchanged) {
    std::vector<std::string> names = {"fn.out", "./mem.out", "HARD", "ABSOLUTE"};
#ifdef _WIN32
    // Windows names ignore case and take either separator.
    names.insert(names.end(), {"FN.OUT", "Mem.Out", ".\\mem.out"});
#else
    names.push_back("LINK");
#endif
    for (const std::string &typed : names) {
        SCOPED_TRACE(typed);
        WorkDir dir;
        dir.write("fn.out", TWO_MODES);
        dir.write("mem.out", TWO_MODES);
#ifndef _WIN32
        fs::create_symlink("fn.out", dir.path() / "link.f06");
#endif
        fs::create_hard_link(dir.path() / "mem.out", dir.path() / "hard.f06");
        std::string name = typed;
        if (typed == "LINK")
            name = "link.f06";
        else if (typed == "HARD")
            name = "hard.f06";
        else if (typed == "ABSOLUTE")
            name = (dir.path() / "fn.out").string();

        const RunResult run = run_f06modes(dir.path(), name + "\n");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.console, text_file(failed_open_console("", name)));
        EXPECT_EQ(dir.read("fn.out"), TWO_MODES);
        EXPECT_EQ(dir.read("mem.out"), TWO_MODES);
        EXPECT_FALSE(fs::exists(dir.path() / "pf.out"));
    }
}

TEST(OpenFailure, LinkToAReportElsewhereIsRead) {
    POSIX_ONLY("symbolic links");
    WorkDir dir;
    dir.write("two.f06", TWO_MODES);
    fs::create_symlink("two.f06", dir.path() / "link.f06");
    const RunResult run = run_f06modes(dir.path(), "link.f06\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(dir.read("fn.out"), text_file(TWO_MODES_FN));
}

// The outputs are opened in slot order: fn.out, mass.out, mem.out, pf.out,
// fn_mem.out, fn_mem_u.out, fn_mem_386.out.
TEST(OpenFailure, OutputThatCannotBeCreatedStopsTheRunThere) {
    for (std::size_t failing = 0; failing < 7; ++failing) {
        const std::string failing_name = OUTPUT_NAMES[failing];
        SCOPED_TRACE(failing_name);
        WorkDir dir;
        dir.write("two.f06", TWO_MODES);
        for (const char *name : OUTPUT_NAMES)
            dir.write(name, "stale\n");
        fs::remove(dir.path() / failing_name);
        fs::create_directory(dir.path() / failing_name);

        const RunResult run = run_f06modes(dir.path(), "two.f06\n");
        EXPECT_EQ(run.status, 1);
        std::string opened = " File: two.f06 opened. \n";
        for (std::size_t slot = 0; slot < failing; ++slot)
            opened += std::string(" File: ") + OUTPUT_NAMES[slot] + " opened. \n";
        EXPECT_EQ(run.console, text_file(failed_open_console(opened, failing_name)));
        for (std::size_t slot = 0; slot < 7; ++slot) {
            if (slot == failing) {
                EXPECT_TRUE(fs::is_directory(dir.path() / failing_name));
            } else {
                EXPECT_EQ(dir.read(OUTPUT_NAMES[slot]), slot < failing ? "" : "stale\n")
                    << OUTPUT_NAMES[slot];
            }
        }
        EXPECT_EQ(dir.read("two.f06"), TWO_MODES);
    }
}

/* ----------------------------------------------------- I/O errors ---- */

TEST(WriteFailure, FnOutOnAFullDeviceIsReportedWhenItsTableEnds) {
    POSIX_ONLY("/dev/full");
    WorkDir dir;
    dir.write("two.f06", TWO_MODES);
    fs::create_symlink("/dev/full", dir.path() / "fn.out");
    const RunResult run = run_f06modes(dir.path(), "two.f06\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, console_before_passes("two.f06") + TWO_MODES_PASS1 +
                               " Failed to write file: fn.out \n" + TWO_MODES_LATER_PASSES +
                               console_after_passes());
    for (std::size_t slot = 1; slot < 7; ++slot)
        EXPECT_EQ(dir.read(OUTPUT_NAMES[slot]), "") << OUTPUT_NAMES[slot];
}

TEST(WriteFailure, MassOutOnAFullDeviceIsReportedWhenTheFilesAreClosed) {
    POSIX_ONLY("/dev/full");
    WorkDir dir;
    const std::string report = TWO_MODES +
                               "   MASS AXIS SYSTEM (S)     MASS              X-C.G.\n"
                               "      X            1.0E+00\n"
                               "      Y            1.0E+00\n";
    dir.write("two.f06", report);
    fs::create_symlink("/dev/full", dir.path() / "mass.out");
    const RunResult run = run_f06modes(dir.path(), "two.f06\n");
    EXPECT_EQ(run.status, 1);
    const std::string mass_pass =
        "\n ref 4 \n\n"
        "    MASS AXIS SYSTEM (S)     MASS              X-C.G.\n "
        "       X            1.0E+00\n "
        "       Y            1.0E+00\n "
        "\n\n mass =      386.040 lbm\n"
        "\n\n";
    const std::string before_mass = TWO_MODES_LATER_PASSES.substr(0, TWO_MODES_LATER_PASSES.find("\n ref 4"));
    EXPECT_EQ(run.console, console_before_passes("two.f06") + TWO_MODES_PASS1 + before_mass +
                               mass_pass + " Failed to write file: mass.out \n" +
                               console_after_passes());
    EXPECT_EQ(dir.read("fn.out"), TWO_MODES_FN);
}

TEST(WriteFailure, EmptyOutputOnAFullDeviceIsNoError) {
    POSIX_ONLY("/dev/full");
    WorkDir dir;
    dir.write("two.f06", TWO_MODES);
    fs::create_symlink("/dev/full", dir.path() / "fn_mem.out");
    const RunResult run = run_f06modes(dir.path(), "two.f06\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, console_before_passes("two.f06") + TWO_MODES_PASS1 +
                               TWO_MODES_LATER_PASSES + console_after_passes());
}

}  // namespace
