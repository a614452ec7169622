// The key wait at the end of a run, driven through a pseudo-terminal: the
// program's controlling terminal is the slave side, and the test types on the
// master side as a user would type at the keyboard.

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_program.h"

namespace {

using Clock = std::chrono::steady_clock;

// The longest any one step of a run may take, so a failing test fails fast.
constexpr int STEP_MS = 3000;
const std::string NAME_PROMPT = "Enter the *.f06 filename";
const std::string KEY_PROMPT = "press any key to continue";

enum class Console { terminal, none };

// One command run in a new session in a directory. With a terminal, its
// controlling terminal, standard input, output and error are a fresh
// pseudo-terminal. Without one, standard input is a pipe the test holds open
// and standard output another pipe. The command's process group is killed when
// the object goes while it still runs.
class Session {
public:
    Session(Console console, const std::filesystem::path &dir,
            const std::vector<std::string> &argv);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void type(const std::string &bytes) const;
    // Collects output until done() holds; false when timeout_ms ran out first.
    template <class Done>
    bool wait_until(Done done, int timeout_ms);
    // The exit status (-1: killed by a signal), or nothing while it still runs
    // after timeout_ms.
    std::optional<int> wait_exit(int timeout_ms);
    bool saw(const std::string &text) const { return output_.find(text) != std::string::npos; }
    const std::string &output() const { return output_; }
    termios settings() const;
    void change_settings(const termios &settings) const;

private:
    void start_child(Console console, const std::filesystem::path &dir, char *const argv[],
                     const char *terminal, int stdin_pipe[2], int stdout_pipe[2]);
    // Reads what arrives within timeout_ms; false when nothing did.
    bool collect(int timeout_ms);

    pid_t pid_ = -1;
    std::optional<int> exit_status_;
    int master_ = -1;
    int input_ = -1;
    int output_fd_ = -1;
    bool output_closed_ = false;
    std::string output_;
};

Session::Session(Console console, const std::filesystem::path &dir,
                 const std::vector<std::string> &argv) {
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    int stdin_pipe[2] = {-1, -1};
    int stdout_pipe[2] = {-1, -1};
    const char *terminal = nullptr;
    if (console == Console::terminal) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        terminal = ptsname(master_);
        input_ = output_fd_ = master_;
    } else {
        if (pipe2(stdin_pipe, O_CLOEXEC) != 0 || pipe2(stdout_pipe, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        input_ = stdin_pipe[1];
        output_fd_ = stdout_pipe[0];
    }
    start_child(console, dir, args.data(), terminal, stdin_pipe, stdout_pipe);
    if (console == Console::none) {
        close(stdin_pipe[0]);
        close(stdout_pipe[1]);
    }
}

void Session::start_child(Console console, const std::filesystem::path &dir, char *const argv[],
                          const char *terminal, int stdin_pipe[2], int stdout_pipe[2]) {
    std::signal(SIGPIPE, SIG_IGN);
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ != 0)
        return;
    setsid();
    if (console == Console::terminal) {
        const int slave = open(terminal, O_RDWR);
        ioctl(slave, TIOCSCTTY, 0);
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            dup2(slave, fd);
    } else {
        dup2(stdin_pipe[0], STDIN_FILENO);
        dup2(stdout_pipe[1], STDOUT_FILENO);
    }
    if (chdir(dir.c_str()) == 0)
        execv(argv[0], argv);
    _exit(127);
}

Session::~Session() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(output_fd_);
    if (input_ != output_fd_)
        close(input_);
}

