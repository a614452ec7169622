// Writes a synthetic NX Nastran-like .f06 report of any size, for timing
// f06modes on reports far larger than any kept as test data.
//
//   make_report --lines N [--crlf] [--sections-at LINE | --no-sections] -o PATH
//
// The report is pages of 55 lines, each led by a page header whose first byte
// is '1' and which names NX NASTRAN and the page number; the pages hold
// eigenvector (displacement) and QUAD4 stress output. With sections, four
// pages starting at line LINE hold the real eigenvalue table, the modal
// participation factors, the modal effective mass (with its TOTAL row) and
// the grid point weight generator's mass block; each is ended by the next
// page header. Without sections no line holds any of the four headings the
// program looks for. The output is the same on every run (fixed seed).

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Options {
    std::uint64_t lines = 100000;
    bool crlf = false;
    bool sections = true;
    std::uint64_t sections_at = 1;
    std::string output;
};

[[noreturn]] void usage_error(const char *message) {
    std::fprintf(stderr,
                 "make_report: %s\n"
                 "usage: make_report [--lines N] [--crlf] [--sections-at LINE | --no-sections]"
                 " -o PATH\n"
                 "  --lines N          lines in the report (default 100000)\n"
                 "  --crlf             CR LF line ends (default LF)\n"
                 "  --sections-at LINE the four sections start at this line (default 1)\n"
                 "  --no-sections      no eigenvalue, participation, effective mass or\n"
                 "                     weight generator section anywhere\n"
                 "  -o, --output PATH  where to write the report\n",
                 message);
    std::exit(2);
}

std::uint64_t parse_count(const char *text, const char *option) {
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value == 0)
        usage_error((std::string(option) + " needs a positive whole number").c_str());
    return value;
}

Options parse_options(int argc, char **argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--lines" && has_value)
            options.lines = parse_count(argv[++i], "--lines");
        else if (arg == "--sections-at" && has_value)
            options.sections_at = parse_count(argv[++i], "--sections-at"), options.sections = true;
        else if (arg == "--no-sections")
            options.sections = false;
        else if (arg == "--crlf")
            options.crlf = true;
        else if ((arg == "-o" || arg == "--output") && has_value)
            options.output = argv[++i];
        else
            usage_error(("unknown option or missing value: " + std::string(arg)).c_str());
    }
    if (options.output.empty())
        usage_error("no output path (-o PATH)");
    return options;
}

// SplitMix64: tiny, fast and the same on every platform and library.
class Random {
public:
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }

private:
    std::uint64_t state_ = 0x0F06F06F06F06F06ULL;
};

// Appends text to a line under construction.
void put(std::string &line, std::string_view text) {
    line.append(text);
}

void pad_to(std::string &line, std::size_t width) {
    if (line.size() < width)
        line.append(width - line.size(), ' ');
}

// Appends value right-aligned in width columns.
void put_int(std::string &line, std::uint64_t value, int width) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int pad = width - n; pad > 0; --pad)
        line.push_back(' ');
    while (n > 0)
        line.push_back(digits[--n]);
}

// Appends a random number in Nastran's E format ("-2.468851E-03"),
// right-aligned in width columns, without going through printf: the filler
// holds hundreds of millions of them.
void put_random_e(std::string &line, Random &random, int width, int min_exp, int max_exp,
                  bool may_be_negative) {
    const std::uint64_t bits = random.next();
    const bool negative = may_be_negative && (bits & 1) != 0;
    std::uint64_t mantissa = 1000000 + (bits >> 8) % 9000000;
    const int exponent = min_exp + static_cast<int>((bits >> 1) % (max_exp - min_exp + 1));
    char text[16];
    int n = 0;
    if (negative)
        text[n++] = '-';
    char digits[7];
    for (int i = 6; i >= 0; --i, mantissa /= 10)
        digits[i] = static_cast<char>('0' + mantissa % 10);
    text[n++] = digits[0];
    text[n++] = '.';
    for (int i = 1; i < 7; ++i)
        text[n++] = digits[i];
    text[n++] = 'E';
    text[n++] = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    text[n++] = static_cast<char>('0' + magnitude / 10);
    text[n++] = static_cast<char>('0' + magnitude % 10);
    for (int pad = width - n; pad > 0; --pad)
        line.push_back(' ');
    line.append(text, static_cast<std::size_t>(n));
}

