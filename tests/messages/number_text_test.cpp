// Entry texts read as numbers, and numbers written as message text.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "number_text.h"
#include "program_values.h"

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

struct Reading {
    const char* text;
    double value;
};

void expect_readings(std::initializer_list<Reading> readings) {
    for (const Reading& r : readings) {
        EXPECT_EQ(number_from_text(r.text), r.value) << "text: \"" << r.text << '"';
    }
}

// The same bits, so that -0 and 0 are told apart.
void expect_same_bits(double actual, double expected, const std::string& text) {
    std::uint64_t a = 0;
    std::uint64_t e = 0;
    std::memcpy(&a, &actual, sizeof a);
    std::memcpy(&e, &expected, sizeof e);
    EXPECT_EQ(a, e) << "text: \"" << text << "\" read as " << actual << ", expected " << expected;
}

std::string formatted(double value) {
    const bool ok = format_number(value);
    return ok ? std::string(scratch_text) : std::string("<refused>");
}

// ----- Reading --------------------------------------------------------------------------------

TEST(NumberFromText, SkipsOnlyTheSixBlanksBeforeTheNumber) {
    expect_readings({{" \t\n\v\f\r12.5", 12.5}, {"   -3", -3}, {"\xA0" "5", 0}, {"_5", 0}, {"- 5", 0}});
}

TEST(NumberFromText, TakesOneOptionalSign) {
    expect_readings({{"+5", 5}, {"-5", -5}, {"--5", 0}, {"+-5", 0}, {"-", 0}, {"+", 0}});
    expect_same_bits(number_from_text("-0"), -0.0, "-0");
    expect_same_bits(number_from_text("-.000"), -0.0, "-.000");
}

TEST(NumberFromText, TakesAtMostOnePoint) {
    expect_readings({{"1.5.3", 1.5}, {".5", 0.5}, {"5.", 5}, {"-.25", -0.25}, {".", 0}, {"..5", 0}, {"-.", 0}});
}

TEST(NumberFromText, ReadsExponentsWithAnyOfTheFourLetters) {
    expect_readings({{"1e3", 1000}, {"1E3", 1000}, {"1d3", 1000}, {"1D3", 1000}, {"1e+3", 1000},
                     {"25d-3", 0.025}, {".5D1", 5}, {"1e0000000000000000000000003", 1000}});
}

TEST(NumberFromText, LetterWithoutDigitsEndsTheNumberBeforeIt) {
    expect_readings({{"1e", 1}, {"1e+", 1}, {"2D-", 2}, {"7ex", 7}, {"4e.5", 4}, {"1f3", 1}});
}

TEST(NumberFromText, StopsAtTheFirstByteThatCannotContinue) {
    expect_readings({{"1+2", 1}, {"1e3Hz", 1000}, {"12abc", 12}, {"3 4", 3}, {"2.5e-3x", 0.0025},
                     {"1e3.5", 1000}, {"1e3e4", 1000}, {"6,5", 6}});
}

TEST(NumberFromText, WordsAndHexadecimalAreNoNumbers) {
    expect_readings({{"inf", 0}, {"-inf", 0}, {"INFINITY", 0}, {"nan", 0}, {"NAN(1)", 0}, {"0x10", 0},
                     {"0x1p3", 0}, {"abc", 0}, {"", 0}, {"e5", 0}, {"d5", 0}});
}

TEST(NumberFromText, IsCorrectlyRounded) {
    expect_readings({{"0.1", 0.1}, {"1000", 1000}, {"3.141592653589793238462643", 3.141592653589793},
                     {"123456.789", 123456.789}, {"1e22", 1e22}, {"1e23", 1e23}, {"8.98846567431158e307", 8.98846567431158e307}});
    // 2^53 + 1 lies halfway between two doubles: ties go to the even one, anything above goes up.
    expect_readings({{"9007199254740993", 9007199254740992.0},
                     {"9007199254740993.000000000000000000000000001", 9007199254740994.0},
                     {"9007199254740995", 9007199254740996.0}});
}

// Values at and above 1e22 come from multiplying by exact powers of ten, which must be rounded
// once: these were each one unit off when rounded first to 64 bits and then to 53.
TEST(NumberFromText, LargeValuesAreRoundedOnce) {
    expect_readings({{"111416390e21", 0x1.68017a4c6cb35p+96},
                     {"6681171654527821e18", 0x1.49683dedc3a5dp+112},
                     {"1988422116e22", 0x1.f5f2c47a816c7p+103},
                     {"1e22", 0x1.0f0cf064dd592p+73}});
}

