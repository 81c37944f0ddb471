// Reads every case that number_cases_write made on the build host and checks this build against
// the host's C library: the same double, bit for bit, from number_from_text, and the same "%f"
// text (or the same refusal) from format_number. On 32-bit x86 each entry is also read under a
// foreign x87 control word, which the reading must leave exactly as it found it.
//   number_differential FILE [MINIMUM_CASES]
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "number_case_hash.h"
#include "number_text.h"
#include "program_values.h"

namespace {

constexpr int failures_shown = 20;

struct Counts {
    long cases;
    long read_wrong;
    long written_wrong;
    long control_word_changed;
};

#if defined(__i386__)
std::uint16_t x87_control_word() {
    std::uint16_t word = 0;
    asm volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

void x87_load_control_word(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word) : "memory"); }

// Precision 64 bits (how the program starts) and 53 bits, rounding up, down and toward zero. Not
// 24 bits: the emulator the 32-bit tests run under then rounds even a plain load and store of a
// double to 24 bits, which no reading could make up for.
const std::uint16_t foreign_control_words[] = {0x037F, 0x027F, 0x0B7F, 0x077F, 0x0F7F, 0x037F};
constexpr int foreign_count = sizeof foreign_control_words / sizeof foreign_control_words[0];

// Reads the entry under the next foreign control word, counting it when the word has changed.
double read_entry(const char* entry, Counts& counts) {
    const std::uint16_t own = x87_control_word();
    const std::uint16_t foreign = foreign_control_words[counts.cases % foreign_count];
    x87_load_control_word(foreign);
    const double value = number_from_text(entry);
    const std::uint16_t after = x87_control_word();
    x87_load_control_word(own);
    if (after != foreign) {
        if (++counts.control_word_changed <= failures_shown) {
            std::printf("control word %04x became %04x reading \"%s\"\n", foreign, after, entry);
        }
    }
    return value;
}
#else
double read_entry(const char* entry, Counts&) { return number_from_text(entry); }
#endif

// Undoes the escapes of the blanks.
void unescape(const char* from, char* to, std::size_t size) {
    std::size_t n = 0;
    for (; *from != '\0' && *from != '\n' && n + 1 < size; ++from) {
        if (*from == '\\' && from[1] != '\0') {
            const char* escape = std::strchr("tnvfr", *++from);
            to[n++] = escape != nullptr ? "\t\n\v\f\r"[escape - "tnvfr"] : *from;
        } else {
            to[n++] = *from;
        }
    }
    to[n] = '\0';
}

void check_case(const char* line, Counts& counts) {
    std::uint64_t expected_bits = 0;
    char hash_field[17] = {};
    int entry_at = 0;
    if (std::sscanf(line, "%16" SCNx64 " %16s %n", &expected_bits, hash_field, &entry_at) != 2 || entry_at == 0) {
        std::printf("unreadable case line: %s", line);
        ++counts.read_wrong;
        return;
    }
    // The entry starts right after the single space that follows the hash: blanks are its own.
    const char* after_hash = std::strchr(std::strchr(line, ' ') + 1, ' ') + 1;
    char entry[128];
    unescape(after_hash, entry, sizeof entry);
    ++counts.cases;

    const double value = read_entry(entry, counts);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits != expected_bits) {
        if (++counts.read_wrong <= failures_shown) {
            std::printf("read \"%s\" as %016" PRIx64 ", expected %016" PRIx64 "\n", entry, bits, expected_bits);
        }
        return;
    }

    const bool fits = std::strcmp(hash_field, "-") != 0;
    const bool written = format_number(value);
    const bool same = fits ? written && std::strtoull(hash_field, nullptr, 16) == number_case_hash(scratch_text)
                           : !written && scratch_text[0] == '\0';
    if (!same && ++counts.written_wrong <= failures_shown) {
        std::printf("wrote %016" PRIx64 " (\"%s\") as \"%s\"%s, expected %s\n", bits, entry, scratch_text,
                    written ? "" : " (refused)", fits ? "another text" : "a refusal");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: number_differential FILE [MINIMUM_CASES]\n");
        return 2;
    }
    const long minimum = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000000;
    std::FILE* file = std::fopen(argv[1], "r");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    Counts counts{};
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) check_case(line, counts);
    std::fclose(file);

    std::printf("number_differential: %ld cases, %ld read differently, %ld written differently, "
                "%ld changed the control word\n",
                counts.cases, counts.read_wrong, counts.written_wrong, counts.control_word_changed);
    if (counts.cases < minimum) {
        std::printf("number_differential: fewer than %ld cases\n", minimum);
        return 1;
    }
    return counts.read_wrong == 0 && counts.written_wrong == 0 && counts.control_word_changed == 0 ? 0 : 1;
}