// Appends value in C's %E format, right-aligned in width columns.
void put_e(std::string &line, double value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%*E", width, value);
    line.append(text);
}

constexpr int PAGE_LINES = 55;
constexpr int MODE_COUNT = 40;
constexpr double RIGID_MASS = 2.59e-01;
constexpr double PI = 3.14159265358979323846;

// The page header and the two lines under it, as NX Nastran prints them.
std::vector<std::string> page_header(std::uint64_t page) {
    std::string header = "1    BENCH PLATE MODEL";
    pad_to(header, 74);
    put(header, "JANUARY  14, 2025  NX NASTRAN  6/15/22   PAGE ");
    put_int(header, page, 6);
    std::string title = "      MODAL ANALYSIS, FREE-FREE PLATE";
    pad_to(title, 132);
    std::string subcase = "0";
    pad_to(subcase, 112);
    put(subcase, "SUBCASE 1");
    pad_to(subcase, 132);
    return {header, title, subcase};
}

double frequency(int mode) {
    return mode <= 6 ? 1.0e-4 * mode : 12.5 + 7.75 * (mode - 6) + 0.125 * (mode - 6) * (mode - 6);
}

void add_eigenvalue_table(std::vector<std::string> &lines) {
    lines.emplace_back(" ");
    lines.emplace_back("                                              R E A L   E I G E N V A L U E S");
    lines.emplace_back("   MODE    EXTRACTION      EIGENVALUE            RADIANS             CYCLES"
                       "            GENERALIZED         GENERALIZED");
    lines.emplace_back("    NO.       ORDER                                                        "
                       "               MASS              STIFFNESS");
    for (int mode = 1; mode <= MODE_COUNT; ++mode) {
        const double radians = 2.0 * PI * frequency(mode);
        std::string row;
        put_int(row, static_cast<std::uint64_t>(mode), 9);
        put_int(row, static_cast<std::uint64_t>(mode), 10);
        put_e(row, radians * radians, 20);
        put_e(row, radians, 20);
        put_e(row, frequency(mode), 20);
        put_e(row, 1.0, 20);
        put_e(row, radians * radians, 20);
        lines.push_back(row);
    }
}

// The heading of the participation factor and effective mass tables.
void add_modal_table_heading(std::vector<std::string> &lines, const char *heading) {
    lines.emplace_back("");
    lines.emplace_back(heading);
    lines.emplace_back("");
    lines.emplace_back("    MODE     FREQUENCY               T1                T2                T3"
                       "                R1                R2                R3");
    lines.emplace_back("     NO.");
    lines.emplace_back("");
}

// A smooth, mode-dependent value for table cells, so every run prints the same.
double cell(int mode, int column, bool signed_value) {
    const double magnitude = std::pow(10.0, 1 - (mode + column) % 7) * (1.0 + 0.37 * column + 0.011 * mode);
    return signed_value && (mode + column) % 3 == 0 ? -magnitude : magnitude;
}

void add_participation_factors(std::vector<std::string> &lines) {
    add_modal_table_heading(lines, "                                                     MODAL PARTICIPATION FACTORS");
    for (int mode = 1; mode <= MODE_COUNT; ++mode) {
        std::string row;
        put_int(row, static_cast<std::uint64_t>(mode), 8);
        put(row, "    ");
        put_e(row, frequency(mode), 12);
        for (int column = 0; column < 6; ++column)
            put_e(row, cell(mode, column, true), 18);
        lines.push_back(row);
    }
    lines.emplace_back("");
}

