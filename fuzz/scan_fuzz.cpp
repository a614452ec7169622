// libFuzzer target over the report scanner: arbitrary bytes as a report,
// driven through reads, marker tests, heading searches, rewinds, line parses
// and word conversions. Every step is checked against a plain model of the
// report's lines (a read position, lines split after a newline or 199 bytes),
// and the whole run is done twice: once with the scanner's heading search and
// once with a line-by-line search (read_report_line + line_has), which must
// end at the same line with the same result and count.
//
// Input layout: the report is the front of the input; the operations are
// taken from its end (FuzzedDataProvider's integers come from the back). A
// layout byte may put filler lines before the report, so that the report
// stands around the end of the scanner's first 256 KiB block.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "scan_fuzz: invariant broken: %s\n", what);
        std::abort();
    }
}

/* ------------------------------------------------------------ model ---- */

constexpr std::size_t BLOCK_SIZE = 256 * 1024;  // the scanner's read-ahead block
constexpr int LARGE_LIMIT = 10'000'000;         // the passes' heading search limit
constexpr int MAX_OPERATIONS = 48;
constexpr int MAX_DRAIN_READS = 4000;
const std::string INITIAL_LINE = "initial line\n";

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

// report_line as a string: the bytes before its first zero.
std::string_view visible(std::string_view bytes) {
    return bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
}

// The report as the scanner must deliver it: a read position over its bytes
// and the line last delivered (which may hold zero bytes).
class ReportModel {
public:
    explicit ReportModel(std::string_view bytes) : bytes_(bytes) {}

    bool read() {
        if (position_ == bytes_.size())
            return false;
        const std::string_view rest = bytes_.substr(position_, LINE_READ_MAX);
        const std::size_t newline = rest.find('\n');
        line_ = rest.substr(0, newline == std::string_view::npos ? rest.size() : newline + 1);
        position_ += line_.size();
        return true;
    }
    bool has(std::string_view marker) const {
        return visible(line_).find(marker) != std::string_view::npos;
    }
    bool search(std::string_view marker, int &searched, int limit) {
        for (; searched < limit; ++searched) {
            if (!read())
                return false;
            if (has(marker))
                return true;
        }
        return false;
    }
    void rewind() { position_ = 0; }
    void reset_line(const std::string &line) { line_ = line; }
    const std::string &line() const { return line_; }
    std::size_t position() const { return position_; }
    bool at_end() const { return position_ == bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t position_ = 0;
    std::string line_;
};

void check_line(const ReportModel &model) {
    const std::string &line = model.line();
    check(line.size() <= LINE_READ_MAX, "model line of at most 199 bytes");
    check(std::memchr(report_line.data(), '\0', report_line.size()) != nullptr,
          "report_line zero-terminated within 200 bytes");
    check(std::memcmp(report_line.data(), line.data(), line.size()) == 0 &&
              report_line[line.size()] == '\0',
          "report_line holds the report's bytes at the read position");
}

void check_words() {
    for (const WordField &word : report_words)
        check(std::memchr(word.data(), '\0', word.size()) != nullptr,
              "word field zero-terminated within 20 bytes");
}

// The line parse's conversions, as the scanner's header states them, over
// the visible part of a line.
struct ParseModel {
    std::string_view text;
    std::size_t at = 0;

