#include "instrument_messages.h"

#include <cstring>
#include <string_view>

#include "bus_calls.h"
#include "number_text.h"
#include "program_values.h"
#include "text_buffer.h"

namespace {

constexpr std::string_view frequency_unit = ";:FREQ ";
constexpr std::string_view offset_off_unit = ";:OFFS:STAT OFF";
constexpr std::string_view amplitude_unit = ";:AMPL ";
constexpr std::string_view output_on_unit = ";:OUTP ON";
constexpr std::string_view shortest_number = "0.000000";

// The least room the message takes after the frequency: the amplitude at its shortest.
constexpr std::size_t shortest_tail =
    offset_off_unit.size() + amplitude_unit.size() + shortest_number.size() + output_on_unit.size();

constexpr const char* output_off_message = ":OUTP OFF";
constexpr const char* waveform_query = ":FUNC?";
constexpr const char* amplitude_query = ":AMPL?";
constexpr const char* frequency_query = ":FREQ?";
constexpr const char* self_test_query = "*TST?";

constexpr const char* frequency_refused_text = "frequency out of range";
constexpr const char* amplitude_refused_text = "amplitude out of range";

constexpr std::int32_t reply_size = static_cast<std::int32_t>(sizeof reply_text);

// ---------------------------------------------------------------------------------------------
// The settings message's first unit, naming the waveform.
// ---------------------------------------------------------------------------------------------
std::string_view waveform_unit(Waveform waveform) {
    switch (waveform) {
        case Waveform::sin: return ":FUNC SIN";
        case Waveform::tri: return ":FUNC TRI";
        case Waveform::squ: return ":FUNC SQU";
        case Waveform::puls: return ":FUNC PULS";
        case Waveform::ramp: return ":FUNC RAMP";
        case Waveform::dc: return ":FUNC DC";
    }
    return ":FUNC SIN";   // not reached: the panel always has one waveform checked
}

// Bytes of text command_text can still take.
std::size_t command_room() { return sizeof command_text - 1 - strnlen(command_text, sizeof command_text); }

// ---------------------------------------------------------------------------------------------
// One read-back: the query into the zeroed reply_text, whose text then goes to the sink.
// ---------------------------------------------------------------------------------------------
void read_back(const char* query, ReadBack which, ReadBackSink sink, void* context) {
    text_clear(reply_text);
    instrument_query(query, reply_text, reply_size);
    if (sink != nullptr) sink(which, reply_text, context);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Settings message: waveform, frequency, offset off, amplitude, output on. The frequency is
// judged first: it is refused when it is infinite or does not fit even beside the shortest
// amplitude; the amplitude is refused when it is infinite or the whole message does not fit.
// ---------------------------------------------------------------------------------------------
ComposeResult compose_settings(Waveform waveform, const char* frequency_text, const char* amplitude_text) {
    text_clear(command_text);
    text_append(command_text, waveform_unit(waveform));

    const double frequency = number_from_text(frequency_text);
    if (!format_number(frequency) ||
        frequency_unit.size() + std::strlen(scratch_text) + shortest_tail > command_room()) {
        text_clear(command_text);
        return ComposeResult::frequency_out_of_range;
    }
    text_append(command_text, frequency_unit);
    text_append(command_text, scratch_text);

    const double amplitude = number_from_text(amplitude_text);
    const bool amplitude_fits = format_number(amplitude) && text_append(command_text, offset_off_unit) &&
                                text_append(command_text, amplitude_unit) &&
                                text_append(command_text, scratch_text) &&
                                text_append(command_text, output_on_unit);
    if (!amplitude_fits) {
        text_clear(command_text);
        return ComposeResult::amplitude_out_of_range;
    }
    return ComposeResult::ok;
}

// ---------------------------------------------------------------------------------------------
// One message to the instrument.
// ---------------------------------------------------------------------------------------------
BusStatus instrument_write(const char* message) { return taverix::gp_wrt(device_address, message); }

// ---------------------------------------------------------------------------------------------
// One query: the reply is read only when the query was written. The last byte of the buffer is
// zeroed after the read, so a reply that fills the whole buffer still ends within it.
// ---------------------------------------------------------------------------------------------
void instrument_query(const char* query, char* reply, std::int32_t size) {
    if (taverix::gp_wrt(device_address, query) != 0) return;
    taverix::gp_red(device_address, reply, size);
    if (size > 0) reply[size - 1] = '\0';
}

// ---------------------------------------------------------------------------------------------
// Output on: the settings message, then the read-back of waveform, amplitude and frequency.
// ---------------------------------------------------------------------------------------------
LinkResult output_on(Waveform waveform, const char* frequency_text, const char* amplitude_text,
                     ReadBackSink sink, void* context) {
    switch (compose_settings(waveform, frequency_text, amplitude_text)) {
        case ComposeResult::frequency_out_of_range: return {false, frequency_refused_text};
        case ComposeResult::amplitude_out_of_range: return {false, amplitude_refused_text};
        case ComposeResult::ok: break;
    }
    if (BusStatus status = instrument_write(command_text); status != 0) return bus_call_failure("gp_wrt() error : %d", status);

    read_back(waveform_query, ReadBack::waveform, sink, context);
    read_back(amplitude_query, ReadBack::amplitude, sink, context);
    read_back(frequency_query, ReadBack::frequency, sink, context);
    return {true, ""};
}

// ---------------------------------------------------------------------------------------------
// Output off.
// ---------------------------------------------------------------------------------------------
LinkResult output_off() {
    text_clear(command_text);
    text_append(command_text, output_off_message);
    if (BusStatus status = instrument_write(command_text); status != 0) return bus_call_failure("gp_wrt() error : %d", status);
    return {true, ""};
}

// ---------------------------------------------------------------------------------------------
// Self test: the instrument passes when its reply to *TST? starts with '0'.
// ---------------------------------------------------------------------------------------------
Verdict self_test() {
    text_clear(reply_text);
    instrument_query(self_test_query, reply_text, reply_size);
    return reply_text[0] == '0' ? Verdict::ok : Verdict::ng;
}
