// Writes the cases of the number differential test: entry texts made from a fixed seed, each with
// the double the host C library reads from it and the hash of the "%f" text the host C library
// writes for that double. Runs on the build host only; the programs under test read the file.
//   number_cases_write FILE [COUNT] [SEED]
// One case a line: 16 hex digits of the double's bits, a space, 16 hex digits of the text's hash
// (or "-" when the value is not finite or its text would not fit in 255 bytes), a space, and the
// entry, its blanks written \t \n \v \f \r.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "number_case_hash.h"

namespace {

std::uint64_t state = 0;

// splitmix64: the same cases for the same seed on every host.
std::uint64_t next_random() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

int random_below(int n) { return static_cast<int>(next_random() % static_cast<std::uint64_t>(n)); }

int random_between(int low, int high) { return low + random_below(high - low + 1); }

char random_digit() { return static_cast<char>('0' + random_below(10)); }

const char blanks[] = " \t\n\v\f\r";
const char exponent_letters[] = "eEdD";

// Blanks and a sign before the number, some of the time.
std::string random_lead() {
    std::string lead;
    for (int n = random_below(8) < 6 ? 0 : random_between(1, 3); n > 0; --n) lead += blanks[random_below(6)];
    const int sign = random_below(4);
    if (sign == 1) lead += '+';
    if (sign == 2) lead += '-';
    return lead;
}

// digits with the point placed so that the text stands for digits × 10^exponent; an exponent
// part is written when the point alone cannot say it.
std::string place_point(const std::string& digits, int exponent) {
    const int point = random_between(0, static_cast<int>(digits.size()));   // digits before the point
    const int written = exponent + static_cast<int>(digits.size()) - point;
    std::string text = digits.substr(0, static_cast<std::size_t>(point));
    if (point < static_cast<int>(digits.size()) || random_below(4) == 0) text += '.';
    text += digits.substr(static_cast<std::size_t>(point));
    if (written != 0 || random_below(4) == 0) {
        text += exponent_letters[random_below(4)];
        const int sign = random_below(3);
        if (written < 0) text += '-';
        else if (sign == 1) text += '+';
        text += std::to_string(written < 0 ? -written : written);
    }
    return text;
}

// 1 to 20 significant digits, sometimes behind zeros, scaled by a power of ten: half of them
// near 1 (where the quick path of a conversion works), the rest anywhere from 1e-330 to 1e310.
std::string random_number() {
    std::string digits(static_cast<std::size_t>(random_between(0, 2) == 0 ? random_between(0, 3) : 0), '0');
    const int significant = random_between(1, 20);
    digits += static_cast<char>('1' + random_below(9));
    for (int i = 1; i < significant; ++i) digits += random_digit();
    const int exponent = random_below(2) == 0 ? random_between(-25, 25) : random_between(-330, 310);
    return place_point(digits, exponent - significant + 1);
}

// A value halfway between two neighbouring doubles above 2^53, exactly or off by one in its last
// digit: 17 to 20 digits.
std::string halfway_number() {
    const std::uint64_t significand = (next_random() >> 11) | (std::uint64_t{1} << 52);
    const int shift = random_between(0, 10);
    std::uint64_t midpoint = (2 * significand + 1) << shift;
    const int offset = random_below(4);
    if (offset == 1) ++midpoint;
    if (offset == 2) --midpoint;
    return place_point(std::to_string(midpoint), 0);
}

// Entries that have been read wrongly before.
const char* const known_entries[] = {"111416390e21", "6681171654527821e18", "1988422116e22", "9007199254740993",
                                     "1e23", "8.98846567431158e307", "2.4703282292062328e-324", "1e-330"};

void write_escaped(std::FILE* file, const std::string& entry) {
    for (char c : entry) {
        const char* special = std::strchr(blanks + 1, c);
        if (c != '\0' && special != nullptr) {
            std::fputc('\\', file);
            std::fputc("tnvfr"[special - (blanks + 1)], file);
        } else {
            std::fputc(c, file);
        }
    }
}

// The reference, strtod, reads e only.
double reference_value(const std::string& entry) {
    std::string spelled = entry;
    for (char& c : spelled) {
        if (c == 'd' || c == 'D') c = 'e';
    }
    char* end = nullptr;
    const double value = std::strtod(spelled.c_str(), &end);
    if (*end != '\0') {
        std::fprintf(stderr, "number_cases_write: strtod stopped early in \"%s\"\n", spelled.c_str());
        std::exit(1);
    }
    return value;
}

void write_case(std::FILE* file, const std::string& entry) {
    const double value = reference_value(entry);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char text[400];
    const int length = std::snprintf(text, sizeof text, "%f", value == 0.0 ? 0.0 : value);
    std::fprintf(file, "%016" PRIx64 " ", bits);
    if (std::isfinite(value) && length > 0 && length <= 255) std::fprintf(file, "%016" PRIx64 " ", number_case_hash(text));
    else std::fputs("- ", file);
    write_escaped(file, entry);
    std::fputc('\n', file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: number_cases_write FILE [COUNT] [SEED]\n");
        return 2;
    }
    const long count = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000000;
    state = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 7316;
    std::FILE* file = std::fopen(argv[1], "w");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    long written = 0;
    for (const char* entry : known_entries) {
        write_case(file, entry);
        ++written;
    }
    for (; written < count; ++written) {
        const std::string entry = random_lead() + (random_below(10) == 0 ? halfway_number() : random_number());
        write_case(file, entry);
    }
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("number_cases_write: %ld cases in %s\n", written, argv[1]);
    return 0;
}
