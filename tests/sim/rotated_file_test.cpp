// The log file kept within a size, on the host and on Windows alike: what stays in which file after
// writes of every size, an old file found at the start, and a line longer than the limit.
#include "rotated_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using bus_trace::PathChar;
using Path = std::basic_string<PathChar>;

#ifdef _WIN32
Path temporary_folder() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return Path(folder) + L"qx-rotated-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}
void make_folder(const Path& folder) { CreateDirectoryW(folder.c_str(), nullptr); }
void remove_file(const Path& file) { DeleteFileW(file.c_str()); }
void remove_folder(const Path& folder) { RemoveDirectoryW(folder.c_str()); }
std::FILE* open_file(const Path& file, const char* mode) {
    return _wfopen(file.c_str(), std::wstring(mode, mode + std::char_traits<char>::length(mode)).c_str());
}
Path suffix(unsigned n) { return L"." + std::to_wstring(n); }
#else
Path temporary_folder() { return "/tmp/qx-rotated-" + std::to_string(getpid()) + "/"; }
void make_folder(const Path& folder) { mkdir(folder.c_str(), 0755); }
void remove_file(const Path& file) { unlink(file.c_str()); }
void remove_folder(const Path& folder) { rmdir(folder.c_str()); }
std::FILE* open_file(const Path& file, const char* mode) { return std::fopen(file.c_str(), mode); }
Path suffix(unsigned n) { return "." + std::to_string(n); }
#endif

Path path_text(const char* text) { return Path(text, text + std::char_traits<char>::length(text)); }

// A file's bytes; "<none>" when there is no such file.
std::string contents(const Path& file) {
    std::FILE* f = open_file(file, "rb");
    if (!f) return "<none>";
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    return text;
}

std::string numbered_lines(int first, int last) {
    std::string text;
    char line[24];
    for (int i = first; i <= last; ++i) {
        std::snprintf(line, sizeof line, "line %02d\n", i);   // 8 bytes each
        text += line;
    }
    return text;
}

class RotatedFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = temporary_folder();
        make_folder(folder_);
        log_ = folder_ + path_text("test.log");
        clean();
    }
    void TearDown() override {
        bus_trace::rotated_close(file_);
        clean();
        remove_folder(folder_);
    }
    void clean() {
        remove_file(log_);
        for (unsigned n = 1; n <= 9; ++n) remove_file(log_ + suffix(n));
    }
    // NAME.1 ... NAME.kept+1 from oldest to newest, then NAME.
    std::vector<std::string> files(unsigned kept) const {
        std::vector<std::string> found;
        for (unsigned n = kept + 1; n >= 1; --n) found.push_back(contents(log_ + suffix(n)));
        found.push_back(contents(log_));
        return found;
    }
    void write(const std::string& text) {
        unsigned long error = 0;
        ASSERT_TRUE(bus_trace::rotated_write(file_, text.data(), text.size(), error)) << "error " << error;
    }

    Path folder_;
    Path log_;
    bus_trace::RotatedFile file_{};
};

// Lines of 8 bytes, a limit of 100: twelve lines a file. 52 lines fill four files and a bit; with
// three older files kept, the first twelve lines are gone, whatever the writes' sizes.
TEST_F(RotatedFileTest, KeepsTheNewestWholeLinesInOrderWhateverTheWritesSizes) {
    struct Case {
        const char* name;
        int lines_per_write;
        unsigned kept;
    };
    for (const Case c : {Case{"a line a write", 1, 3}, Case{"five lines a write", 5, 3}, Case{"one write", 52, 3},
                         Case{"one file kept", 7, 1}}) {
        SCOPED_TRACE(c.name);
        clean();
        ASSERT_TRUE(bus_trace::rotated_setup(file_, log_.c_str(), 100, c.kept));
        for (int i = 0; i < 52; i += c.lines_per_write) write(numbered_lines(i, std::min(i + c.lines_per_write, 52) - 1));
        bus_trace::rotated_close(file_);

        std::vector<std::string> wanted{"<none>"};
        const int files_kept_lines = static_cast<int>(c.kept) * 12;
        for (int first = 48 - files_kept_lines; first < 48; first += 12) wanted.push_back(numbered_lines(first, first + 11));
        wanted.push_back(numbered_lines(48, 51));
        EXPECT_EQ(files(c.kept), wanted);
    }
}

// A file left by an earlier run is appended to and rotated once it is full; a line longer than the
// limit gets a file of its own, whole; the next line begins a new file.
TEST_F(RotatedFileTest, AppendsToAnEarlierFileAndGivesAnOverlongLineAFileOfItsOwn) {
    const std::string earlier = numbered_lines(0, 10);   // 88 bytes
    std::FILE* f = open_file(log_, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(earlier.data(), 1, earlier.size(), f);
    std::fclose(f);

    ASSERT_TRUE(bus_trace::rotated_setup(file_, log_.c_str(), 100, 3));
    write(numbered_lines(11, 11));                     // 96 bytes: still fits
    const std::string overlong = std::string(150, 'x') + "\n";
    write(overlong + "after\n");
    write("last\n");
    bus_trace::rotated_close(file_);

    EXPECT_EQ(files(3), (std::vector<std::string>{"<none>", "<none>", numbered_lines(0, 11), overlong, "after\nlast\n"}));
}

TEST_F(RotatedFileTest, RefusesAPathWithNoRoomForTheOlderFilesNames) {
    Path long_path(bus_trace::rotated_path_capacity - 2, PathChar('a'));
    EXPECT_FALSE(bus_trace::rotated_setup(file_, long_path.c_str(), 100, 3));
    EXPECT_FALSE(bus_trace::rotated_setup(file_, log_.c_str(), 0, 3));
    EXPECT_FALSE(bus_trace::rotated_setup(file_, log_.c_str(), 100, 0));
    EXPECT_FALSE(bus_trace::rotated_setup(file_, log_.c_str(), 100, bus_trace::rotated_kept_max + 1));
    EXPECT_TRUE(bus_trace::rotated_setup(file_, log_.c_str(), 100, bus_trace::rotated_kept_max));
}

}  // namespace
