// What the operator can type into the address fields, and which address the link uses.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

namespace driver {
namespace {

using PanelTyping = PanelSession;

TEST_F(PanelTyping, DeviceAddressRefusesAThirdCharacter) {
  const auto& panel = open_panel();

  panel.retype(panel_id::kDeviceAddress, "123");
  EXPECT_EQ(panel.text(panel_id::kDeviceAddress), "12");

  // Typing after the default address: one more character fits, the next does not.
  panel.retype(panel_id::kDeviceAddress, "4");
  panel.type(panel_id::kDeviceAddress, "56");
  EXPECT_EQ(panel.text(panel_id::kDeviceAddress), "45");

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

TEST_F(PanelTyping, OwnAddressTakesNoTyping) {
  const auto& panel = open_panel();

  panel.type(panel_id::kOwnAddress, "7");
  panel.retype(panel_id::kOwnAddress, "9");
  panel.type(panel_id::kOwnAddress, "\b");

  EXPECT_EQ(panel.text(panel_id::kOwnAddress), "1");
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

TEST_F(PanelTyping, EntriesTakeLongTexts) {
  const auto& panel = open_panel();
  const std::string long_entry(300, '7');
  panel.retype(panel_id::kFrequency, long_entry);
  panel.retype(panel_id::kAmplitude, long_entry);
  EXPECT_EQ(panel.text(panel_id::kFrequency), long_entry);
  EXPECT_EQ(panel.text(panel_id::kAmplitude), long_entry);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// The address used is the one in the field when GPIB初期化 is pressed.
TEST_F(PanelTyping, BringUpUsesTheTypedAddress) {
  driver::SimSetup setup;
  setup.address = "12";
  const auto& panel = open_panel(setup);

  panel.retype(panel_id::kDeviceAddress, "12");
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up("12"), {expected::release()}}));
}

// Editing the address after a bring-up changes nothing: the exchanges use the address read then.
TEST_F(PanelTyping, EditingTheAddressAfterBringUpChangesNothing) {
  const auto& panel = open_panel();
  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);

  panel.retype(panel_id::kDeviceAddress, "7");
  press_output_on();

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), expected::output_on_with_defaults(),
                                        {expected::release()}}));
}

// An empty address goes to the library as an empty address list; the status line reports whatever
// the library answered to the device clear.
TEST_F(PanelTyping, EmptyAddressIsPassedAsAnEmptyList) {
  const auto& panel = open_panel();
  panel.retype(panel_id::kDeviceAddress, "");
  ASSERT_EQ(panel.text(panel_id::kDeviceAddress), "");
  press_init();
  const std::string status = panel.text(panel_id::kStatus);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  const std::vector<std::string> calls = trace();
  ASSERT_GE(calls.size(), 5u);
  const std::string clear_call = R"(gp_clr("") = )";
  ASSERT_EQ(calls[4].substr(0, clear_call.size()), clear_call) << calls[4];
  const std::string clear_result = calls[4].substr(clear_call.size());
  if (clear_result == "0") {
    EXPECT_EQ(status, panel_text::kInitSucceeded);
  } else {
    EXPECT_EQ(status, "gp_clr error [" + clear_result + "]\n");
    EXPECT_EQ(calls.size(), 6u) << "calls after a failed device clear";
  }
  EXPECT_EQ(calls.back(), expected::release());
}

}  // namespace
}  // namespace driver
