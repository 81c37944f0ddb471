// The instrument's messages and the exchanges the panel asks for.
#pragma once

#include <cstdint>

#include "link_result.h"
#include "taverix.h"

enum class Waveform { sin, tri, squ, puls, ramp, dc };

enum class ReadBack { waveform, amplitude, frequency };

enum class Verdict { ok, ng };

enum class ComposeResult { ok, frequency_out_of_range, amplitude_out_of_range };

// Called by output_on with each read-back text as soon as it has been read, before reply_text is
// zeroed for the next query.
using ReadBackSink = void (*)(ReadBack which, const char* text, void* context);

// Fills command_text with the settings message. Refuses, leaving command_text empty, when a number
// is infinite or the message would not fit in command_text.
ComposeResult compose_settings(Waveform waveform, const char* frequency_text, const char* amplitude_text);

// gp_wrt of message to device_address.
BusStatus instrument_write(const char* message);

// gp_wrt of query to device_address and, only when that succeeds, gp_red into reply (size bytes).
// The reply stays terminated within its buffer whatever the library left there.
void instrument_query(const char* query, char* reply, std::int32_t size);

// Sends the settings message and, once it is written, reads back waveform, amplitude and frequency,
// handing each text to sink.
LinkResult output_on(Waveform waveform, const char* frequency_text, const char* amplitude_text,
                     ReadBackSink sink, void* context);

LinkResult output_off();

Verdict self_test();