void add_effective_mass(std::vector<std::string> &lines) {
    add_modal_table_heading(lines, "                                                         MODAL EFFECTIVE MASS   ");
    double totals[6] = {};
    for (int mode = 1; mode <= MODE_COUNT; ++mode) {
        std::string row;
        put_int(row, static_cast<std::uint64_t>(mode), 8);
        put(row, "    ");
        put_e(row, frequency(mode), 12);
        for (int column = 0; column < 6; ++column) {
            totals[column] += cell(mode, column, false);
            put_e(row, cell(mode, column, false), 18);
        }
        lines.push_back(row);
    }
    lines.emplace_back("");
    std::string total = "                  TOTAL";
    put_e(total, totals[0], 19);
    for (int column = 1; column < 6; ++column)
        put_e(total, totals[column], 18);
    lines.push_back(total);
    lines.emplace_back("");
    lines.emplace_back("");
}

// One row of a matrix in the weight generator's "* ... *" layout.
std::string matrix_row(int indent, const std::vector<double> &values) {
    std::string row(static_cast<std::size_t>(indent), ' ');
    put(row, "*");
    for (double value : values)
        put_e(row, value, 14);
    put(row, " *");
    return row;
}

void add_weight_generator(std::vector<std::string> &lines) {
    const double m = RIGID_MASS;
    const double x = 2.0e+01, y = 1.5e+01, z = -6.0e-01;
    lines.emplace_back("                                           O U T P U T   F R O M   G R I D   P O I N T"
                       "   W E I G H T   G E N E R A T O R");
    lines.emplace_back("0                                                     REFERENCE POINT =        0");
    lines.emplace_back("                                                                M O");
    lines.push_back(matrix_row(22, {m, 0.0, 0.0, 0.0, m * z, -m * y}));
    lines.push_back(matrix_row(22, {0.0, m, 0.0, -m * z, 0.0, m * x}));
    lines.push_back(matrix_row(22, {0.0, 0.0, m, m * y, -m * x, 0.0}));
    lines.push_back(matrix_row(22, {0.0, -m * z, m * y, m * (y * y + z * z), -m * x * y, -m * x * z}));
    lines.push_back(matrix_row(22, {m * z, 0.0, -m * x, -m * x * y, m * (x * x + z * z), -m * y * z}));
    lines.push_back(matrix_row(22, {-m * y, m * x, 0.0, -m * x * z, -m * y * z, m * (x * x + y * y)}));
    lines.emplace_back("                                                                 S");
    lines.push_back(matrix_row(43, {1.0, 0.0, 0.0}));
    lines.push_back(matrix_row(43, {0.0, 1.0, 0.0}));
    lines.push_back(matrix_row(43, {0.0, 0.0, 1.0}));
    lines.emplace_back("                               DIRECTION");
    lines.emplace_back("                          MASS AXIS SYSTEM (S)     MASS              X-C.G.        Y-C.G.        Z-C.G.");
    const char *axes[3] = {"X", "Y", "Z"};
    const double cg[3][3] = {{0.0, y, z}, {x, 0.0, z}, {x, y, 0.0}};
    for (int axis = 0; axis < 3; ++axis) {
        std::string row(34, ' ');
        put(row, axes[axis]);
        put_e(row, m, 24);
        put_e(row, cg[axis][0], 18);
        put_e(row, cg[axis][1], 14);
        put_e(row, cg[axis][2], 14);
        lines.push_back(row);
    }
    lines.emplace_back("                                                                I(S)");
    lines.push_back(matrix_row(43, {m * (y * y + z * z), -m * x * y, -m * x * z}));
    lines.push_back(matrix_row(43, {-m * x * y, m * (x * x + z * z), -m * y * z}));
    lines.push_back(matrix_row(43, {-m * x * z, -m * y * z, m * (x * x + y * y)}));
    lines.emplace_back("");
}

// Where each heading stands, as 1-based report line numbers.
struct SectionLines {
    std::uint64_t eigenvalues = 0, participation = 0, effective_mass = 0, weight = 0;
};

