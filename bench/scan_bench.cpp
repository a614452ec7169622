// Micro-benchmarks of the report scanner, in bytes per second: the line read
// the table loops use, and the heading search through lines that do not hold
// the heading, skimmed and read one line at a time. Run by hand:
//   build/release/bench/scan_bench

#include <benchmark/benchmark.h>

#include <climits>
#include <cstdio>
#include <string>

#include "run/file_slots.h"
#include "scan/report_scan.h"

namespace {

constexpr long REPORT_BYTES = 64L << 20;

// A 64 MB report of displacement-like lines with a page header every 55
// lines, and none of the headings; opened in the report slot.
long open_report() {
    static long bytes = 0;
    if (file_slots[SLOT_REPORT].stream != nullptr)
        return bytes;
    std::FILE *report = std::tmpfile();
    char line[160];
    for (long number = 0; bytes < REPORT_BYTES; ++number) {
        const int length =
            number % 55 == 0
                ? std::snprintf(line, sizeof line,
                                "1    BENCH PLATE       DECEMBER  11, 2026  NX NASTRAN  12/11/26   "
                                "PAGE %8ld\n", number / 55)
                : std::snprintf(line, sizeof line,
                                "      %8ld      G     %13.6E  %13.6E  %13.6E  %13.6E  %13.6E  "
                                "%13.6E\n", number, number * 1e-3, -number * 2e-4, 0.5, 1e-9,
                                number * 3e-6, -7.25);
        std::fwrite(line, 1, static_cast<std::size_t>(length), report);
        bytes += length;
    }
    file_slots[SLOT_REPORT].stream = report;
    return bytes;
}

void read_every_line(benchmark::State &state) {
    const long bytes = open_report();
    for (auto _ : state) {
        rewind_report();
        long lines = 0;
        while (read_report_line())
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(read_every_line)->Unit(benchmark::kMillisecond);

void search_without_finding(benchmark::State &state) {
    const long bytes = open_report();
    for (auto _ : state) {
        rewind_report();
        int searched = 0;
        benchmark::DoNotOptimize(search_report("MODAL EFFECTIVE", searched, INT_MAX));
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(search_without_finding)->Unit(benchmark::kMillisecond);

// The same search one line read and one marker test at a time, for comparison.
void search_line_by_line(benchmark::State &state) {
    const long bytes = open_report();
    for (auto _ : state) {
        rewind_report();
        bool found = false;
        while (!found && read_report_line())
            found = line_has("MODAL EFFECTIVE");
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(search_line_by_line)->Unit(benchmark::kMillisecond);

}  // namespace
