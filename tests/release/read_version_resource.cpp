// Reads the version resources of files in this program's folder as Windows' version functions do
// (Explorer's Properties show them) and compares them with what the build made them from:
//   version_resource_reader PRODUCT_NAME VERSION FILE DESCRIPTION [FILE DESCRIPTION]...
// VERSION as MAJOR.MINOR.PATCH; FILE relative to this program's folder, for example
// "simulator/TAVERIX.dll". A file named *.exe is a program, any other a DLL. Prints what it read;
// exit code 0 when everything matches, 1 when anything differs or is missing.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool holds, const std::string& what) {
  std::printf("%s: %s\n", holds ? "ok" : "FAILED", what.c_str());
  if (!holds) ++failures;
}

std::string own_folder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A string of the version resource's first translation, or nullptr when it has none.
const char* string_value(const std::vector<char>& block, const char* translation, const char* name) {
  const std::string query = std::string("\\StringFileInfo\\") + translation + "\\" + name;
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0) {
    return nullptr;
  }
  return value;
}

void check_string(const std::vector<char>& block, const char* translation, const char* name, const std::string& want) {
  const char* value = string_value(block, translation, name);
  check(value && want == value, std::string(name) + " \"" + (value ? value : "(missing)") + "\", wanted \"" + want + "\"");
}

// Checks the version resource of FILE in FOLDER.
void check_file(const std::string& folder, const std::string& file, const std::string& description,
                const std::string& product, const std::string& version, unsigned major, unsigned minor,
                unsigned patch) {
  const std::string program = folder + file;
  std::printf("%s:\n", file.c_str());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
  if (size == 0) {
    check(false, program + " has no version resource (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(program.c_str(), 0, size, block.data())) {
    check(false, "cannot read the version resource of " + program);
    return;
  }

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_length) ||
      fixed_length < sizeof *fixed || fixed->dwSignature != VS_FFI_SIGNATURE) {
    check(false, "the version resource has no fixed part");
    return;
  }
  const DWORD want_high = MAKELONG(minor, major), want_low = MAKELONG(0, patch);
  const auto numbers = [](DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) +
           "." + std::to_string(LOWORD(low));
  };
  const std::string wanted_numbers = version + ".0";
  check(fixed->dwFileVersionMS == want_high && fixed->dwFileVersionLS == want_low,
        "file version " + numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + ", wanted " + wanted_numbers);
  check(fixed->dwProductVersionMS == want_high && fixed->dwProductVersionLS == want_low,
        "product version " + numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + ", wanted " + wanted_numbers);
  const bool program_file = ends_with(file, ".exe");
  check(fixed->dwFileType == (program_file ? VFT_APP : VFT_DLL),
        "file type " + std::to_string(fixed->dwFileType) + ", wanted " + (program_file ? "an application" : "a DLL"));

  struct Translation {
    WORD language, code_page;
  }* translations = nullptr;
  UINT translations_length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                      &translations_length) ||
      translations_length < sizeof *translations) {
    check(false, "the version resource names no translation");
    return;
  }
  char translation[9];
  std::snprintf(translation, sizeof translation, "%04X%04X", translations->language, translations->code_page);
  check(std::strcmp(translation, "041104B0") == 0, std::string("translation ") + translation + ", wanted Japanese, Unicode");

  check_string(block, translation, "ProductName", product);
  check_string(block, translation, "ProductVersion", version);
  check_string(block, translation, "FileVersion", version);
  check_string(block, translation, "OriginalFilename", file.substr(file.find_last_of("\\/") + 1));
  check_string(block, translation, "FileDescription", description);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: version_resource_reader PRODUCT_NAME MAJOR.MINOR.PATCH FILE DESCRIPTION [FILE DESCRIPTION]...\n");
    return 2;
  }
  const std::string product = argv[1];
  const std::string version = argv[2];
  unsigned major = 0, minor = 0, patch = 0;
  if (std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch) != 3) {
    std::fprintf(stderr, "not a version: %s\n", version.c_str());
    return 2;
  }
  for (int i = 3; i + 1 < argc; i += 2) {
    check_file(own_folder(), argv[i], argv[i + 1], product, version, major, minor, patch);
  }
  return failures == 0 ? 0 : 1;
}