std::uint64_t line_of(const std::vector<std::string> &lines, std::uint64_t first, const char *marker) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(marker) != std::string::npos)
            return first + i;
    return 0;
}

// The four section pages, each started by a page header; the first page is numbered page.
std::vector<std::string> section_pages(std::uint64_t page) {
    std::vector<std::string> lines;
    void (*const builders[4])(std::vector<std::string> &) = {
        add_eigenvalue_table, add_participation_factors, add_effective_mass, add_weight_generator};
    for (auto build : builders) {
        for (auto &line : page_header(page++))
            lines.push_back(std::move(line));
        build(lines);
    }
    return lines;
}

// Builds the report in a large buffer and writes it with fwrite.
class ReportWriter {
public:
    ReportWriter(std::FILE *file, bool crlf) : file_(file), eol_(crlf ? "\r\n" : "\n") {
        buffer_.reserve(FLUSH_AT + 4096);
    }

    void line(std::string_view text) {
        buffer_.append(text);
        buffer_.append(eol_);
        ++lines_;
        if (buffer_.size() >= FLUSH_AT)
            flush();
    }

    void flush() {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            std::perror("make_report: write");
            std::exit(1);
        }
        bytes_ += buffer_.size();
        buffer_.clear();
    }

    std::uint64_t lines() const { return lines_; }
    std::uint64_t bytes() const { return bytes_ + buffer_.size(); }

private:
    static constexpr std::size_t FLUSH_AT = 8u << 20;
    std::FILE *file_;
    std::string_view eol_;
    std::string buffer_;
    std::uint64_t lines_ = 0;
    std::uint64_t bytes_ = 0;
};

// Page after page of eigenvector and QUAD4 stress output, one line at a time.
class Filler {
public:
    // The next filler line; a new page starts after 55 lines or after restart().
    void next(std::string &line) {
        line.clear();
        if (row_ == PAGE_LINES)
            row_ = 0;
        if (row_ == 0)
            start_page();
        if (row_ < static_cast<int>(page_top_.size()))
            line = page_top_[static_cast<std::size_t>(row_)];
        else if (stress_page_)
            stress_row(line);
        else
            point_row(line);
        ++row_;
    }

    // Makes the next line a page header.
    void restart() { row_ = 0; }

    std::uint64_t next_page() const { return page_; }
    void skip_pages(std::uint64_t count) { page_ += count; }

private:
    void start_page() {
        page_top_ = page_header(page_++);
        // One page in three is stress output; the rest are mode shapes.
        stress_page_ = random_.below(3) == 0;
        if (stress_page_) {
            page_top_.emplace_back("                         S T R E S S E S   I N   Q U A D R I L A T E R A L"
                                   "   E L E M E N T S   ( Q U A D 4 )");
            page_top_.emplace_back("  ELEMENT      FIBER               STRESSES IN ELEMENT COORD SYSTEM"
                                   "             PRINCIPAL STRESSES (ZERO SHEAR)");
            page_top_.emplace_back("    ID.       DISTANCE           NORMAL-X       NORMAL-Y      SHEAR-XY"
                                   "       ANGLE         MAJOR           MINOR        VON MISES");
            return;
        }
        if (++pages_of_mode_ == 40)
            pages_of_mode_ = 0, ++mode_, point_ = 100;
        const double cycles_value = frequency(static_cast<int>(mode_ % 1000));
        std::string eigenvalue = "      EIGENVALUE =";
        put_e(eigenvalue, (2.0 * PI * cycles_value) * (2.0 * PI * cycles_value), 14);
        std::string cycles = "          CYCLES =";
        put_e(cycles, cycles_value, 14);
        put(cycles, "         R E A L   E I G E N V E C T O R   N O .");
        put_int(cycles, mode_, 11);
        page_top_.push_back(eigenvalue);
        page_top_.push_back(cycles);
        page_top_.emplace_back(" ");
        page_top_.emplace_back("      POINT ID.   TYPE          T1             T2             T3"
                               "             R1             R2             R3");
    }

