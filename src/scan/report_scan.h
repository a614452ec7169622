// Report line scanning: the one line buffer and the seven word fields that the
// passes share, and the routines that read, test, rewind and parse the report
// held in file slot SLOT_REPORT. The passes read the report only through here.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <variant>

// A report line is at most 199 bytes of the report and a terminating zero.
inline constexpr int LINE_READ_MAX = 199;
inline constexpr int WORD_COUNT = 7;
inline constexpr int WORD_MAX = 19;

using WordField = std::array<char, WORD_MAX + 1>;

// The last report line read, zero-terminated. A read that yields no new line
// and a rewind leave it as it is; it carries over from pass to pass.
extern std::array<char, LINE_READ_MAX + 1> report_line;

// Word field n is report_words[n - 1]; a parse writes only the fields it reaches.
extern std::array<WordField, WORD_COUNT> report_words;

// Reads the next report line into report_line: the bytes up to and including
// the next newline, or the next 199 bytes, or the rest of the report. Returns
// false, leaving report_line untouched, when not one byte could be read.
bool read_report_line();

// Reads report lines until one holds the marker, counting each line that does
// not in searched, as long as searched is below limit. Returns true with that
// line in report_line; false when the limit is reached or the report ends.
// The marker is a heading: 1 to MARKER_MAX bytes, no newline among them.
inline constexpr std::size_t MARKER_MAX = 64;
bool search_report(const char *marker, int &searched, int limit);

// Whether the marker occurs in report_line, before its first zero byte.
bool line_has(const char *marker);

// Whether report_line holds what marks a page header, where every table
// ends: "NX", as in "NX NASTRAN", or "SIMCENTER", as the solver has printed
// there since 2019.
bool line_has_page_header();

// Moves the report back to its first byte and clears its end-of-file state.
void rewind_report();

// Empties all seven word fields, so that a pass never converts a word that
// another pass read.
void clear_report_words();

// One target of a line parse: a word field, a whole number or a real.
using ParseTarget = std::variant<WordField *, int *, double *>;

// Parses report_line into the targets, in order, scanf style:
//   word = blank* nonblank+                       (longer than 19: first 19 kept)
//   int  = blank* [+-] digit+                     (clamped to 32 bits)
//   real = blank* [+-] (digit+ [. digit*] | . digit+) [(e|E) [+-] digit+]
// where blank is the space or a byte 0x09 to 0x0D. Stops at the first target
// it cannot fill; that target and the later ones keep their values. Returns
// the number of targets filled.
int parse_report_line(std::initializer_list<ParseTarget> targets);

// Parses report_line into word fields 1 to count; returns the number filled.
int parse_report_words(int count);

// The number a word begins with: an optional sign, digits with at most one
// decimal point, an optional exponent led by E, e, D or d. A word that does
// not begin with a number gives 0.
double word_to_number(const WordField &word);
