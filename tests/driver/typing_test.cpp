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

// The address goes to the library exactly as typed, with no trimming and no check that it is a
// number; the simulated library finds no instrument at " 4" and the device clear fails.
TEST_F(PanelTyping, AddressIsPassedAsTyped) {
  const auto& panel = open_panel();
  panel.retype(panel_id::kDeviceAddress, " 4");
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_clr error [3]\n");
  EXPECT_EQ(buttons(), kOpenedButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  std::vector<std::string> want = expected::bring_up();
  want.resize(4);
  want.push_back(R"(gp_clr(" 4") = 3)");
  want.push_back(expected::release());
  EXPECT_EQ(trace(), want);
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

// An empty address goes to the library as an empty address list, in the device clear and in every
// later exchange. The simulator takes the empty list as "every instrument" for a device clear and
// refuses it for a write (code 3), which ON reports.
TEST_F(PanelTyping, EmptyAddressIsPassedAsAnEmptyList) {
  const auto& panel = open_panel();
  panel.retype(panel_id::kDeviceAddress, "");
  ASSERT_EQ(panel.text(panel_id::kDeviceAddress), "");
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  press_output_on();
  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_wrt() error : 3");
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(""),
                                        {expected::write(expected::settings("SIN", "1000.000000", "3.000000"), 3, ""),
                                         expected::release()}}));
}

}  // namespace
}  // namespace driver
