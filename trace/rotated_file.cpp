#include "rotated_file.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bus_trace {

namespace {

constexpr std::intptr_t closed = -1;

std::size_t path_length(const PathChar* path) {
    std::size_t n = 0;
    while (path[n] != 0) ++n;
    return n;
}

#ifdef _WIN32

HANDLE handle_of(const RotatedFile& file) { return reinterpret_cast<HANDLE>(file.handle); }

bool open_file(RotatedFile& file, unsigned long& error) {
    // Reading the attributes gives the size; sharing delete lets another process rotate it.
    const HANDLE h = CreateFileW(file.path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    file.handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool file_size(const RotatedFile& file, std::uint64_t& size, unsigned long& error) {
    LARGE_INTEGER n;
    if (!GetFileSizeEx(handle_of(file), &n)) {
        error = GetLastError();
        return false;
    }
    size = static_cast<std::uint64_t>(n.QuadPart);
    return true;
}

bool write_bytes(const RotatedFile& file, const char* data, std::size_t size, unsigned long& error) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
        if (!WriteFile(handle_of(file), data, chunk, &written, nullptr)) {
            error = GetLastError();
            return false;
        }
        if (written == 0) {   // a write cut short: the disk is full
            error = ERROR_DISK_FULL;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

void close_file(RotatedFile& file) { CloseHandle(handle_of(file)); }

bool move_file(const PathChar* from, const PathChar* to) { return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING); }

#else

bool open_file(RotatedFile& file, unsigned long& error) {
    const int fd = open(file.path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = static_cast<unsigned long>(errno);
        return false;
    }
    file.handle = fd;
    return true;
}

bool file_size(const RotatedFile& file, std::uint64_t& size, unsigned long& error) {
    struct stat status {};
    if (fstat(static_cast<int>(file.handle), &status) != 0) {
        error = static_cast<unsigned long>(errno);
        return false;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool write_bytes(const RotatedFile& file, const char* data, std::size_t size, unsigned long& error) {
    while (size > 0) {
        const ssize_t written = write(static_cast<int>(file.handle), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? static_cast<unsigned long>(errno) : static_cast<unsigned long>(ENOSPC);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void close_file(RotatedFile& file) { close(static_cast<int>(file.handle)); }

bool move_file(const PathChar* from, const PathChar* to) { return std::rename(from, to) == 0; }

#endif

// The older files one place on, the oldest kept dropped, then NAME as NAME.1. True when NAME was
// moved; the file is closed either way, to be opened afresh.
bool rotate(RotatedFile& file) {
    rotated_close(file);
    PathChar from[rotated_path_capacity];
    PathChar to[rotated_path_capacity];
    for (unsigned n = file.kept; n > 1; --n) {
        rotated_name(file, n - 1, from);
        rotated_name(file, n, to);
        move_file(from, to);   // a missing one is no fault
    }
    rotated_name(file, 1, to);
    return move_file(file.path, to);
}

// Where a write of data would cross the limit: the bytes that still fit as whole lines (0: none).
std::size_t whole_lines_within(const char* data, std::size_t room) {
    for (std::size_t n = room; n > 0; --n) {
        if (data[n - 1] == '\n') return n;
    }
    return 0;
}

}  // namespace

bool rotated_setup(RotatedFile& file, const PathChar* path, std::uint64_t limit, unsigned kept) {
    file.handle = closed;
    file.path[0] = 0;
    const std::size_t n = path_length(path);
    if (n == 0 || n + 3 > rotated_path_capacity || limit == 0 || kept == 0 || kept > rotated_kept_max) return false;
    std::memcpy(file.path, path, (n + 1) * sizeof(PathChar));
    file.limit = limit;
    file.kept = kept;
    return true;
}

bool rotated_open(RotatedFile& file, unsigned long& error) {
    if (file.handle != closed) return true;
    if (file.path[0] == 0) {
        error = 0;
        return false;
    }
    return open_file(file, error);
}

bool rotated_write(RotatedFile& file, const char* data, std::size_t size, unsigned long& error) {
    while (size > 0) {
        std::uint64_t used = 0;
        if (!rotated_open(file, error) || !file_size(file, used, error)) {
            rotated_close(file);
            return false;
        }
        const std::uint64_t room = used < file.limit ? file.limit - used : 0;
        std::size_t now = size <= room ? size : whole_lines_within(data, static_cast<std::size_t>(room));
        if (now == 0 && used == 0) {
            // A line longer than the limit: whole, in a file of its own.
            const void* end = std::memchr(data, '\n', size);
            now = end ? static_cast<std::size_t>(static_cast<const char*>(end) - data) + 1 : size;
        }
        if (now > 0 && !write_bytes(file, data, now, error)) {
            rotated_close(file);
            return false;
        }
        data += now;
        size -= now;
        if (size > 0 && !rotate(file)) {
            // NAME cannot be moved now: the rest goes into it, and the next write tries again.
            if (!rotated_open(file, error) || !write_bytes(file, data, size, error)) {
                rotated_close(file);
                return false;
            }
            return true;
        }
    }
    return true;
}

void rotated_close(RotatedFile& file) {
    if (file.handle == closed) return;
    close_file(file);
    file.handle = closed;
}

void rotated_name(const RotatedFile& file, unsigned n, PathChar* name) {
    const std::size_t length = path_length(file.path);
    std::memcpy(name, file.path, length * sizeof(PathChar));
    name[length] = '.';
    name[length + 1] = static_cast<PathChar>('0' + n);
    name[length + 2] = 0;
}

}  // namespace bus_trace
