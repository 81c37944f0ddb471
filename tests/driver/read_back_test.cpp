// The read-back after ON: a query that cannot be written, a read that fails, a reply that fills the
// whole buffer. Needs the instrument actions.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"

namespace driver {
namespace {

struct FailingQuery {
  const char* fault;  // the n-th gp_wrt of the run fails; the settings write is the first
  const char* query;
};

std::ostream& operator<<(std::ostream& out, const FailingQuery& failing) { return out << failing.query; }

class PanelReadBackQueryFailure : public PanelSession, public ::testing::WithParamInterface<FailingQuery> {};

// The failed query's field stays empty, its read is skipped, the other queries still go out in
// order, and ON still succeeds.
TEST_P(PanelReadBackQueryFailure, LeavesItsFieldEmptyAndTheOthersGoOn) {
  SimSetup setup;
  setup.faults = GetParam().fault;
  const auto& panel = open_panel(setup);
  press_init();
  press_output_on();

  const std::string query = GetParam().query;
  MonitorTexts want{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"};
  std::vector<std::string> want_calls = {expected::write(expected::settings("SIN", "1000.000000", "3.000000"))};
  const std::pair<std::string, std::string*> queries[] = {
      {":FUNC?", &want.function}, {":AMPL?", &want.amplitude}, {":FREQ?", &want.frequency}};
  for (const auto& [sent, field] : queries) {
    if (sent == query) {
      want_calls.push_back(expected::write(sent, -9));
      field->clear();
    } else {
      want_calls.push_back(expected::write(sent));
      want_calls.push_back(expected::read(expected::escaped(*field)));
    }
  }

  EXPECT_EQ(monitors(), want);
  EXPECT_EQ(panel.text(panel_id::kStatus), "") << "a failed query is not reported";
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(expected::between_bring_up_and_release(trace()), want_calls);
}

INSTANTIATE_TEST_SUITE_P(EachQuery, PanelReadBackQueryFailure,
                         ::testing::Values(FailingQuery{"gp_wrt#2=-9", ":FUNC?"},
                                           FailingQuery{"gp_wrt#3=-9", ":AMPL?"},
                                           FailingQuery{"gp_wrt#4=-9", ":FREQ?"}),
                         [](const ::testing::TestParamInfo<FailingQuery>& info) {
                           return std::string(info.param.query).substr(1, 4);
                         });

using PanelReadBack = PanelSession;

// A read that fails leaves in the field whatever the library left in the zeroed buffer; the
// simulator leaves nothing.
TEST_F(PanelReadBack, FailedReadLeavesItsFieldAsTheLibraryLeftTheBuffer) {
  SimSetup setup;
  setup.faults = "gp_red#2=5";
  open_panel(setup);
  press_init();
  press_output_on();

  EXPECT_EQ(monitors(), (MonitorTexts{"SIN\n", "", "+1.000000E+03\n"}));
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  const std::vector<std::string> calls = expected::between_bring_up_and_release(trace());
  ASSERT_EQ(calls.size(), 7u) << ::testing::PrintToString(calls);
  EXPECT_EQ(calls[3], expected::write(":AMPL?"));
  EXPECT_EQ(calls[4].rfind(R"(gp_red("4", 256) = 5)", 0), 0u) << calls[4];
}

// Replies are shown verbatim, line terminators and all; a reply longer than the buffer arrives cut
// to 255 bytes and the field shows exactly those.
TEST_F(PanelReadBack, FieldsShowRepliesVerbatimUpToTheWholeBuffer) {
  std::string long_reply;
  for (int index = 0; index < 300; ++index) long_reply += static_cast<char>('A' + index % 26);
  SimSetup setup;
  setup.replies = ":FUNC?=" + long_reply + "|:AMPL?=+2.5E+00\\r\\n|:FREQ?=";
  open_panel(setup);
  press_init();
  press_output_on();

  EXPECT_EQ(monitors(), (MonitorTexts{long_reply.substr(0, 255), "+2.5E+00\r\n", ""}));
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  const std::vector<std::string> calls = expected::between_bring_up_and_release(trace());
  ASSERT_EQ(calls.size(), 7u) << ::testing::PrintToString(calls);
  EXPECT_EQ(calls[2], expected::read(long_reply.substr(0, 255)));
}

}  // namespace
}  // namespace driver
