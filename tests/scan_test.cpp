// The report scanner: the bounded line read, the marker test, the rewind, the
// line parse and the word-to-number conversion.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

std::string line_text() {
    return report_line.data();
}

void set_line(const std::string &text) {
    report_line = {};
    std::memcpy(report_line.data(), text.data(), text.size());
}

WordField word(const std::string &text) {
    WordField field{};
    std::memcpy(field.data(), text.data(), text.size());
    return field;
}

// Puts a report of these bytes into the report slot, with a fresh line buffer
// and empty word fields.
class ScanTest : public ::testing::Test {
protected:
    void open_report(const std::string &bytes) {
        std::FILE *report = std::tmpfile();
        ASSERT_NE(report, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), report);
        std::rewind(report);
        file_slots[SLOT_REPORT].stream = report;
        rewind_report();  // drops what was read ahead of an earlier report
    }
    void SetUp() override {
        report_line = {};
        clear_report_words();
    }
    void TearDown() override {
        if (file_slots[SLOT_REPORT].stream != nullptr)
            std::fclose(file_slots[SLOT_REPORT].stream);
        file_slots[SLOT_REPORT] = FileSlot{};
    }
    // The line each read delivers; nullopt for a read that yields no new line.
    std::vector<std::optional<std::string>> read_all(int reads) {
        std::vector<std::optional<std::string>> lines;
        for (int read = 0; read < reads; ++read) {
            if (read_report_line())
                lines.emplace_back(line_text());
            else
                lines.emplace_back(std::nullopt);
        }
        return lines;
    }
};

/* ------------------------------------------------------------ reading ---- */

struct ReadCase {
    const char *what;
    std::string report;
    std::vector<std::optional<std::string>> reads;
};

TEST_F(ScanTest, ReadsReportLinesOfAtMost199Bytes) {
    const std::string x198(198, 'x');
    const std::string x199(199, 'x');
    const std::string x200(200, 'x');
    const std::vector<ReadCase> cases = {
        {"lines keep their line ends", "a\nb\r\n", {"a\n", "b\r\n", std::nullopt}},
        {"a last line without newline", "a\nlast", {"a\n", "last", std::nullopt}},
        {"198 characters, CR LF", x198 + "\r\n", {x198 + "\r", "\n", std::nullopt}},
        {"198 characters and newline fit", x198 + "\nb", {x198 + "\n", "b", std::nullopt}},
        {"199 characters then newline", x199 + "\n", {x199, "\n", std::nullopt}},
        {"a long line in pieces", x200 + x200 + "\n",
         {x199, x199, std::string(2, 'x') + "\n", std::nullopt}},
        {"0x1A is an ordinary byte", "a\x1a" "b\nc\n", {"a\x1a" "b\n", "c\n", std::nullopt}},
        {"an empty line", "\n\n", {"\n", "\n", std::nullopt}},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.what);
        open_report(c.report);
        EXPECT_EQ(read_all(static_cast<int>(c.reads.size())), c.reads);
        TearDown();
    }
}

TEST_F(ScanTest, ReadAtTheEndKeepsTheLastLine) {
    open_report("first\nlast\n");
    read_all(2);
    EXPECT_FALSE(read_report_line());
    EXPECT_FALSE(read_report_line());
    EXPECT_EQ(line_text(), "last\n");
}

TEST_F(ScanTest, EmptyReportYieldsNothingAndLeavesTheLineEmpty) {
    open_report("");
    EXPECT_FALSE(read_report_line());
    EXPECT_EQ(line_text(), "");
}

TEST_F(ScanTest, ZeroByteHidesTheRestOfTheLineButIsReadPast) {
    open_report(std::string("ab\0NX cd\nnext\n", 14));
    ASSERT_TRUE(read_report_line());
    EXPECT_EQ(line_text(), "ab");
    EXPECT_FALSE(line_has("NX"));
    ASSERT_TRUE(read_report_line());
    EXPECT_EQ(line_text(), "next\n");
}

TEST_F(ScanTest, RewindReturnsToTheFirstLineAfterTheEnd) {
    open_report("one\ntwo\n");
    read_all(3);
    rewind_report();
    EXPECT_EQ(line_text(), "two\n") << "a rewind leaves the line as it is";
    EXPECT_EQ(read_all(3), (std::vector<std::optional<std::string>>{"one\n", "two\n", std::nullopt}));
}

TEST_F(ScanTest, RewindDropsBytesReadAhead) {
    open_report("one\ntwo\nthree\n");
    read_all(1);
    rewind_report();
    EXPECT_EQ(read_all(1).front(), "one\n");
}

