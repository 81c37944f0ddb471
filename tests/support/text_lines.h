// Texts and files read as lines, for the tests.
#pragma once

#include <string>
#include <vector>

// The text split at its line feeds, which are left out; a last line without one counts too.
std::vector<std::string> split_lines(const std::string& text);

#ifdef _WIN32
// The file's lines as split_lines gives them; none when the file cannot be opened.
std::vector<std::string> file_lines(const std::wstring& path);
#endif
