// A log file kept within a size: when a write would take it past its limit, the oldest kept file
// goes, NAME.2 becomes NAME.3, NAME.1 becomes NAME.2, NAME becomes NAME.1, and a new NAME is begun.
// Lines are never split between two files, so a file grows past its limit only by a single line
// longer than the limit, written whole into a new file.
//
// The file is only appended to, nothing buffered in the process, so several processes may write
// the same log; its size is read from the file before each write. Where another process rotated
// the file, a line or two may still land in NAME.1 through a handle opened before.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bus_trace {

#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif

constexpr std::size_t rotated_path_capacity = 1024;
constexpr unsigned rotated_kept_max = 9;

struct RotatedFile {
    PathChar path[rotated_path_capacity];
    std::uint64_t limit;   // bytes in one file
    unsigned kept;         // old files kept, 1 to rotated_kept_max
    std::intptr_t handle;  // a HANDLE on Windows, else a file descriptor; -1: not open
};

// Sets the file up, closed. False when the path with ".N" does not fit, or limit or kept is 0.
bool rotated_setup(RotatedFile& file, const PathChar* path, std::uint64_t limit, unsigned kept);

// Opens the file for appending, unless it is open. False with the system's error code.
bool rotated_open(RotatedFile& file, unsigned long& error);

// Opens the file when it is not open, then writes size bytes, whole lines ending in a line feed,
// rotating first where they would take the file past its limit. False with the system's error
// code when the file cannot be opened or a write fails (the file is closed then, to be opened again
// at the next write). A rotation that fails (another program holds the file without sharing it)
// leaves the lines in NAME and is tried again at the next write.
bool rotated_write(RotatedFile& file, const char* data, std::size_t size, unsigned long& error);

void rotated_close(RotatedFile& file);

// NAME.N (N from 1 to 9) into name, which holds rotated_path_capacity characters.
void rotated_name(const RotatedFile& file, unsigned n, PathChar* name);

}  // namespace bus_trace
