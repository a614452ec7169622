// The console on POSIX systems. The key wait reads the controlling terminal,
// so the rest of the line the name was typed on, or a name piped in, never
// ends it.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "run/console.h"

namespace {

constexpr int ESCAPE = 0x1b;
// The bytes of one key's escape sequence arrive together; a lone Esc is
// followed by nothing within this time.
constexpr int SEQUENCE_GAP_MS = 100;

int tty = -1;
termios saved_settings;

// A signal from outside the terminal (kill, hangup) must not leave it raw.
void restore_and_reraise(int signal) {
    tcsetattr(tty, TCSANOW, &saved_settings);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The next byte from the terminal within timeout_ms (-1: no limit), or -1.
int read_byte(int timeout_ms) {
    pollfd ready{tty, POLLIN, 0};
    unsigned char byte = 0;
    if (poll(&ready, 1, timeout_ms) <= 0 || read(tty, &byte, 1) != 1)
        return -1;
    return byte;
}

// Consumes the rest of the sequence an arrow, function or editing key sends
// after its Esc, so that nothing of it is left for the shell:
//   CSI = "[" ["["] (0x20..0x3F)* final      final: 0x40..0x7E
//   SS3 = "O" final
//   Alt = any one byte
void skip_escape_sequence() {
    const int introducer = read_byte(SEQUENCE_GAP_MS);
    if (introducer == 'O') {
        read_byte(SEQUENCE_GAP_MS);
    } else if (introducer == '[') {
        int c = read_byte(SEQUENCE_GAP_MS);
        if (c == '[')  // the Linux console's F1 to F5: Esc [ [ A to E
            c = read_byte(SEQUENCE_GAP_MS);
        while (c >= 0x20 && c <= 0x3F)
            c = read_byte(SEQUENCE_GAP_MS);
    }
}

}  // namespace

void prepare_console() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(fd, F_GETFD) == -1)
            open("/dev/null", O_RDWR);  // takes the lowest free descriptor: fd
    std::signal(SIGPIPE, SIG_IGN);
}

int wait_for_key() {
    tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0)
        return 0;
    if (tcgetattr(tty, &saved_settings) != 0) {
        close(tty);
        return 0;
    }
    // One byte at a time, no echo; Ctrl-C, Ctrl-Z and Ctrl-S are keys too.
    termios raw = saved_settings;
    raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~(IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM})
        std::signal(signal, restore_and_reraise);
    tcsetattr(tty, TCSAFLUSH, &raw);

    const int key = read_byte(-1);
    if (key == ESCAPE)
        skip_escape_sequence();

    // Flushing drops whatever of the key may still have arrived late.
    tcsetattr(tty, TCSAFLUSH, &saved_settings);
    close(tty);
    return key < 0 ? 0 : key;
}
