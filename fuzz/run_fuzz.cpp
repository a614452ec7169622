// libFuzzer target over a whole run's passes: arbitrary bytes as the report,
// opened, passed over by the four passes and closed as run_session does it,
// in a scratch working directory. Checks that the report is left as it was,
// that all seven outputs exist, that no output line is longer than its
// formats can print for report lines of at most 199 bytes, that every stream
// is closed exactly once (fn.out by its pass when its table ends, otherwise by
// close_file_slots) and that no I/O error is seen.
//
// The target changes its working directory while it runs: give libFuzzer
// absolute paths for the corpus and the artifact prefix.

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "passes/modal_effective_mass.h"
#include "passes/natural_frequencies.h"
#include "passes/participation_factors.h"
#include "passes/rigid_body_mass.h"
#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

void check(bool ok, const char *what, const char *file = "") {
    if (!ok) {
        std::fprintf(stderr, "run_fuzz: invariant broken: %s %s\n", what, file);
        std::abort();
    }
}

/* --------------------------------------------- stream close counting ---- */

// The streams of the eight slots as opened, and how often each was closed.
struct CloseWatch {
    bool on = false;
    std::array<std::FILE *, SLOT_COUNT> streams{};
    std::array<int, SLOT_COUNT> closes{};
};
CloseWatch watch;

}  // namespace

// The fuzz target is linked with --wrap=fclose: every fclose comes here.
extern "C" int __real_fclose(std::FILE *stream);
extern "C" int __wrap_fclose(std::FILE *stream) {
    if (watch.on)
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            if (watch.streams[slot] == stream)
                ++watch.closes[slot];
    return __real_fclose(stream);
}

namespace {

/* ---------------------------------------------------- output bounds ---- */

// Widest fixed-point prints of a finite double (DBL_MAX has 309 digits
// before the point): sign, 309 digits, point, decimals.
constexpr std::size_t WIDEST_2_DECIMALS = 1 + 309 + 1 + 2;  // %8.2lf
constexpr std::size_t WIDEST_3_DECIMALS = 1 + 309 + 1 + 3;  // %12.3lf
constexpr std::size_t WIDEST_4_DECIMALS = 1 + 309 + 1 + 4;  // %8.4lf
constexpr std::size_t WIDEST_INT = 11;                      // %d: -2147483648

// A copied report line, "%s \n": at most 199 bytes, a blank and a newline.
constexpr std::size_t COPIED_LINE = LINE_READ_MAX + 2;
// fn.out, "%s \t %8.2lf \n": word field 1 and a frequency.
constexpr std::size_t FN_LINE = WORD_MAX + 3 + WIDEST_2_DECIMALS + 2;
// fn_mem_386.out, mode row "%d \t %8.2lf" and six " \t %8.4lf", then " \n";
// the total row "\n %s \t\t\t %8.4lf" and five " \t %8.4lf", then " \n", is shorter.
constexpr std::size_t MEM_386_LINE = WIDEST_INT + 3 + WIDEST_2_DECIMALS + 6 * (3 + WIDEST_4_DECIMALS) + 2;
constexpr std::size_t MEM_386_TOTAL_LINE = 1 + WORD_MAX + 5 + WIDEST_4_DECIMALS + 5 * (3 + WIDEST_4_DECIMALS) + 2;
static_assert(MEM_386_TOTAL_LINE <= MEM_386_LINE);
// mem.out: the heading line and the two kept lines are written with "%s ",
// so lines without a newline of their own run together with the first table
// line: up to three "%s " and one "%s \n" on the first lines of the file.
constexpr std::size_t MEM_HEAD_LINE = 3 * (LINE_READ_MAX + 1) + COPIED_LINE;
constexpr std::size_t MEM_HEAD_LINES = 4;
// mass.out's last line: " mass = %12.3lf lbm\n".
constexpr std::size_t MASS_LINE = 8 + WIDEST_3_DECIMALS + 4 + 1;

// Longest line, newline included, allowed for a line of an output file.
struct LineBound {
    std::size_t first_lines = 0;  // the first `first_lines` lines may be up to `first`
    std::size_t first = 0;
    std::size_t body = 0;
    std::size_t last = 0;         // the last line, if not 0
};

void check_lines(const std::string &text, const LineBound &bound, const char *name) {
    std::size_t line_count = 0;
    for (std::size_t at = 0; at < text.size(); ++line_count) {
        const std::size_t newline = text.find('\n', at);
        const std::size_t end = newline == std::string::npos ? text.size() : newline + 1;
        const bool last = end == text.size();
        std::size_t limit = line_count < bound.first_lines ? bound.first : bound.body;
        if (last && bound.last != 0)
            limit = bound.last;
        check(end - at <= limit, "output line no longer than its format allows:", name);
        at = end;
    }
}

/* --------------------------------------------------------- scratch ---- */

const std::array<const char *, SLOT_COUNT - 1> OUTPUTS = {
    "fn.out", "mass.out", "mem.out", "pf.out", "fn_mem.out", "fn_mem_u.out", "fn_mem_386.out",
};
const char *const REPORT = "report.f06";

std::filesystem::path scratch;

void remove_scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

std::string read_file(const std::filesystem::path &path, bool &exists) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY);
    exists = fd >= 0;
    if (fd < 0)
        return bytes;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    return bytes;
}