    void skip_blanks() {
        while (at < text.size() && blank(text[at]))
            ++at;
    }
    std::size_t digits_from(std::size_t from) const {
        std::size_t end = from;
        while (end < text.size() && digit(text[end]))
            ++end;
        return end - from;
    }
    std::optional<std::string> word() {
        skip_blanks();
        const std::size_t start = at;
        while (at < text.size() && !blank(text[at]))
            ++at;
        if (at == start)
            return std::nullopt;
        return std::string(text.substr(start, std::min<std::size_t>(at - start, WORD_MAX)));
    }
    std::optional<int> whole() {
        skip_blanks();
        std::size_t from = at;
        const bool negative = from < text.size() && text[from] == '-';
        if (from < text.size() && (text[from] == '+' || text[from] == '-'))
            ++from;
        const std::size_t count = digits_from(from);
        if (count == 0)
            return std::nullopt;
        long long magnitude = 0;
        for (std::size_t i = from; i < from + count; ++i)
            magnitude = std::min(magnitude * 10 + (text[i] - '0'), 10'000'000'000LL);
        at = from + count;
        const long long value = negative ? -magnitude : magnitude;
        return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
    }
    // Length of the number at `at`: sign, digits with at most one point, and
    // an exponent (one of the letters) only when digits follow it.
    std::size_t number_length(std::string_view letters) const {
        std::size_t end = at;
        if (end < text.size() && (text[end] == '+' || text[end] == '-'))
            ++end;
        const std::size_t whole_digits = digits_from(end);
        end += whole_digits;
        std::size_t fraction_digits = 0;
        if (end < text.size() && text[end] == '.') {
            fraction_digits = digits_from(end + 1);
            if (whole_digits + fraction_digits > 0)
                end += 1 + fraction_digits;
        }
        if (whole_digits + fraction_digits == 0)
            return 0;
        if (end < text.size() && letters.find(text[end]) != std::string_view::npos) {
            std::size_t exponent = end + 1;
            if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
                ++exponent;
            const std::size_t count = digits_from(exponent);
            if (count > 0)
                end = exponent + count;
        }
        return end - at;
    }
    static double value_of(std::string_view number) {
        std::string copy(number);
        std::replace_if(copy.begin(), copy.end(), [](char c) { return c == 'd' || c == 'D'; }, 'e');
        return std::strtod(copy.c_str(), nullptr);
    }
    std::optional<double> real() {
        skip_blanks();
        const std::size_t length = number_length("eE");
        if (length == 0)
            return std::nullopt;
        const double value = value_of(text.substr(at, length));
        at += length;
        return value;
    }
};

double model_word_to_number(const WordField &word) {
    ParseModel parse{std::string_view(word.data())};
    parse.skip_blanks();
    return ParseModel::value_of(parse.text.substr(parse.at, parse.number_length("eEdD")));
}

bool same_double(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

/* ------------------------------------------------------- operations ---- */

const std::array<const char *, 12> MARKERS = {
    "NX",
    "MAX",
    "SIMCENTER",
    "E+",
    "E-",
    "TOTAL",
    "FRACTION",
    "CYCLES",
    "X-C.G.",
    "MODAL EFFECTIVE",
    "MODAL PARTICIPATION FACTORS",
    "R E A L   E I G E N V A L U E S",
};

enum class Kind { Read, Search, Has, Rewind, ParseWords, ParseLine, WordToNumber, SetWord, ClearWords, Advance };
constexpr int KIND_COUNT = 10;

enum Target { INT_TARGET, REAL_TARGET, WORD_TARGET };

struct Operation {
    Kind kind = Kind::Read;
    std::string marker;           // Search, Has
    int searched = 0;             // Search: the count on entry
    int limit = 0;                // Search
    int count = 0;                // Read: reads; ParseWords: fields; Advance: bytes short of the report
    std::vector<Target> targets;  // ParseLine
    int field = 0;                // WordToNumber, SetWord
    std::string word;             // SetWord
};

// A marker the passes use, or a short one from the input. Markers the passes
// could never use are left out: the empty one, a lone newline (report lines
// hold a newline only at their end, and the search skims by newlines) and
// long ones (the search reads up to a marker's length past the block).
std::string choose_marker(FuzzedDataProvider &input) {
    const auto pick = input.ConsumeIntegralInRange<std::size_t>(0, MARKERS.size() + 3);
    if (pick < MARKERS.size())
        return MARKERS[pick];
    std::string marker;
    const int length = input.ConsumeIntegralInRange(1, 32);
    for (int i = 0; i < length; ++i)
        marker.push_back(input.ConsumeIntegral<char>());
    marker = std::string(visible(marker));
    return marker.empty() || marker == "\n" ? "NX" : marker;
}

Operation decode(FuzzedDataProvider &input) {
    Operation op;
    op.kind = static_cast<Kind>(input.ConsumeIntegralInRange(0, KIND_COUNT - 1));
    switch (op.kind) {
    case Kind::Read:
        op.count = input.ConsumeIntegralInRange(1, 8);
        break;
    case Kind::Search: {
        op.marker = choose_marker(input);
        switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0: op.limit = input.ConsumeIntegralInRange(0, 8); break;
        case 1: op.limit = input.ConsumeIntegralInRange(9, 600); break;
        default: op.limit = LARGE_LIMIT; break;
        }
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: op.searched = 0; break;
        case 1: op.searched = input.ConsumeIntegralInRange(0, 8); break;
        case 2: op.searched = op.limit - input.ConsumeIntegralInRange(0, 3); break;
        default: op.searched = op.limit + input.ConsumeIntegralInRange(0, 2); break;
        }
        break;
    }
    case Kind::Has:
        op.marker = choose_marker(input);
        break;
    case Kind::ParseWords:
        op.count = input.ConsumeIntegralInRange(0, WORD_COUNT);
        break;
    case Kind::ParseLine:
        for (int n = input.ConsumeIntegralInRange(0, 8); n > 0; --n)
            op.targets.push_back(static_cast<Target>(input.ConsumeIntegralInRange(0, 2)));
        break;
    case Kind::WordToNumber:
        op.field = input.ConsumeIntegralInRange(0, WORD_COUNT - 1);
        break;
    case Kind::SetWord:
        op.field = input.ConsumeIntegralInRange(0, WORD_COUNT - 1);
        for (int n = input.ConsumeIntegralInRange(0, WORD_MAX); n > 0; --n)
            op.word.push_back(input.ConsumeIntegral<char>());
        break;
    case Kind::Advance:
        op.count = input.ConsumeIntegralInRange(0, 400);
        break;
    case Kind::Rewind:
    case Kind::ClearWords:
        break;
    }
    return op;
}

// What one operation left behind, compared between the two runs.
struct Step {
    int result = 0;
    int searched = 0;
    std::string line;
    bool operator==(const Step &) const = default;
};

bool search_line_by_line(const char *marker, int &searched, int limit) {
    for (; searched < limit; ++searched) {
        if (!read_report_line())
            return false;
        if (line_has(marker))
            return true;
    }
    return false;
}

/* ----------------------------------------------------------- runner ---- */

class Runner {
public:
    Runner(std::string_view report, std::size_t report_start, bool line_by_line)
        : model_(report), report_start_(report_start), line_by_line_(line_by_line) {
        model_.reset_line(INITIAL_LINE);
    }