TEST_F(ScanTest, FailingReadActsAsTheEndAndIsRemembered) {
#ifdef _WIN32
    // Windows opens a directory as a stream only through its handle; every
    // read of it fails.
    const HANDLE folder = CreateFileW(L".", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    file_slots[SLOT_REPORT].stream =
        _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(folder), _O_RDONLY), "rb");
#else
    // Linux opens a directory for reading; every read of it fails.
    file_slots[SLOT_REPORT].stream = std::fopen("/", "rb");
#endif
    ASSERT_NE(file_slots[SLOT_REPORT].stream, nullptr);
    rewind_report();
    set_line("previous\n");
    EXPECT_FALSE(read_report_line());
    EXPECT_EQ(line_text(), "previous\n");
    rewind_report();
    EXPECT_TRUE(file_slots[SLOT_REPORT].failed) << "the rewind clears the stream's own flag";
}

/* ---------------------------------------------------------- search ---- */

// The heading search as the passes describe it: one line read and tested at
// a time. The scanner's search skims many lines at once and must end exactly
// where this does.
bool search_line_by_line(const char *marker, int &searched, int limit) {
    for (; searched < limit; ++searched) {
        if (!read_report_line())
            return false;
        if (line_has(marker))
            return true;
    }
    return false;
}

struct SearchCase {
    const char *what;
    std::string report;
    int limit;
    bool found;
    int searched;
    std::string line;  // report_line afterwards
};

TEST_F(ScanTest, SearchCountsEveryLineReadUpToTheLimit) {
    const std::string long_line = std::string(250, 'x') + "\n";  // two reads
    const std::string straddling = std::string(196, 'x') + "X-C.G.\n";  // split at 199
    const std::vector<SearchCase> cases = {
        {"found on the last allowed line", "a\nb\nX-C.G.\n", 3, true, 2, "X-C.G.\n"},
        {"one line too far", "a\nb\nc\nX-C.G.\n", 3, false, 3, "c\n"},
        {"limit reached among short lines", "a\nb\nc\nd\nX-C.G.\n", 3, false, 3, "c\n"},
        {"report ends first", "a\nb\n", 10, false, 2, "b\n"},
        {"last line without newline", "a\nzz X-C.G.", 10, true, 1, "zz X-C.G."},
        {"a long line counts per read", long_line + "X-C.G.\n", 3, true, 2, "X-C.G.\n"},
        {"a long line counts per read, too far", long_line + "X-C.G.\n", 2, false, 2,
         std::string(51, 'x') + "\n"},
        {"marker split between two reads", straddling + "a\n", 10, false, 3, "a\n"},
        {"marker behind a zero byte", std::string("a\0X-C.G.\nb\n", 11), 10, false, 2, "b\n"},
        {"marker in a CR LF line", "a\r\n X-C.G.\r\n", 10, true, 1, " X-C.G.\r\n"},
        {"no lines at all", "", 10, false, 0, ""},
    };
    for (const SearchCase &c : cases) {
        SCOPED_TRACE(c.what);
        open_report(c.report);
        report_line = {};
        int searched = 0;
        EXPECT_EQ(search_report("X-C.G.", searched, c.limit), c.found);
        EXPECT_EQ(searched, c.searched);
        EXPECT_EQ(line_text(), c.line);
        TearDown();
    }
}

// Random reports with lines of every length around one read and one block,
// zero bytes, carriage returns and markers at awkward places.
std::string random_report(std::mt19937 &random) {
    const std::string pieces[] = {"X-C.G.", "X-C.G", "MODAL EFFECTIVE", "MODAL EFFECTIVE MASS FRACTION",
                                  "NX", "1.0E+00 ", "   ", "\r", std::string(1, '\0'), "M", "X"};
    std::string report;
    const int lines = std::uniform_int_distribution<int>(0, 400)(random);
    for (int line = 0; line < lines; ++line) {
        const int kind = std::uniform_int_distribution<int>(0, 99)(random);
        std::size_t length = kind < 70 ? random() % 140
                             : kind < 90 ? 190 + random() % 20
                             : kind < 99 ? 380 + random() % 30
                                         : 200'000 + random() % 200'000;
        std::string text;
        while (text.size() < length) {
            const int pick = std::uniform_int_distribution<int>(0, 40)(random);
            if (pick < 11)
                text += pieces[pick];
            else
                text += static_cast<char>('A' + pick);
        }
        // A marker that straddles the end of a read now and then.
        if (kind % 7 == 0 && text.size() > 200)
            text.replace(196, 6, "X-C.G.");
        report += text + (line + 1 < lines || kind % 2 ? "\n" : "");
    }
    return report;
}

