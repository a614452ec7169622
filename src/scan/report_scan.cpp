// Report line scanning: the shared line buffer and word fields, the bounded
// line read, the marker test, the rewind and the scanf-style line parse.

#include "scan/report_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "run/file_slots.h"

std::array<char, LINE_READ_MAX + 1> report_line{};
std::array<WordField, WORD_COUNT> report_words{};

/* ---------------------------------------------------------- reading ---- */

bool read_report_line() {
    FileSlot &report = file_slots[SLOT_REPORT];
    // Read aside first: a read that yields nothing must leave the line as it was.
    std::array<char, LINE_READ_MAX + 1> next{};
    if (std::fgets(next.data(), static_cast<int>(next.size()), report.stream) == nullptr) {
        if (std::ferror(report.stream))
            report.failed = true;
        return false;
    }
    report_line = next;
    return true;
}

bool search_report(const char *marker, int &searched, int limit) {
    while (searched < limit) {
        if (!read_report_line())
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

void rewind_report() {
    FileSlot &report = file_slots[SLOT_REPORT];
    if (std::ferror(report.stream))
        report.failed = true;
    std::rewind(report.stream);
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
std::size_t number_length(const char *text, const char *exponent_letters) {
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
    if (*at != '\0' && std::strchr(exponent_letters, *at) != nullptr) {
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
