// Runs the built f06modes as a user would: in a fresh working directory, the
// name piped into standard input, without a terminal or console (a new
// session on POSIX systems, a detached process on Windows).
#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

// Skips the rest of a test on Windows, which lacks what it needs.
#ifdef _WIN32
#define POSIX_ONLY(needs) GTEST_SKIP() << "needs " needs
#else
#define POSIX_ONLY(needs) static_cast<void>(0)
#endif

struct RunResult {
    int status = -1;      // exit status, or -1 when killed by a signal
    std::string console;  // everything written to standard output
};

// A fresh, empty working directory under the system's temporary directory,
// removed when the object goes.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir &) = delete;
    WorkDir &operator=(const WorkDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // Writes a file of exactly these bytes into the directory.
    void write(const std::string &name, const std::string &bytes) const;
    // The bytes of a file in the directory; fails the test when it is missing.
    std::string read(const std::string &name) const;

private:
    std::filesystem::path path_;
};

// Runs f06modes in dir with input on standard input and collects its console.
RunResult run_f06modes(const std::filesystem::path &dir, const std::string &input);

#ifndef _WIN32
// Writes the input into a pipe to a child, as far as the child takes it,
// then closes the pipe.
void send_and_close(int fd, const std::string &input);
#endif

// The console a run prints before its first pass: banner, prompt, the blank
// line and the eight progress lines, for a report of this name.
std::string console_before_passes(const std::string &report_name);

// The console a run prints after its last pass: output list and key prompt.
std::string console_after_passes();

// The bytes a text stream writes for this text: on Windows each "\n" becomes
// "\r\n" (so a copied report line ending in "\r\n" becomes "\r\r\n");
// elsewhere the text itself. For the expected console and output files.
std::string text_file(const std::string &text);

// What the four passes print and write for one report. The console fields
// hold a pass's own text only: not the announcement lines, the entry lines
// "\n in pf \n" and "\n find MEM \n", nor the mass pass's closing "\n\n".
struct PassOutputs {
    std::string fn_console{};
    std::string fn{};
    std::string pf_console{};
    std::string pf{};
    std::string mem_console{};
    std::string mem{};
    std::string fn_mem_386{};
    std::string mass_console{};
    std::string mass{};
};

// The whole console of a completed run on the report of this name, as the
// platform's text stream writes it.
std::string expected_console(const std::string &report_name, const PassOutputs &passes);

// Compares the seven output files in dir with what the passes must write.
void expect_output_files(const WorkDir &dir, const PassOutputs &expected);

// Whether the bytes are the expected ones; a failure tells where the first
// difference lies and shows the bytes around it, so files of megabytes stay
// readable.
::testing::AssertionResult same_bytes(const std::string &actual, const std::string &expected);

// The bytes of a file, or "<missing>" when it cannot be read.
std::string file_bytes(const std::filesystem::path &file);

// The seven output names, in slot order.
extern const char *const OUTPUT_NAMES[7];
