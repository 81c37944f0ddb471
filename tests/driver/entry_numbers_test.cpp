// How the frequency and amplitude entries are read into numbers and sent, as the operator types
// them. One run switches the output on and off once per entry. Needs the instrument actions.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

#include <utility>

namespace driver {
namespace {

// The settings messages among the calls, in order.
std::vector<std::string> settings_writes(const std::vector<std::string>& calls) {
  const std::string prefix = "gp_wrt(\"4\", \":FUNC ";
  std::vector<std::string> writes;
  for (const auto& call : calls) {
    if (call.rfind(prefix, 0) == 0) writes.push_back(call);
  }
  return writes;
}

class PanelEntryNumbers : public PanelSession {
 protected:
  // Types each entry into the field, switches the output on and off again, and returns the
  // settings messages the program sent.
  std::vector<std::string> send_each(int field, const std::vector<std::pair<std::string, std::string>>& entries) {
    const auto& panel = open_panel();
    press_init();
    for (const auto& entry : entries) {
      panel.retype(field, entry.first);
      press_output_on();
      EXPECT_EQ(buttons(), kLinkUpOutputOnButtons) << "entry " << ::testing::PrintToString(entry.first);
      press_output_off();
    }
    EXPECT_EQ(leave(WayOut::kExitButton), 0u);
    return settings_writes(trace());
  }
};

TEST_F(PanelEntryNumbers, FrequencyEntries) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"1e3Hz", "1000.000000"}, {"1d3", "1000.000000"}, {"  1000", "1000.000000"}, {"abc", "0.000000"},
      {"inf", "0.000000"},      {"", "0.000000"},       {"0x10", "0.000000"},      {"1+2", "1.000000"},
      {"0.0078125", "0.007812"}, {"-2", "-2.000000"},   {"1e-400", "0.000000"},    {"12.5e+2", "1250.000000"},
  };
  std::vector<std::string> want;
  for (const auto& entry : entries) want.push_back(expected::write(expected::settings("SIN", entry.second, "3.000000")));
  EXPECT_EQ(send_each(panel_id::kFrequency, entries), want);
}

TEST_F(PanelEntryNumbers, AmplitudeEntries) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"-0", "0.000000"},        {"-0.0000004", "-0.000000"}, {"0.5", "0.500000"},
      {"0.0000004", "0.000000"}, {"+2.25V", "2.250000"},     {"5D-1", "0.500000"},
  };
  std::vector<std::string> want;
  for (const auto& entry : entries) want.push_back(expected::write(expected::settings("SIN", "1000.000000", entry.second)));
  EXPECT_EQ(send_each(panel_id::kAmplitude, entries), want);
}

// Only the first 255 bytes of an entry are read: the digits from byte 256 on do not count.
TEST_F(PanelEntryNumbers, OnlyTheFirst255BytesOfAnEntryAreRead) {
  const std::string frequency = std::string(254, '0') + "78" + std::string(44, '0');
  const std::string amplitude = std::string(254, ' ') + "25" + std::string(44, '9');
  ASSERT_EQ(frequency.size(), 300u);
  const auto& panel = open_panel();
  panel.retype(panel_id::kFrequency, frequency);
  panel.retype(panel_id::kAmplitude, amplitude);
  ASSERT_EQ(panel.text(panel_id::kFrequency), frequency);
  press_init();
  press_output_on();
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(settings_writes(trace()),
            std::vector<std::string>{expected::write(expected::settings("SIN", "7.000000", "2.000000"))});
}

// An entry beyond double precision is refused with a status text, and nothing is sent.
TEST_F(PanelEntryNumbers, FrequencyOutOfRangeIsRefused) {
  const auto& panel = open_panel();
  panel.retype(panel_id::kFrequency, "1e400");
  press_init();
  press_output_on();
  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kFrequencyOutOfRange);
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), {expected::release()}}));
}

// A number whose text would not fit into the message is either refused (status text, nothing sent)
// or cut, but never sent beyond the 255 bytes of the message buffer.
TEST_F(PanelEntryNumbers, HugeNumbersNeverOverflowTheMessage) {
  const auto& panel = open_panel();
  panel.retype(panel_id::kFrequency, "1e250");
  panel.retype(panel_id::kAmplitude, "-1e200");
  press_init();
  press_output_on();
  const std::string status = panel.text(panel_id::kStatus);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  const std::vector<std::string> writes = settings_writes(trace());
  if (writes.empty()) {
    EXPECT_NE(status, "") << "refused without a status text";
  } else {
    ASSERT_EQ(writes.size(), 1u);
    const std::string message_start = "gp_wrt(\"4\", \"";
    const std::string message = writes[0].substr(message_start.size(), writes[0].rfind("\") = ") - message_start.size());
    EXPECT_LE(message.size(), 255u) << message;
  }
}

}  // namespace
}  // namespace driver
