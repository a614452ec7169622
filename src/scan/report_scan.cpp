// Report line scanning: the shared line buffer and word fields, the bounded
// line read, the marker test, the rewind and the scanf-style line parse.

#include "scan/report_scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "run/file_slots.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

std::array<char, LINE_READ_MAX + 1> report_line{};
std::array<WordField, WORD_COUNT> report_words{};

/* ---------------------------------------------------------- reading ---- */

namespace {

// The report is read in large blocks rather than line by line through stdio:
// a heading search may have to get through gigabytes. A block always holds at
// least one line read's worth of bytes past the read position, unless the
// report has ended.
constexpr std::size_t BLOCK_SIZE = std::size_t{256} << 10;
// The vector search looks at most a marker's length plus one vector past the
// bytes read.
constexpr std::size_t BLOCK_SLACK = MARKER_MAX + 16;

struct ReadAhead {
    std::array<char, BLOCK_SIZE + BLOCK_SLACK> bytes{};
    std::size_t next = 0;       // first byte not yet delivered
    std::size_t end = 0;        // end of the bytes read
    bool report_ended = false;  // no byte is left to read behind end
    bool at_line_start = true;  // the last line delivered ended with a newline
};

ReadAhead ahead;

// Moves the bytes not yet delivered to the front and reads behind them until
// the block is full or the report ends.
void refill() {
    std::memmove(ahead.bytes.data(), ahead.bytes.data() + ahead.next, ahead.end - ahead.next);
    ahead.end -= ahead.next;
    ahead.next = 0;
    FileSlot &report = file_slots[SLOT_REPORT];
    while (ahead.end < BLOCK_SIZE && !ahead.report_ended) {
        const std::size_t got =
            std::fread(ahead.bytes.data() + ahead.end, 1, BLOCK_SIZE - ahead.end, report.stream);
        ahead.end += got;
        if (got == 0) {
            ahead.report_ended = true;
            if (std::ferror(report.stream))
                report.failed = true;
        }
    }
}

// Copies the next length bytes into report_line and moves past them.
void deliver(std::size_t length) {
    const char *start = ahead.bytes.data() + ahead.next;
    std::memcpy(report_line.data(), start, length);
    report_line[length] = '\0';
    ahead.next += length;
    ahead.at_line_start = start[length - 1] == '\n';
}

}  // namespace

bool read_report_line() {
    if (ahead.end - ahead.next < LINE_READ_MAX && !ahead.report_ended)
        refill();
    const std::size_t left = std::min<std::size_t>(ahead.end - ahead.next, LINE_READ_MAX);
    if (left == 0)
        return false;
    const char *start = ahead.bytes.data() + ahead.next;
    const auto *newline = static_cast<const char *>(std::memchr(start, '\n', left));
    deliver(newline != nullptr ? static_cast<std::size_t>(newline - start) + 1 : left);
    return true;
}

void rewind_report() {
    FileSlot &report = file_slots[SLOT_REPORT];
    if (std::ferror(report.stream))
        report.failed = true;
    std::rewind(report.stream);
    ahead.next = ahead.end = 0;
    ahead.report_ended = false;
    ahead.at_line_start = true;
}

/* --------------------------------------------------------- searching ---- */

namespace {

// The first byte in [at, end) that is a newline or where the marker may
// begin: its first byte there and its last byte length - 1 further on. The
// vector loop reads up to length + 15 bytes past end, into the block's slack.
const char *next_newline_or_candidate(const char *at, const char *end, const char *marker,
                                      std::size_t length) {
    const char first = marker[0];
    const char last = marker[length - 1];
#if defined(__SSE2__)
    const __m128i newlines = _mm_set1_epi8('\n');
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i lasts = _mm_set1_epi8(last);
    for (; at + 16 <= end; at += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + length - 1));
        const __m128i hits =
            _mm_or_si128(_mm_cmpeq_epi8(head, newlines),
                         _mm_and_si128(_mm_cmpeq_epi8(head, firsts), _mm_cmpeq_epi8(tail, lasts)));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0)
            return at + std::countr_zero(mask);
    }
#endif
    for (; at < end; ++at)
        if (*at == '\n' || (*at == first && at[length - 1] == last))
            return at;
    return end;
}

// The end of the line that starts at line, when the whole line, newline
// included, is in the block and the marker does not occur in it; nullptr
// when the line may hold the marker, or has not been read to its end.
const char *end_of_line_without(const char *line, const char *end, const char *marker,
                                std::size_t length) {
    for (const char *at = line;; ++at) {
        at = next_newline_or_candidate(at, end, marker, length);
        if (at == end)
            return nullptr;
        if (*at == '\n')
            return at + 1;
        if (at + length > end || std::memcmp(at, marker, length) == 0)
            return nullptr;
    }
}