    Step run(const Operation &op) {
        Step step;
        switch (op.kind) {
        case Kind::Read:
            for (int n = 0; n < op.count; ++n)
                step.result += read_checked() ? 1 : 0;
            break;
        case Kind::Search:
            step.searched = op.searched;
            step.result = search(op, step.searched) ? 1 : 0;
            break;
        case Kind::Has:
            step.result = line_has(op.marker.c_str()) ? 1 : 0;
            check(step.result == (model_.has(op.marker) ? 1 : 0), "line_has as the model");
            check(line_has_page_header() == (model_.has("NX") || model_.has("SIMCENTER")),
                  "line_has_page_header as the model");
            break;
        case Kind::Rewind:
            rewind_report();
            model_.rewind();
            break;
        case Kind::ParseWords:
            step.result = parse_words(op.count);
            break;
        case Kind::ParseLine:
            step.result = parse_line(op.targets);
            break;
        case Kind::WordToNumber:
            word_to_number_checked(report_words[op.field]);
            break;
        case Kind::SetWord:
            report_words[op.field] = {};
            std::copy(op.word.begin(), op.word.end(), report_words[op.field].begin());
            word_to_number_checked(report_words[op.field]);
            break;
        case Kind::ClearWords:
            clear_report_words();
            for (const WordField &word : report_words)
                check(word == WordField{}, "cleared word fields are empty");
            break;
        case Kind::Advance:
            // Reads on to a little before the report, through the filler.
            while (model_.position() + static_cast<std::size_t>(op.count) < report_start_ &&
                   read_checked()) {
            }
            break;
        }
        check_line(model_);
        check_words();
        step.line = model_.line();
        return step;
    }

