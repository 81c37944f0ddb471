// The settings message put together from the operator's choices.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "instrument_messages.h"
#include "program_values.h"

namespace {

std::string composed(Waveform waveform, const char* frequency, const char* amplitude) {
    const ComposeResult result = compose_settings(waveform, frequency, amplitude);
    EXPECT_EQ(result, ComposeResult::ok) << frequency << " / " << amplitude;
    return command_text;
}

std::string settings(const char* unit, const char* frequency, const char* amplitude) {
    return std::string(unit) + ";:FREQ " + frequency + ";:OFFS:STAT OFF;:AMPL " + amplitude + ";:OUTP ON";
}

bool command_text_is_all_zero() {
    for (char c : command_text) {
        if (c != '\0') return false;
    }
    return true;
}

TEST(SettingsMessage, DefaultsGiveTheSixtySixCharacterMessage) {
    const std::string message = composed(Waveform::sin, "1000", "3");
    EXPECT_EQ(message, ":FUNC SIN;:FREQ 1000.000000;:OFFS:STAT OFF;:AMPL 3.000000;:OUTP ON");
    EXPECT_EQ(message.size(), 66u);
}

TEST(SettingsMessage, EachWaveformHasItsUnitAndDcStillSendsTheFrequency) {
    const struct {
        Waveform waveform;
        const char* unit;
    } units[] = {{Waveform::sin, ":FUNC SIN"},   {Waveform::tri, ":FUNC TRI"},   {Waveform::squ, ":FUNC SQU"},
                 {Waveform::puls, ":FUNC PULS"}, {Waveform::ramp, ":FUNC RAMP"}, {Waveform::dc, ":FUNC DC"}};
    for (const auto& u : units) {
        EXPECT_EQ(composed(u.waveform, "50", "-1.5"), settings(u.unit, "50.000000", "-1.500000"));
    }
}

TEST(SettingsMessage, EntriesAreReadByTheNumberRules) {
    for (const char* entry : {"1e3Hz", "1d3", "  1000", "+1000", "1000.0000001", "\t1D3"}) {
        EXPECT_EQ(composed(Waveform::sin, entry, "3"), settings(":FUNC SIN", "1000.000000", "3.000000")) << entry;
    }
    for (const char* entry : {"abc", "inf", "", "nan", "0x10", "-0", "-"}) {
        EXPECT_EQ(composed(Waveform::sin, entry, entry), settings(":FUNC SIN", "0.000000", "0.000000")) << entry;
    }
    EXPECT_EQ(composed(Waveform::sin, "1000", "-0.0000004"), settings(":FUNC SIN", "1000.000000", "-0.000000"));
}

TEST(SettingsMessage, ReplacesWhateverTheBufferHeld) {
    std::memset(command_text, 'X', sizeof command_text - 1);
    EXPECT_EQ(composed(Waveform::dc, "0", "1"), settings(":FUNC DC", "0.000000", "1.000000"));
}

TEST(SettingsMessage, InfiniteNumbersAreRefusedFrequencyFirst) {
    struct Case {
        const char* frequency;
        const char* amplitude;
        ComposeResult result;
    };
    const Case cases[] = {
        {"1e400", "3", ComposeResult::frequency_out_of_range},
        {"-1e400", "3", ComposeResult::frequency_out_of_range},
        {"1000", "1e400", ComposeResult::amplitude_out_of_range},
        {"1000", "-1d999", ComposeResult::amplitude_out_of_range},
        {"1e400", "1e400", ComposeResult::frequency_out_of_range},
    };
    for (const Case& c : cases) {
        std::memset(command_text, 'X', sizeof command_text);
        EXPECT_EQ(compose_settings(Waveform::sin, c.frequency, c.amplitude), c.result) << c.frequency << " / " << c.amplitude;
        EXPECT_TRUE(command_text_is_all_zero()) << c.frequency << " / " << c.amplitude;
    }
}

// With ":FUNC RAMP" the fixed units take 48 bytes, leaving 207 for the two numbers. 9e191 is
// written with 192 digits before the point (199 bytes), 9e192 with 200; "0" gives 8 bytes.
TEST(SettingsMessage, LongestMessageFitsAndOneByteMoreIsRefused) {
    EXPECT_EQ(compose_settings(Waveform::ramp, "9e191", "0"), ComposeResult::ok);
    EXPECT_EQ(std::strlen(command_text), 255u);
    EXPECT_EQ(std::string(command_text).substr(0, 17), ":FUNC RAMP;:FREQ ");
    EXPECT_EQ(std::string(command_text).substr(255 - 39), ";:OFFS:STAT OFF;:AMPL 0.000000;:OUTP ON");

    EXPECT_EQ(compose_settings(Waveform::ramp, "0", "9e191"), ComposeResult::ok);
    EXPECT_EQ(std::strlen(command_text), 255u);

    // One byte more in either number.
    EXPECT_EQ(compose_settings(Waveform::ramp, "9e191", "-0.0000004"), ComposeResult::amplitude_out_of_range);
    EXPECT_TRUE(command_text_is_all_zero());
    EXPECT_EQ(compose_settings(Waveform::ramp, "0", "9e192"), ComposeResult::amplitude_out_of_range);
    EXPECT_TRUE(command_text_is_all_zero());
    EXPECT_EQ(compose_settings(Waveform::ramp, "9e192", "0"), ComposeResult::frequency_out_of_range);
    EXPECT_TRUE(command_text_is_all_zero());

    // A shorter unit leaves the byte that the longer one took.
    EXPECT_EQ(compose_settings(Waveform::sin, "9e192", "0"), ComposeResult::ok);
    EXPECT_EQ(std::strlen(command_text), 255u);
}

TEST(SettingsMessage, FrequencyTooLongBesideAnyAmplitudeIsTheFrequencysFault) {
    EXPECT_EQ(compose_settings(Waveform::sin, "1e250", "3"), ComposeResult::frequency_out_of_range);
    EXPECT_EQ(compose_settings(Waveform::sin, "1e250", "1e400"), ComposeResult::frequency_out_of_range);
    // Each fits alone, not together: the amplitude comes second and is refused.
    EXPECT_EQ(compose_settings(Waveform::sin, "1e100", "1e100"), ComposeResult::amplitude_out_of_range);
}

}  // namespace