TEST(NumberFromText, LongDigitStringsKeepTheirSignificance) {
    // An entry of the whole 255 bytes.
    const std::string entry = "0." + std::string(250, '0') + "123";
    ASSERT_EQ(entry.size(), 255u);
    EXPECT_EQ(number_from_text(entry.c_str()), 1.23e-251);
    EXPECT_EQ(number_from_text(("1" + std::string(300, '0')).c_str()), 1e300);
    EXPECT_EQ(number_from_text(("1" + std::string(849, '0') + "e-840").c_str()), 1e9);
    EXPECT_EQ(number_from_text(("0." + std::string(900, '0') + "1e905").c_str()), 1e4);
    EXPECT_EQ(number_from_text(("-0." + std::string(400, '0') + "1e300").c_str()), -1e-101);
    // A non-zero digit far beyond the halfway point still decides the rounding.
    const std::string halfway = "9007199254740993." + std::string(900, '0');
    EXPECT_EQ(number_from_text(halfway.c_str()), 9007199254740992.0);
    EXPECT_EQ(number_from_text((halfway + "1").c_str()), 9007199254740994.0);
    EXPECT_EQ(number_from_text((halfway + "1e0").c_str()), 9007199254740994.0);
}

TEST(NumberFromText, TooSmallGivesZeroAndTooLargeInfinity) {
    expect_readings({{"1e-400", 0}, {"-1e-400", 0}, {"2.4703282292062327e-324", 0}, {"1e-99999999999999999999", 0},
                     {"0e99999999", 0}, {("0." + std::string(400, '0') + "1e-300").c_str(), 0}});
    expect_readings({{"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
                     {"1e-310", 1e-310},
                     {"1.7976931348623158e308", std::numeric_limits<double>::max()},
                     {"1.797693134862315808e308", infinity},
                     {"1e309", infinity},
                     {"-1e309", -infinity},
                     {"1e99999999999999999999", infinity},
                     {("1" + std::string(400, '0')).c_str(), infinity},
                     {("1" + std::string(400, '0') + "e-10").c_str(), infinity}});
}

TEST(NumberFromText, AgreesWithTheCLibraryOnOrdinaryEntries) {
    for (const char* text : {"1000", "3", "0.0000004", "-2", "   12.75", "6.02214076e23", "1.5e-7", "299792458"}) {
        expect_same_bits(number_from_text(text), std::strtod(text, nullptr), text);
    }
}

// 5^n in decimal digits: 5^1075 × 10^-1075 is 2^-1075, halfway between 0 and the smallest double.
std::string power_of_five(int n) {
    std::string digits = "1";   // least significant first
    for (int i = 0; i < n; ++i) {
        int carry = 0;
        for (char& d : digits) {
            const int product = (d - '0') * 5 + carry;
            d = static_cast<char>('0' + product % 10);
            carry = product / 10;
        }
        if (carry != 0) digits += static_cast<char>('0' + carry);
    }
    return std::string(digits.rbegin(), digits.rend());
}

TEST(NumberFromText, HalfwayCasesNeedEveryDigit) {
    // 1 + 2^-53, halfway between 1 and the next double, written out in full (54 digits).
    const std::string above_one = "1.00000000000000011102230246251565404236316680908203125";
    expect_readings({{above_one.c_str(), 1.0}, {(above_one + "0001").c_str(), 1.0000000000000002},
                     {"1.000000000000000111022302462515654042363166809082031249", 1.0}});
    // 2^-1075 has 752 significant digits: the tie goes to the even 0, anything above to the
    // smallest double.
    const std::string tie = power_of_five(1075);
    ASSERT_EQ(tie.size(), 752u);
    expect_same_bits(number_from_text((tie + "e-1075").c_str()), 0.0, "5^1075e-1075");
    expect_same_bits(number_from_text((tie + "1e-1076").c_str()), std::numeric_limits<double>::denorm_min(),
                     "5^1075 1e-1076");
    expect_same_bits(number_from_text(("0." + std::string(1075 - 752, '0') + tie + "1").c_str()),
                     std::numeric_limits<double>::denorm_min(), "0.000...5^1075 1");
}

// ----- Writing --------------------------------------------------------------------------------

TEST(FormatNumber, WritesSixDigitsAfterThePoint) {
    EXPECT_EQ(formatted(1000), "1000.000000");
    EXPECT_EQ(formatted(0.5), "0.500000");
    EXPECT_EQ(formatted(-2), "-2.000000");
    EXPECT_EQ(formatted(123456.789), "123456.789000");
    EXPECT_EQ(formatted(1e20), "100000000000000000000.000000");
    EXPECT_EQ(formatted(1e23), "99999999999999991611392.000000");
}

TEST(FormatNumber, RoundsToSixDigits) {
    EXPECT_EQ(formatted(0.0000004), "0.000000");
    EXPECT_EQ(formatted(0.0000006), "0.000001");
    EXPECT_EQ(formatted(2.0 / 3.0), "0.666667");
    // Exact ties in binary go to the even digit.
    EXPECT_EQ(formatted(0.0078125), "0.007812");
    EXPECT_EQ(formatted(0.0234375), "0.023438");
    EXPECT_EQ(formatted(-0.0078125), "-0.007812");
}

// Around the limits of the program's own writing: the whole part near 2^64 (beyond it snprintf
// writes), fractions of up to 73 bits, rounding that carries into the whole part.
TEST(FormatNumber, ExactAtTheEdgesOfItsOwnWriting) {
    EXPECT_EQ(formatted(0x1.fffffffffffffp+63), "18446744073709549568.000000");
    EXPECT_EQ(formatted(0x1.0p+64), "18446744073709551616.000000");
    EXPECT_EQ(formatted(-0x1.0p+64), "-18446744073709551616.000000");
    EXPECT_EQ(formatted(1e19), "10000000000000000000.000000");
    EXPECT_EQ(formatted(0x1.fffffffffffffp+51), "4503599627370495.500000");
    EXPECT_EQ(formatted(0x1.ffffef39085f5p-1), "1.000000");        // 0.9999995, just above the tie
    EXPECT_EQ(formatted(0x1.e847fffffef39p+19), "999999.999999");  // 999999.9999995, just below
    EXPECT_EQ(formatted(0x1.0c6f7a0b5ed8dp-21), "0.000000");       // 5e-7 lies below 0.0000005
    EXPECT_EQ(formatted(0x1.8p-21), "0.000001");
    EXPECT_EQ(formatted(0x1.0000000000001p-20), "0.000001");
    EXPECT_EQ(formatted(0x1.0000000000001p-73), "0.000000");
    EXPECT_EQ(formatted(123456.0078125), "123456.007812");
    EXPECT_EQ(formatted(0.1), "0.100000");
}

TEST(FormatNumber, ZeroHasNoSignButTinyNegativesKeepTheirs) {
    EXPECT_EQ(formatted(-0.0), "0.000000");
    EXPECT_EQ(formatted(0.0), "0.000000");
    EXPECT_EQ(formatted(-0.0000004), "-0.000000");
    EXPECT_EQ(formatted(-std::numeric_limits<double>::denorm_min()), "-0.000000");
}

TEST(FormatNumber, RefusesWhatIsNotFiniteOrDoesNotFit) {
    // 248 digits before the point and seven more bytes: the whole 255.
    EXPECT_TRUE(format_number(9e247));
    EXPECT_EQ(std::strlen(scratch_text), 255u);
    for (double value : {9e248, -9e247, 1e300, infinity, -infinity, std::numeric_limits<double>::quiet_NaN()}) {
        std::memset(scratch_text, 'x', sizeof scratch_text);
        EXPECT_FALSE(format_number(value)) << value;
        EXPECT_EQ(scratch_text[0], '\0') << value;
        EXPECT_EQ(scratch_text[sizeof scratch_text - 1], '\0') << value;
    }
}

// ----- Locale ---------------------------------------------------------------------------------

TEST(NumberTextLocale, FullStopStaysTheDecimalPointUnderADecimalComma) {
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (german == nullptr) german = std::setlocale(LC_ALL, "German_Germany.1252");
    if (german == nullptr) GTEST_SKIP() << "no German locale here";
    const bool comma = std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    const double read_point = number_from_text("1.5");
    const double read_comma = number_from_text("1,5");
    const std::string written = formatted(1234.5);
    std::setlocale(LC_ALL, "C");

    EXPECT_TRUE(comma) << "the locale " << german << " has no decimal comma";
    EXPECT_EQ(read_point, 1.5);
    EXPECT_EQ(read_comma, 1);
    EXPECT_EQ(written, "1234.500000");
}

}  // namespace
