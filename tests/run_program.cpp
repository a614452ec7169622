// Runs the built program for the end-to-end tests.

#include "run_program.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <random>
#include <thread>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

const char *const OUTPUT_NAMES[7] = {"fn.out",     "mass.out",     "mem.out",       "pf.out",
                                     "fn_mem.out", "fn_mem_u.out", "fn_mem_386.out"};

#ifdef _WIN32

WorkDir::WorkDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "f06modes-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(random());
        path_ = std::filesystem::temp_directory_path() / name;
        if (std::filesystem::create_directory(path_))
            return;
    }
    throw std::runtime_error("no fresh temporary directory");
}

std::string text_file(const std::string &text) {
    std::string bytes;
    for (const char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
}

namespace {

// A pipe whose end for the child is inherited and whose end for the test is not.
struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    explicit Pipe(bool child_reads) {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (!CreatePipe(&read, &write, &inherited, 0))
            throw std::runtime_error("CreatePipe failed");
        SetHandleInformation(child_reads ? write : read, HANDLE_FLAG_INHERIT, 0);
    }
};

}  // namespace

RunResult run_f06modes(const std::filesystem::path &dir, const std::string &input) {
    Pipe to_child(true);
    Pipe from_child(false);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = to_child.read;
    startup.hStdOutput = from_child.write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    const std::wstring program = std::filesystem::path(F06MODES).wstring();
    std::wstring command_line = L"\"" + program + L"\"";
    PROCESS_INFORMATION child{};
    // No console: the key wait ends at once.
    const bool started = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                                        TRUE, DETACHED_PROCESS, nullptr, dir.c_str(), &startup,
                                        &child);
    CloseHandle(to_child.read);
    CloseHandle(from_child.write);
    if (!started) {
        CloseHandle(to_child.write);
        CloseHandle(from_child.read);
        throw std::runtime_error("CreateProcess failed");
    }

    // The program may end before it reads all input, or write its console
    // before it does: the input goes in while the console comes out.
    std::thread writer([&input, &to_child] {
        for (std::size_t sent = 0; sent < input.size();) {
            DWORD n = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - sent, 65536));
            if (!WriteFile(to_child.write, input.data() + sent, chunk, &n, nullptr) || n == 0)
                break;
            sent += n;
        }
        CloseHandle(to_child.write);
    });
    RunResult result;
    char buffer[65536];
    for (DWORD n = 0; ReadFile(from_child.read, buffer, sizeof buffer, &n, nullptr) && n > 0;)
        result.console.append(buffer, n);
    CloseHandle(from_child.read);
    writer.join();

    DWORD status = 0;
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    result.status = static_cast<int>(status);
    return result;
}

#else

WorkDir::WorkDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "f06modes-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

std::string text_file(const std::string &text) {
    return text;
}

void send_and_close(int fd, const std::string &input) {
    for (std::size_t sent = 0; sent < input.size();) {
        const ssize_t n = ::write(fd, input.data() + sent, input.size() - sent);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    close(fd);
}

RunResult run_f06modes(const std::filesystem::path &dir, const std::string &input) {
    std::signal(SIGPIPE, SIG_IGN);  // the program may end before it reads all input
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        setsid();  // no controlling terminal: the key wait ends at once
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        for (const int fd : {to_child[0], to_child[1], from_child[0], from_child[1]})
            close(fd);
        if (chdir(dir.c_str()) == 0)
            execl(F06MODES, F06MODES, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    send_and_close(to_child[1], input);

    RunResult result;
    char buffer[65536];
    for (ssize_t n; (n = ::read(from_child[0], buffer, sizeof buffer)) > 0;)
        result.console.append(buffer, static_cast<std::size_t>(n));
    close(from_child[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

#endif

WorkDir::~WorkDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WorkDir::write(const std::string &name, const std::string &bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
}

std::string WorkDir::read(const std::string &name) const {
    const std::string bytes = file_bytes(path_ / name);
    EXPECT_NE(bytes, "<missing>") << name;
    return bytes;
}

std::string file_bytes(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string console_before_passes(const std::string &report_name) {
    std::string console =
        "\n f06modes - natural frequencies and modal mass from a Nastran report \n"
        "\n\n f06modes, by the f06modes maintainers\n"
        " maintainers@users.noreply.c-seed-83b2dc46.example\n"
        "\n\n The input file is a NX Nastran output file \n"
        " from a SOL SEMODES analysis. \n"
        "\n\n Enter the *.f06 filename \n"
        "\n"
        " File: " + report_name + " opened. \n";
    for (const char *name : OUTPUT_NAMES)
        console += std::string(" File: ") + name + " opened. \n";
    return console;
}

std::string console_after_passes() {
    std::string console = "\n Output Files \n";
    for (const char *name : OUTPUT_NAMES)
        console += std::string("\n ") + name + " ";
    return console + "\n\n press any key to continue \n";
}

std::string expected_console(const std::string &report_name, const PassOutputs &passes) {
    return text_file(console_before_passes(report_name) + "\n ref 1 \n\n" + passes.fn_console +
                     "\n ref 2 \n\n" + "\n in pf \n" + passes.pf_console + "\n ref 3 \n\n" +
                     "\n find MEM \n" + passes.mem_console + "\n ref 4 \n\n" +
                     passes.mass_console + "\n\n" + console_after_passes());
}

void expect_output_files(const WorkDir &dir, const PassOutputs &expected) {
    const std::pair<const char *, const std::string &> files[] = {
        {"fn.out", expected.fn},   {"pf.out", expected.pf},
        {"mem.out", expected.mem}, {"fn_mem_386.out", expected.fn_mem_386},
        {"mass.out", expected.mass}};
    for (const auto &[name, bytes] : files)
        EXPECT_TRUE(same_bytes(dir.read(name), text_file(bytes))) << name;
    EXPECT_EQ(dir.read("fn_mem.out"), "");
    EXPECT_EQ(dir.read("fn_mem_u.out"), "");
}

::testing::AssertionResult same_bytes(const std::string &actual, const std::string &expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const std::size_t from = at < 40 ? 0 : at - 40;
    return ::testing::AssertionFailure()
           << "sizes " << actual.size() << " and " << expected.size() << " expected, first difference at byte "
           << at << "\n  actual:   " << ::testing::PrintToString(actual.substr(from, 80))
           << "\n  expected: " << ::testing::PrintToString(expected.substr(from, 80));
}