    // "           101      G      2.248901E-02  ...", sometimes with a zero
    // rotation ("0.0") or padded with blanks to the 132-column page width.
    void point_row(std::string &line) {
        const std::uint64_t kind = random_.below(8);
        put_int(line, ++point_, 14);
        put(line, "      G   ");
        const int numbers = kind == 0 ? 5 : 6;
        for (int i = 0; i < numbers; ++i)
            put_random_e(line, random_, 15, -9, 1, true);
        if (kind == 0)
            put(line, "   0.0");
        else if (kind == 1)
            pad_to(line, 114 + random_.below(19));
    }

    // An element's two fibre rows: "0      1001  -5.000000E-02 ..." then the top fibre.
    void stress_row(std::string &line) {
        const bool bottom = (row_ - static_cast<int>(page_top_.size())) % 2 == 0;
        if (bottom) {
            line.push_back('0');
            put_int(line, ++element_, 9);
            put(line, "   -5.000000E-02");
        } else {
            put(line, "                5.000000E-02");
        }
        for (int i = 0; i < 3; ++i)
            put_random_e(line, random_, 15, -2, 4, true);
        line.append("   ");
        put_int(line, random_.below(90), 4);
        line.push_back('.');
        put_int(line, 1000 + random_.below(9000), 4);
        put_random_e(line, random_, 16, -2, 4, true);
        put_random_e(line, random_, 15, -2, 4, true);
        put_random_e(line, random_, 15, 0, 4, false);
    }

    Random random_;
    std::vector<std::string> page_top_;
    int row_ = 0;
    bool stress_page_ = false;
    std::uint64_t page_ = 1;
    std::uint64_t mode_ = 1;
    int pages_of_mode_ = 0;
    std::uint64_t point_ = 100;
    std::uint64_t element_ = 1000;
};

}  // namespace

int main(int argc, char **argv) {
    const Options options = parse_options(argc, argv);
    const std::uint64_t section_lines = section_pages(1).size();
    if (options.sections && options.sections_at - 1 + section_lines > options.lines) {
        std::fprintf(stderr, "make_report: the %" PRIu64 " section lines do not fit in %" PRIu64
                     " lines from line %" PRIu64 "\n", section_lines, options.lines, options.sections_at);
        return 2;
    }
    const std::string partial = options.output + ".part";
    std::FILE *file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_report: cannot create %s: %s\n", partial.c_str(), std::strerror(errno));
        return 1;
    }
    ReportWriter writer(file, options.crlf);
    Filler filler;
    SectionLines where;
    std::string line;
    line.reserve(256);
    while (writer.lines() < options.lines) {
        if (options.sections && writer.lines() + 1 == options.sections_at) {
            const std::vector<std::string> sections = section_pages(filler.next_page());
            const std::uint64_t first = options.sections_at;
            where = {line_of(sections, first, "R E A L   E I G E N V A L U E S"),
                     line_of(sections, first, "MODAL PARTICIPATION FACTORS"),
                     line_of(sections, first, "MODAL EFFECTIVE"), line_of(sections, first, "X-C.G.")};
            for (const auto &section_line : sections)
                writer.line(section_line);
            filler.skip_pages(4);
            filler.restart();
            continue;
        }
        filler.next(line);
        writer.line(line);
    }
    writer.flush();
    if (std::fclose(file) != 0 || std::rename(partial.c_str(), options.output.c_str()) != 0) {
        std::fprintf(stderr, "make_report: cannot finish %s: %s\n", options.output.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%s: %" PRIu64 " lines, %" PRIu64 " bytes", options.output.c_str(), writer.lines(), writer.bytes());
    if (options.sections && where.eigenvalues != 0)
        std::printf("; headings at lines %" PRIu64 " (eigenvalues), %" PRIu64 " (participation factors), %" PRIu64
                    " (effective mass), %" PRIu64 " (X-C.G.)",
                    where.eigenvalues, where.participation, where.effective_mass, where.weight);
    else
        std::printf("; no sections");
    std::printf("\n");
    return 0;
}