TEST_F(ScanTest, SearchEndsWhereReadingLineByLineEnds) {
    std::mt19937 random(20261211);
    const char *markers[] = {"X-C.G.", "MODAL EFFECTIVE", "NX", "M"};
    for (int round = 0; round < 120; ++round) {
        const std::string report = random_report(random);
        const auto newlines = std::count(report.begin(), report.end(), '\n');
        const int limit = round % 3 == 0 ? 1'000'000'000 : 1 + static_cast<int>(random() % (newlines + 1));
        const char *marker = markers[round % 4];
        SCOPED_TRACE("round " + std::to_string(round));

        // Line by line first, remembering where each search stopped.
        open_report(report);
        std::vector<std::tuple<bool, int, std::string>> expected;
        int searched = 0;
        for (bool found = true; found && expected.size() < 50;) {
            found = search_line_by_line(marker, searched, limit);
            expected.emplace_back(found, searched, line_text());
            ++searched;
        }
        TearDown();

        open_report(report);
        searched = 0;
        for (const auto &[found, stopped_at, line] : expected) {
            ASSERT_EQ(search_report(marker, searched, limit), found);
            ASSERT_EQ(searched, stopped_at);
            ASSERT_EQ(line_text(), line);
            ++searched;
        }
        TearDown();
    }
}

/* ------------------------------------------------------- marker test ---- */

struct MarkerCase {
    const char *line;
    const char *marker;
    bool found;
};

TEST_F(ScanTest, MarkerIsAnExactSubstring) {
    const MarkerCase cases[] = {
        {"1  TITLE  NX NASTRAN  PAGE 3\n", "NX", true},
        {"LYNX\n", "NX", true},
        {"nx nastran\n", "NX", false},
        {"N X\n", "NX", false},
        {"   R E A L   E I G E N V A L U E S\r\n", "R E A L   E I G E N V A L U E S", true},
        {"   R E A L  E I G E N V A L U E S\n", "R E A L   E I G E N V A L U E S", false},
        {"   R E A L    E I G E N V A L U E S\n", "R E A L   E I G E N V A L U E S", false},
        {"MASS X-C.G. Y-C.G.\n", "X-C.G.", true},
        {"MASS X-C.G Y-C.G\n", "X-C.G.", false},
        {"", "NX", false},
    };
    for (const MarkerCase &c : cases) {
        set_line(c.line);
        EXPECT_EQ(line_has(c.marker), c.found) << c.line << " / " << c.marker;
    }
}

/* ---------------------------------------------------------- parsing ---- */

TEST_F(ScanTest, WordsFillOnlyTheFieldsTheLineReaches) {
    for (int field = 0; field < WORD_COUNT; ++field)
        report_words[field] = word("old");
    set_line("  MODE\t7 \r\n");
    EXPECT_EQ(parse_report_words(5), 2);
    EXPECT_STREQ(report_words[0].data(), "MODE");
    EXPECT_STREQ(report_words[1].data(), "7");
    for (int field = 2; field < WORD_COUNT; ++field)
        EXPECT_STREQ(report_words[field].data(), "old");
}

TEST_F(ScanTest, WordsAreSplitAtEveryKindOfWhiteSpace) {
    set_line("a\tb\vc\fd\re\nf g");
    EXPECT_EQ(parse_report_words(7), 7);
    const char *expected[] = {"a", "b", "c", "d", "e", "f", "g"};
    for (int field = 0; field < WORD_COUNT; ++field)
        EXPECT_STREQ(report_words[field].data(), expected[field]);
}

TEST_F(ScanTest, LongWordKeepsItsFirst19CharactersAndIsConsumedWhole) {
    set_line("ABCDEFGHIJKLMNOPQRSTUVWXYZ next\n");
    EXPECT_EQ(parse_report_words(2), 2);
    EXPECT_STREQ(report_words[0].data(), "ABCDEFGHIJKLMNOPQRS");
    EXPECT_STREQ(report_words[1].data(), "next");
}

TEST_F(ScanTest, ParseOfALineWithNoWordsChangesNothing) {
    report_words[0] = word("kept");
    for (const char *line : {"", "\r\n", "   \t  \n"}) {
        set_line(line);
        EXPECT_EQ(parse_report_words(5), 0);
        EXPECT_STREQ(report_words[0].data(), "kept");
    }
}