    // Reads to the end (within a bound), each line as the model gives it.
    void drain() {
        for (int n = 0; n < MAX_DRAIN_READS && read_checked(); ++n) {
        }
        if (model_.at_end())
            check(!read_checked(), "no line after the end");
    }

private:
    bool read_checked() {
        const bool read = read_report_line();
        check(read == model_.read(), "read_report_line yields a line exactly when the model does");
        check_line(model_);
        return read;
    }

    bool search(const Operation &op, int &searched) {
        int expected_searched = searched;
        const bool expected = model_.search(op.marker, expected_searched, op.limit);
        const bool found = line_by_line_ ? search_line_by_line(op.marker.c_str(), searched, op.limit)
                                         : search_report(op.marker.c_str(), searched, op.limit);
        check(found == expected, "search result as the model");
        check(searched == expected_searched, "search count as the model");
        check(searched <= std::max(op.limit, op.searched), "search count within its limit");
        return found;
    }

    int parse_words(int count) {
        const auto before = report_words;
        const int filled = parse_report_words(count);
        check(filled >= 0 && filled <= count, "word parse count within 0..fields");
        ParseModel parse{visible(model_.line())};
        int expected = 0;
        for (int field = 0; field < count; ++field) {
            const std::optional<std::string> word = parse.word();
            if (!word)
                break;
            ++expected;
            check(std::string_view(report_words[field].data()) == *word, "word field as the model");
        }
        check(filled == expected, "word parse count as the model");
        for (int field = filled; field < WORD_COUNT; ++field)
            check(report_words[field] == before[field], "unfilled word fields keep their words");
        return filled;
    }

    int parse_line(const std::vector<Target> &kinds) {
        constexpr int SENTINEL_INT = 0x5a5a5a5a;
        constexpr double SENTINEL_REAL = -12345.625;
        std::array<int, 8> ints;
        std::array<double, 8> reals;
        std::array<WordField, 8> words;
        ints.fill(SENTINEL_INT);
        reals.fill(SENTINEL_REAL);
        for (WordField &word : words)
            word.fill('Q');
        std::array<ParseTarget, 8> targets;
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            switch (kinds[i]) {
            case INT_TARGET: targets[i] = &ints[i]; break;
            case REAL_TARGET: targets[i] = &reals[i]; break;
            case WORD_TARGET: targets[i] = &words[i]; break;
            }
        }
        const int filled = parse_targets(targets, static_cast<int>(kinds.size()));
        check(filled >= 0 && filled <= static_cast<int>(kinds.size()), "line parse count within 0..targets");

