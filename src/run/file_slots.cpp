// The file slot table and the routines that open and close its streams.

#include "run/file_slots.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::array<FileSlot, SLOT_COUNT> file_slots;
bool file_error_seen = false;

namespace {

constexpr std::array<const char *, SLOT_COUNT> OUTPUT_NAMES = {
    "",       "fn.out",     "mass.out",     "mem.out",
    "pf.out", "fn_mem.out", "fn_mem_u.out", "fn_mem_386.out",
};

// Whether the named report can be read as the passes need: a name that fits,
// a regular file (a FIFO would block the open, and neither it nor a directory
// can be rewound), and not one of the outputs, which would be emptied before
// it is read.
bool report_is_readable(const std::string &name) {
    namespace fs = std::filesystem;
    if (name.size() > NAME_MAX_LENGTH)
        return false;
    std::error_code ignored;
    const fs::path report(name.c_str());
    if (!fs::is_regular_file(report, ignored))
        return false;
    for (int slot = SLOT_FN; slot < SLOT_COUNT; ++slot)
        if (fs::equivalent(report, OUTPUT_NAMES[slot], ignored))
            return false;
    return true;
}

[[noreturn]] void fail_to_open(const FileSlot &slot) {
    std::printf(" Failed to open file: %s \n", slot.name.c_str());
    std::exit(1);  // flushes standard output and the outputs opened so far
}

}  // namespace

void open_file_slots() {
    FileSlot &report = file_slots[SLOT_REPORT];
    if (report_is_readable(report.name))
        report.stream = std::fopen(report.name.c_str(), "rb");
    for (int slot = SLOT_FN; slot < SLOT_COUNT; ++slot)
        file_slots[slot].name = OUTPUT_NAMES[slot];

    std::printf("\n");
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        FileSlot &entry = file_slots[slot];
        if (slot != SLOT_REPORT)
            entry.stream = std::fopen(entry.name.c_str(), "w");
        if (entry.stream == nullptr)
            fail_to_open(entry);
        std::printf(" File: %s opened. \n", entry.name.c_str());
    }
}

void close_slot(int slot) {
    FileSlot &entry = file_slots[slot];
    if (entry.stream == nullptr)
        return;
    const bool stream_failed = std::ferror(entry.stream) != 0;
    const bool close_failed = std::fclose(entry.stream) != 0;
    entry.stream = nullptr;
    if (entry.failed || stream_failed || close_failed) {
        file_error_seen = true;
        std::printf(" Failed to %s file: %s \n", slot == SLOT_REPORT ? "read" : "write",
                    entry.name.c_str());
    }
}

void close_file_slots() {
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        close_slot(slot);
}