void write_file(const std::filesystem::path &path, const std::uint8_t *data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    check(fd >= 0, "scratch report can be written");
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        check(wrote > 0, "scratch report can be written");
        done += static_cast<std::size_t>(wrote);
    }
    ::close(fd);
}

std::string output(const char *name) {
    bool exists = false;
    std::string bytes = read_file(scratch / name, exists);
    check(exists, "output file exists:", name);
    return bytes;
}

/* ------------------------------------------------------------- run ---- */

void reset_state() {
    report_line = {};
    report_words = {};
    file_error_seen = false;
    file_slots = {};
}

void check_closed_once() {
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        check(file_slots[slot].stream == nullptr, "every slot is without a stream after closing");
        check(watch.closes[slot] == 1, "every stream is closed exactly once");
        check(!file_slots[slot].failed, "no slot saw an I/O error");
    }
    check(!file_error_seen, "no I/O error seen");
}

// The four passes on the report in the current directory, as run_session runs them.
void run_passes() {
    file_slots[SLOT_REPORT].name = REPORT;
    open_file_slots();
    watch = CloseWatch{true, {}, {}};
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        watch.streams[slot] = file_slots[slot].stream;
    rewind_report();  // drops what the scanner read ahead of the last report

    pass_natural_frequencies();
    const bool fn_closed = file_slots[SLOT_FN].stream == nullptr;
    check(watch.closes[SLOT_FN] == (fn_closed ? 1 : 0), "fn.out closed once when its slot is empty");
    pass_participation_factors();
    pass_modal_effective_mass();
    pass_rigid_body_mass();
    check(watch.closes[SLOT_FN] == (fn_closed ? 1 : 0), "only the natural frequency pass closes fn.out");
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (slot != SLOT_FN)
            check(watch.closes[slot] == 0, "no pass closes another slot");

    close_file_slots();
    watch.on = false;
    check_closed_once();
}

void check_outputs(const std::uint8_t *data, std::size_t size) {
    bool exists = false;
    const std::string report = read_file(scratch / REPORT, exists);
    check(exists && std::string_view(report) == std::string_view(reinterpret_cast<const char *>(data), size),
          "the report is left as it was");

    check_lines(output("pf.out"), {.body = COPIED_LINE}, "pf.out");
    check_lines(output("fn.out"), {.body = FN_LINE}, "fn.out");
    check_lines(output("fn_mem_386.out"), {.body = MEM_386_LINE}, "fn_mem_386.out");
    check_lines(output("mem.out"),
                {.first_lines = MEM_HEAD_LINES, .first = MEM_HEAD_LINE, .body = COPIED_LINE}, "mem.out");
    const std::string mass = output("mass.out");
    check_lines(mass, {.body = COPIED_LINE, .last = MASS_LINE}, "mass.out");
    check(mass.empty() || mass.ends_with(" lbm\n"), "mass.out ends with its mass line");
    check(output("fn_mem.out").empty(), "fn_mem.out stays empty");
    check(output("fn_mem_u.out").empty(), "fn_mem_u.out stays empty");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The passes' console text would drown libFuzzer's own lines.
    check(std::freopen("/dev/null", "w", stdout) != nullptr, "standard output to /dev/null");
    std::string pattern = (std::filesystem::temp_directory_path() / "f06-run-fuzz-XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr, "scratch directory");
    scratch = pattern;
    std::atexit(remove_scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    reset_state();
    write_file(scratch / REPORT, data, size);
    const int home = ::open(".", O_RDONLY | O_DIRECTORY);
    check(home >= 0 && ::chdir(scratch.c_str()) == 0, "enter the scratch directory");

    run_passes();

    check(::fchdir(home) == 0, "leave the scratch directory");
    ::close(home);
    check_outputs(data, size);
    for (const char *name : OUTPUTS)
        std::filesystem::remove(scratch / name);
    std::filesystem::remove(scratch / REPORT);
    return 0;
}