// Moves past whole lines that cannot hold the marker, counting each in
// searched while it is below limit: lines of at most one read that are in the
// block and in which the marker does not occur. Stops in front of any other
// line, which the caller reads the usual way, and leaves the last line it
// passed in report_line, as reading it would have.
void skim_lines(const char *marker, int &searched, int limit) {
    const std::size_t length = std::strlen(marker);
    std::size_t last_length = 0;  // of the last line passed, which ends at ahead.next
    const auto deliver_last_line = [&last_length] {
        if (last_length != 0) {
            ahead.next -= last_length;
            deliver(last_length);
            last_length = 0;
        }
    };
    while (searched < limit) {
        const char *line = ahead.bytes.data() + ahead.next;
        const std::size_t left = ahead.end - ahead.next;
        const char *line_end = end_of_line_without(line, line + left, marker, length);
        if (line_end != nullptr && line_end - line <= LINE_READ_MAX) {
            last_length = static_cast<std::size_t>(line_end - line);
            ahead.next += last_length;
            ++searched;
            continue;
        }
        // A line that is cut short by the block's end may still be one to
        // pass: read on first. Any other line ends the skim.
        const bool cut_by_block_end = !ahead.report_ended && left <= LINE_READ_MAX &&
                                      std::memchr(line, '\n', left) == nullptr;
        if (!cut_by_block_end)
            break;
        deliver_last_line();
        refill();
    }
    deliver_last_line();
}

}  // namespace

bool search_report(const char *marker, int &searched, int limit) {
    while (searched < limit) {
        if (ahead.at_line_start)
            skim_lines(marker, searched, limit);
        if (searched >= limit || !read_report_line())
            return false;
        if (line_has(marker))
            return true;
        ++searched;
    }
    return false;
}

bool line_has(const char *marker) {
    return std::strstr(report_line.data(), marker) != nullptr;
}

bool line_has_page_header() {
    return line_has("NX") || line_has("SIMCENTER");
}

void clear_report_words() {
    report_words = {};
}

/* ---------------------------------------------------------- parsing ---- */

namespace {

bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

const char *skip_blanks(const char *at) {
    while (is_blank(*at))
        ++at;
    return at;
}

const char *skip_digits(const char *at) {
    while (is_digit(*at))
        ++at;
    return at;
}

// Length of the number that text begins with, 0 when it begins with none:
//   number   = [+-] (digit+ [. digit*] | . digit+) [exponent]
//   exponent = letter [+-] digit+        (letter one of exponent_letters)
std::size_t number_length(const char *text, std::string_view exponent_letters) {
    const char *at = text;
    if (*at == '+' || *at == '-')
        ++at;
    const char *whole_end = skip_digits(at);
    bool has_digits = whole_end != at;
    at = whole_end;
    if (*at == '.') {
        const char *fraction_end = skip_digits(at + 1);
        if (has_digits || fraction_end != at + 1) {
            has_digits = true;
            at = fraction_end;
        }
    }
    if (!has_digits)
        return 0;
    if (*at != '\0' && exponent_letters.find(*at) != std::string_view::npos) {
        const char *digits = at + 1;
        if (*digits == '+' || *digits == '-')
            ++digits;
        const char *digits_end = skip_digits(digits);
        if (digits_end != digits)
            at = digits_end;
    }
    return static_cast<std::size_t>(at - text);
}

// The double nearest to a number of the form number_length accepts; a D
// exponent letter reads as E.
double number_value(const char *text, std::size_t length) {
    std::array<char, LINE_READ_MAX + 1> number{};
    std::transform(text, text + length, number.begin(),
                   [](char c) { return c == 'D' || c == 'd' ? 'e' : c; });
    return std::strtod(number.data(), nullptr);
}

bool take(const char *&at, WordField &word) {
    const char *start = skip_blanks(at);
    const char *end = start;
    while (*end != '\0' && !is_blank(*end))
        ++end;
    if (end == start)
        return false;
    const auto kept = std::min<std::size_t>(static_cast<std::size_t>(end - start), WORD_MAX);
    std::memcpy(word.data(), start, kept);
    word[kept] = '\0';
    at = end;
    return true;
}

bool take(const char *&at, int &value) {
    const char *start = skip_blanks(at);
    const bool negative = *start == '-';
    const char *digits = (*start == '+' || *start == '-') ? start + 1 : start;
    if (!is_digit(*digits))
        return false;
    // Saturates one past INT32_MAX, which is exactly -INT32_MIN.
    constexpr std::int64_t limit = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    const char *end = digits;
    for (; is_digit(*end); ++end)
        magnitude = std::min(magnitude * 10 + (*end - '0'), limit);
    value = static_cast<int>(negative ? -magnitude : std::min<std::int64_t>(magnitude, INT32_MAX));
    at = end;
    return true;
}

bool take(const char *&at, double &value) {
    const char *start = skip_blanks(at);
    const std::size_t length = number_length(start, "eE");
    if (length == 0)
        return false;
    value = number_value(start, length);
    at = start + length;
    return true;
}

int parse_targets(std::span<const ParseTarget> targets) {
    const char *at = report_line.data();
    int filled = 0;
    for (const ParseTarget &target : targets) {
        if (!std::visit([&at](auto *held) { return take(at, *held); }, target))
            break;
        ++filled;
    }
    return filled;
}

}  // namespace

int parse_report_line(std::initializer_list<ParseTarget> targets) {
    return parse_targets(std::span(targets.begin(), targets.size()));
}

int parse_report_words(int count) {
    std::array<ParseTarget, WORD_COUNT> fields;
    for (int field = 0; field < WORD_COUNT; ++field)
        fields[field] = &report_words[field];
    return parse_targets(std::span(fields).first(count));
}

double word_to_number(const WordField &word) {
    const char *start = skip_blanks(word.data());
    return number_value(start, number_length(start, "eEdD"));
}