void Session::type(const std::string &bytes) const {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = write(input_, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

bool Session::collect(int timeout_ms) {
    if (output_closed_) {
        poll(nullptr, 0, timeout_ms);
        return false;
    }
    pollfd ready{output_fd_, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) <= 0)
        return false;
    char buffer[4096];
    const ssize_t n = read(output_fd_, buffer, sizeof buffer);
    // End of a pipe reads 0; a terminal nobody holds any more fails with EIO.
    if (n <= 0) {
        output_closed_ = true;
        return false;
    }
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

int ms_left(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    return std::max(0, static_cast<int>(
                           std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
}

template <class Done>
bool Session::wait_until(Done done, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        collect(std::min(ms_left(deadline), 10));
    }
    return true;
}

std::optional<int> Session::wait_exit(int timeout_ms) {
    int status = 0;
    const bool exited = wait_until(
        [&] { return exit_status_ || waitpid(pid_, &status, WNOHANG) == pid_; }, timeout_ms);
    if (!exited || exit_status_)
        return exit_status_;
    pid_ = -1;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (collect(50)) {
    }
    return exit_status_;
}

termios Session::settings() const {
    termios now{};
    EXPECT_EQ(tcgetattr(master_, &now), 0);
    return now;
}

void Session::change_settings(const termios &settings) const {
    EXPECT_EQ(tcsetattr(master_, TCSANOW, &settings), 0);
}

bool in_key_wait(Session &session) {
    const termios now = session.settings();
    return session.saw(KEY_PROMPT) && (now.c_lflag & (ICANON | ECHO)) == 0;
}

// Types the line at the name prompt once it shows, then waits until the
// program sits in the key wait: the key prompt shown and the terminal switched
// to single keys without echo. Only then can a key be typed without a race.
::testing::AssertionResult reach_key_wait(Session &session, const std::string &line) {
    if (!session.wait_until([&] { return session.saw(NAME_PROMPT); }, STEP_MS))
        return ::testing::AssertionFailure()
               << "no name prompt; output: " << ::testing::PrintToString(session.output());
    session.type(line);
    if (!session.wait_until([&] { return in_key_wait(session); }, STEP_MS))
        return ::testing::AssertionFailure()
               << "no key wait; output: " << ::testing::PrintToString(session.output());
    return ::testing::AssertionSuccess();
}

// The terminal shows each line feed the program writes as CR LF.
std::string after_key_prompt(const std::string &output) {
    const std::string prompt = KEY_PROMPT + " \r\n";
    const std::size_t at = output.rfind(prompt);
    return at == std::string::npos ? "<no key prompt>" : output.substr(at + prompt.size());
}

// An empty report in a fresh working directory: every pass finds nothing and
// the run goes straight on to the key wait.
struct EmptyReport {
    EmptyReport() { dir.write("r.f06", ""); }
    WorkDir dir;
};

struct Key {
    const char *name;
    std::string bytes;
};

void PrintTo(const Key &key, std::ostream *out) {
    *out << key.name;
}

std::string key_name(const ::testing::TestParamInfo<Key> &info) {
    return info.param.name;
}

class KeyEndsWait : public ::testing::TestWithParam<Key>, protected EmptyReport {};

TEST_P(KeyEndsWait, RunEndsNormallyWithNothingEchoed) {
    Session session(Console::terminal, dir.path(), {F06MODES});
    ASSERT_TRUE(reach_key_wait(session, "r.f06\r"));
    session.type(GetParam().bytes);
    const std::optional<int> status = session.wait_exit(STEP_MS);
    ASSERT_TRUE(status.has_value()) << "still waiting after the key";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(after_key_prompt(session.output()), "");
}

// Ctrl-C, Ctrl-Z and Ctrl-S would stop or kill the program, or be swallowed by
// the terminal, if it left their special meaning on.
INSTANTIATE_TEST_SUITE_P(Keys, KeyEndsWait,
                         ::testing::Values(Key{"Letter", "k"}, Key{"Enter", "\r"},
                                           Key{"Esc", "\x1b"}, Key{"ArrowUp", "\x1b[A"},
                                           Key{"F5", "\x1b[15~"}, Key{"F1", "\x1bOP"},
                                           Key{"CtrlC", "\x03"}, Key{"CtrlZ", "\x1a"},
                                           Key{"CtrlS", "\x13"}),
                         key_name);

// A shell runs the wait command, then reads whatever the terminal still holds
// (giving up after 0.2 s of silence) and prints it in hex.
std::string shell_script(const std::string &wait_command) {
    return wait_command +
           "; status=$?; stty -icanon min 0 time 2; printf 'status %s, left [' \"$status\";"
           " od -An -tx1 | tr -d ' \\n'; printf ']\\n'";
}

class SequenceConsumedWhole : public ::testing::TestWithParam<Key>, protected EmptyReport {};

TEST_P(SequenceConsumedWhole, NothingLeftForTheShell) {
    Session session(Console::terminal, dir.path(),
                    {"/bin/sh", "-c", shell_script("\"$1\""), "sh", F06MODES});
    ASSERT_TRUE(reach_key_wait(session, "r.f06\r"));
    session.type(GetParam().bytes);
    ASSERT_TRUE(session.wait_exit(STEP_MS).has_value()) << session.output();
    EXPECT_EQ(after_key_prompt(session.output()), "status 0, left []\r\n");
}

INSTANTIATE_TEST_SUITE_P(Keys, SequenceConsumedWhole,
                         ::testing::Values(Key{"ArrowUp", "\x1b[A"}, Key{"F5", "\x1b[15~"},
                                           Key{"F1", "\x1bOP"}, Key{"CtrlUp", "\x1b[1;5A"},
                                           Key{"LinuxConsoleF1", "\x1b[[A"}),
                         key_name);

class KeyWait : public ::testing::Test, protected EmptyReport {};

// The shell's check does see what a wait leaves unread: a stand-in that
// switches the terminal like the key wait but reads nothing leaves the whole
// sequence.
TEST_F(KeyWait, ProbeSeesKeysLeftUnread) {
    const std::string stand_in =
        "printf '" + NAME_PROMPT + "\\n'; read -r name; printf '" + KEY_PROMPT +
        " \\n'; stty -icanon -echo; sleep 0.2";
    Session session(Console::terminal, dir.path(), {"/bin/sh", "-c", shell_script(stand_in)});
    ASSERT_TRUE(reach_key_wait(session, "r.f06\r"));
    session.type("\x1b[A");
    ASSERT_TRUE(session.wait_exit(STEP_MS).has_value()) << session.output();
    EXPECT_EQ(after_key_prompt(session.output()), "status 0, left [1b5b41]\r\n");
}

void expect_same_settings(const termios &after, const termios &before) {
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::vector<cc_t>(after.c_cc, after.c_cc + NCCS),
              std::vector<cc_t>(before.c_cc, before.c_cc + NCCS));
}

TEST_F(KeyWait, TerminalSettingsRestored) {
    Session session(Console::terminal, dir.path(), {F06MODES});
    ASSERT_TRUE(session.wait_until([&] { return session.saw(NAME_PROMPT); }, STEP_MS));
    // Settings unlike a fresh terminal's, so that putting back the defaults
    // instead of what was there shows.
    termios before = session.settings();
    before.c_iflag ^= IXANY;
    before.c_lflag ^= ECHOCTL;
    before.c_cc[VERASE] = 0x08;
    before.c_cc[VMIN] = 4;
    before.c_cc[VTIME] = 7;
    session.change_settings(before);
    before = session.settings();

    session.type("r.f06\r");
    ASSERT_TRUE(session.wait_until([&] { return in_key_wait(session); }, STEP_MS))
        << ::testing::PrintToString(session.output());
    session.type("\x1b[15~");
    ASSERT_TRUE(session.wait_exit(STEP_MS).has_value()) << "still waiting after the key";
    expect_same_settings(session.settings(), before);
}

TEST_F(KeyWait, WordsAfterTheNameDoNotEndIt) {
    Session session(Console::terminal, dir.path(), {F06MODES});
    ASSERT_TRUE(reach_key_wait(session, "r.f06 extra words\r"));
    EXPECT_TRUE(session.saw(" File: r.f06 opened. "));
    EXPECT_FALSE(session.wait_exit(300).has_value())
        << "the rest of the name's line ended the wait";
    session.type("k");
    const std::optional<int> status = session.wait_exit(STEP_MS);
    ASSERT_TRUE(status.has_value()) << "still waiting after the key";
    EXPECT_EQ(*status, 0);
}

// Standard input stays open, so a wait that read it would hang.
TEST_F(KeyWait, WithoutTerminalRunEndsAtOnce) {
    Session session(Console::none, dir.path(), {F06MODES});
    session.type("r.f06\n");
    const std::optional<int> status = session.wait_exit(STEP_MS);
    ASSERT_TRUE(status.has_value()) << "still waiting without a terminal";
    EXPECT_EQ(*status, 0);
    const std::string &console = session.output();
    const std::string tail = console_after_passes();
    ASSERT_GE(console.size(), tail.size());
    EXPECT_EQ(console.substr(console.size() - tail.size()), tail);
}

}  // namespace