        ParseModel parse{visible(model_.line())};
        int expected = 0;
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            bool took = false;
            if (kinds[i] == INT_TARGET) {
                const std::optional<int> value = parse.whole();
                took = value.has_value();
                if (took && static_cast<int>(i) < filled)
                    check(ints[i] == *value, "%d value as the model");
            } else if (kinds[i] == REAL_TARGET) {
                const std::optional<double> value = parse.real();
                took = value.has_value();
                if (took && static_cast<int>(i) < filled)
                    check(same_double(reals[i], *value), "%lf value as the model");
            } else {
                const std::optional<std::string> value = parse.word();
                took = value.has_value();
                if (took && static_cast<int>(i) < filled) {
                    check(std::memchr(words[i].data(), '\0', words[i].size()) != nullptr,
                          "%s target zero-terminated within 20 bytes");
                    check(std::string_view(words[i].data()) == *value, "%s word as the model");
                }
            }
            if (!took)
                break;
            ++expected;
        }
        check(filled == expected, "line parse count as the model");
        for (std::size_t i = static_cast<std::size_t>(filled); i < 8; ++i) {
            check(ints[i] == SENTINEL_INT, "unfilled %d target keeps its value");
            check(same_double(reals[i], SENTINEL_REAL), "unfilled %lf target keeps its value");
            check(std::all_of(words[i].begin(), words[i].end(), [](char c) { return c == 'Q'; }),
                  "unfilled %s target keeps its bytes");
        }
        return filled;
    }

    // parse_report_line takes an initializer list: one call per length.
    static int parse_targets(const std::array<ParseTarget, 8> &t, int count) {
        switch (count) {
        case 0: return parse_report_line({});
        case 1: return parse_report_line({t[0]});
        case 2: return parse_report_line({t[0], t[1]});
        case 3: return parse_report_line({t[0], t[1], t[2]});
        case 4: return parse_report_line({t[0], t[1], t[2], t[3]});
        case 5: return parse_report_line({t[0], t[1], t[2], t[3], t[4]});
        case 6: return parse_report_line({t[0], t[1], t[2], t[3], t[4], t[5]});
        case 7: return parse_report_line({t[0], t[1], t[2], t[3], t[4], t[5], t[6]});
        default: return parse_report_line({t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7]});
        }
    }

    static void word_to_number_checked(const WordField &word) {
        const double value = word_to_number(word);
        check(!std::isnan(value), "word_to_number gives a number");
        check(same_double(value, model_word_to_number(word)), "word_to_number as the model");
    }

    ReportModel model_;
    std::size_t report_start_;
    bool line_by_line_;
};

// Filler lines that put the report around the end of the first block: lines
// of 64 or 199 bytes (whole lines for the skim), 200 (one read and a lone
// newline) or 250 (two reads), ending `short_of_block` bytes before it.
std::string filler(int layout) {
    if (layout < 128)
        return "";
    const int choice = layout - 128;
    const std::size_t short_of_block = static_cast<std::size_t>(choice % 32) * 13;
    const std::size_t line_length = std::array<std::size_t, 4>{64, 199, 200, 250}[choice / 32];
    std::string line(line_length - 1, '.');
    line += '\n';
    std::string text;
    const std::size_t size = BLOCK_SIZE - short_of_block;
    while (text.size() < size)
        text += line;
    text.resize(size);
    return text;
}

std::vector<Step> run_all(const std::string &report, std::size_t report_start,
                          const std::vector<Operation> &ops, bool line_by_line) {
    report_line = {};
    std::memcpy(report_line.data(), INITIAL_LINE.data(), INITIAL_LINE.size());
    clear_report_words();
    rewind_report();
    Runner runner(report, report_start, line_by_line);
    std::vector<Step> steps;
    steps.reserve(ops.size());
    for (const Operation &op : ops)
        steps.push_back(runner.run(op));
    runner.drain();
    return steps;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int layout = input.ConsumeIntegral<std::uint8_t>();
    std::vector<Operation> ops(static_cast<std::size_t>(input.ConsumeIntegralInRange(0, MAX_OPERATIONS)));
    for (Operation &op : ops)
        op = decode(input);
    const std::string padding = filler(layout);
    const std::string report = padding + input.ConsumeRemainingBytesAsString();

    char empty = 0;
    std::FILE *stream = ::fmemopen(report.empty() ? &empty : const_cast<char *>(report.data()),
                                      report.size(), "rb");
    check(stream != nullptr, "fmemopen");
    file_slots[SLOT_REPORT] = FileSlot{"fuzz report", stream, false};

    const std::vector<Step> skimmed = run_all(report, padding.size(), ops, false);
    const std::vector<Step> line_by_line = run_all(report, padding.size(), ops, true);
    check(skimmed == line_by_line, "search_report ends where the line-by-line search ends");
    check(!file_slots[SLOT_REPORT].failed, "no read error on the report");

    std::fclose(stream);
    file_slots[SLOT_REPORT] = FileSlot{};
    return 0;
}