struct IntCase {
    const char *line;
    int filled;
    int value;
};

TEST_F(ScanTest, WholeNumbersClampTo32Bits) {
    const IntCase cases[] = {
        {"42", 1, 42},
        {"  +7 ", 1, 7},
        {"-13x", 1, -13},
        {"007", 1, 7},
        {"2147483647", 1, INT_MAX},
        {"2147483648", 1, INT_MAX},
        {"99999999999999999999999", 1, INT_MAX},
        {"-2147483648", 1, INT_MIN},
        {"-99999999999999999999999", 1, INT_MIN},
        {"1.5", 1, 1},
        {"MODE 1", 0, -1},
        {"+ 1", 0, -1},
        {"-", 0, -1},
        {"", 0, -1},
    };
    for (const IntCase &c : cases) {
        set_line(c.line);
        int value = -1;
        EXPECT_EQ(parse_report_line({&value}), c.filled) << c.line;
        EXPECT_EQ(value, c.value) << c.line;
    }
}

struct RealCase {
    const char *line;
    double value;       // -1 when the conversion fails and keeps the held value
    const char *after;  // the next word the parse finds ("-" when it stopped)
};

TEST_F(ScanTest, RealsTakeDecimalNumbersWithAnEExponent) {
    const RealCase cases[] = {
        {"1.5E+02 w", 150.0, "w"},
        {"-2.5e-1 w", -0.25, "w"},
        {"+3 w", 3.0, "w"},
        {".5 w", 0.5, "w"},
        {"5. w", 5.0, "w"},
        {"-.5E1 w", -5.0, "w"},
        {"1.5E+ w", 1.5, "E+"},
        {"1.5E w", 1.5, "E"},
        {"2E5x", 200000.0, "x"},
        {"1.5D+02", 1.5, "D+02"},
        {"1.2.3", 1.2, ".3"},
        {"0x10", 0.0, "x10"},
        {". w", -1, "-"},
        {"- w", -1, "-"},
        {"E+02", -1, "-"},
        {"inf", -1, "-"},
        {"NAN", -1, "-"},
    };
    for (const RealCase &c : cases) {
        set_line(c.line);
        double value = -1;
        WordField next = word("-");
        parse_report_line({&value, &next});
        EXPECT_EQ(value, c.value) << c.line;
        EXPECT_STREQ(next.data(), c.after) << c.line;
    }
}

TEST_F(ScanTest, ParseStopsAtTheFirstFailureAndKeepsTheRest) {
    set_line("    3   1.25E+00  7.0E-01  oops  9.0E+00\n");
    int mode = -1;
    double values[4] = {-1, -1, -1, -1};
    EXPECT_EQ(parse_report_line({&mode, &values[0], &values[1], &values[2], &values[3]}), 3);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(values[0], 1.25);
    EXPECT_EQ(values[1], 0.7);
    EXPECT_EQ(values[2], -1);
    EXPECT_EQ(values[3], -1);

    set_line("TOTAL 1.0E+00\n");
    mode = -1;
    EXPECT_EQ(parse_report_line({&mode, &values[0]}), 0) << "a word of letters fails a whole number";
    EXPECT_EQ(mode, -1);
}

TEST_F(ScanTest, ClearEmptiesEveryWordField) {
    for (int field = 0; field < WORD_COUNT; ++field)
        report_words[field] = word("stale");
    clear_report_words();
    for (int field = 0; field < WORD_COUNT; ++field)
        EXPECT_STREQ(report_words[field].data(), "");
}

/* ---------------------------------------------- word-to-number ---- */

struct NumberCase {
    const char *word;
    double value;
};

TEST_F(ScanTest, WordToNumberReadsTheNumberAWordBeginsWith) {
    const NumberCase cases[] = {
        {"2.5E+01", 25.0},      {"1.5D+02", 150.0},  {"1.5d2", 150.0},   {"-4.0D-01", -0.4},
        {"12abc", 12.0},        {"-7", -7.0},        {"+3.", 3.0},       {".5", 0.5},
        {"1e", 1.0},            {"1E+", 1.0},        {"2D", 2.0},        {"", 0.0},
        {"abc", 0.0},           {"INF", 0.0},        {"NAN", 0.0},       {"0x1p3", 0.0},
        {"-", 0.0},             {".", 0.0},          {"1.0E+00", 1.0},   {"7.181204E+03", 7181.204},
    };
    for (const NumberCase &c : cases)
        EXPECT_EQ(word_to_number(word(c.word)), c.value) << c.word;
}

}  // namespace
