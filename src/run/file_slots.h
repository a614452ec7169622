// The file slot table: the report (slot 0) and the seven output files
// (slots 1 to 7), their names and their open streams, for the whole run.
#pragma once

#include <array>
#include <cstdio>
#include <string>

struct FileSlot {
    std::string name;             // the typed report name, or a fixed output name
    std::FILE *stream = nullptr;  // open stream, or none before opening and after closing
    bool failed = false;          // a read or write failed; kept when a rewind clears the stream's flag
};

enum : int {
    SLOT_REPORT,
    SLOT_FN,
    SLOT_MASS,
    SLOT_MEM,
    SLOT_PF,
    SLOT_FN_MEM,
    SLOT_FN_MEM_U,
    SLOT_FN_MEM_386,
    SLOT_COUNT
};

// Longest report name taken at the prompt; a longer word is refused, never cut.
inline constexpr std::size_t NAME_MAX_LENGTH = 259;

extern std::array<FileSlot, SLOT_COUNT> file_slots;

// Set once a slot's stream saw a failed read, write, flush or close.
extern bool file_error_seen;

// Opens the report named in slot 0 and creates the seven outputs, printing a
// progress line for each. On the first failure prints the failure line and
// ends the process with status 1.
void open_file_slots();

// Closes one slot's stream, if it has one, and reports an I/O error it saw.
void close_slot(int slot);

// Closes every slot that still holds a stream, in slot order.
void close_file_slots();
