// The gateway's command line and its client ranges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

namespace {

bool read(std::vector<const char*> args, gateway::Options& o) {
    args.insert(args.begin(), "taverix-gateway");
    gateway::options_default(o);
    return gateway::options_read(static_cast<int>(args.size()), args.data(), o);
}

TEST(GatewayCommandLine, DefaultsAndEveryOption) {
    gateway::Options o;
    ASSERT_TRUE(read({}, o));
    EXPECT_STREQ(o.address_text, "4");
    EXPECT_EQ(o.port, 5025);
    EXPECT_STREQ(o.listen_text, "127.0.0.1");
    EXPECT_EQ(o.timeout, 5);
    EXPECT_EQ(o.allowed_count, 0u);
    EXPECT_TRUE(o.vxi11);
    EXPECT_EQ(o.core_port, 9010);
    EXPECT_EQ(o.abort_port, 9011);
    EXPECT_TRUE(o.lockout);
    EXPECT_STREQ(o.log_path, "");
    EXPECT_EQ(o.log_limit, 10u * 1024 * 1024);
    EXPECT_FALSE(o.service);
    EXPECT_EQ(o.service_action, gateway::ServiceAction::none);

    ASSERT_TRUE(read({"--no-lockout", "--log-file", "C:\\logs\\gw.log", "--log-size", "1024", "--service"}, o));
    EXPECT_FALSE(o.lockout);
    EXPECT_STREQ(o.log_path, "C:\\logs\\gw.log");
    EXPECT_EQ(o.log_limit, 1024u);
    EXPECT_TRUE(o.service);
    for (const auto& [word, action] : {std::pair{"--install-service", gateway::ServiceAction::install},
                                       std::pair{"--reinstall-service", gateway::ServiceAction::reinstall},
                                       std::pair{"--uninstall-service", gateway::ServiceAction::uninstall}}) {
        ASSERT_TRUE(read({"--port", "6000", word}, o)) << word;
        EXPECT_EQ(o.service_action, action) << word;
        EXPECT_EQ(o.port, 6000) << word;
        EXPECT_FALSE(gateway::option_kept_for_service(word));
    }
    EXPECT_TRUE(gateway::option_kept_for_service("--no-lockout"));

    ASSERT_TRUE(read({"--core-port", "0", "--abort-port", "7001"}, o));
    EXPECT_EQ(o.core_port, 0);
    EXPECT_EQ(o.abort_port, 7001);
    ASSERT_TRUE(read({"--no-vxi11"}, o));
    EXPECT_FALSE(o.vxi11);

    ASSERT_TRUE(read({"--address", "30", "--port", "0", "--listen", "0.0.0.0", "--allow", "192.168.1.0/24",
                      "--allow", "10.1.2.3", "--timeout", "13"}, o));
    EXPECT_STREQ(o.address_text, "30");
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.listen_address, 0u);
    EXPECT_EQ(o.timeout, 13);
    ASSERT_EQ(o.allowed_count, 2u);
    EXPECT_TRUE(gateway::client_allowed(o, 0xC0A801FE));    // 192.168.1.254
    EXPECT_FALSE(gateway::client_allowed(o, 0xC0A80201));   // 192.168.2.1
    EXPECT_TRUE(gateway::client_allowed(o, 0x0A010203));    // 10.1.2.3
    EXPECT_FALSE(gateway::client_allowed(o, 0x0A010204));
    EXPECT_TRUE(gateway::client_allowed(o, 0x7F000005));    // loopback, always
}

TEST(GatewayCommandLine, UnreadableValuesAreRefused) {
    gateway::Options o;
    const std::vector<std::vector<const char*>> bad = {
        {"--address", "31"}, {"--address", "04"}, {"--address", "-1"}, {"--address"}, {"--port", "65536"},
        {"--port", "80x"}, {"--listen", "1.2.3"}, {"--listen", "1.2.3.256"}, {"--listen", "1.2.3.4.5"},
        {"--listen", "localhost"}, {"--allow", "10.0.0.0/33"}, {"--allow", "10.0.0.0/"}, {"--timeout", "2147483648"},
        {"--timeout", "-5"}, {"--verbose"}, {"4"}, {"--core-port", "65536"}, {"--abort-port"}, {"--no-vxi11", "1"},
        {"--log-file", ""}, {"--log-file"}, {"--log-size", "1023"}, {"--log-size", "10M"},
        {"--install-service", "--uninstall-service"}, {"--install-service", "--service"},
        {"--service", "--reinstall-service"},
    };
    for (const auto& args : bad) EXPECT_FALSE(read(args, o)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    std::vector<const char*> seventeen;
    for (int i = 0; i < 17; ++i) {
        seventeen.push_back("--allow");
        seventeen.push_back("10.0.0.1");
    }
    EXPECT_FALSE(read(seventeen, o));

    // The argument that could not be read: its index, or argc for a missing value.
    const char* argv[] = {"taverix-gateway", "--port", "6000", "--address", "31", "--timeout"};
    int failed_at = 0;
    EXPECT_FALSE(gateway::options_read(5, argv, o, failed_at));
    EXPECT_EQ(failed_at, 3);
    EXPECT_FALSE(gateway::options_read(6, argv, o, failed_at));
    EXPECT_EQ(failed_at, 3);
    argv[4] = "30";
    EXPECT_FALSE(gateway::options_read(6, argv, o, failed_at));
    EXPECT_EQ(failed_at, 6);
}

TEST(GatewayCommandLine, AnEmptyPrefixAllowsEveryAddress) {
    gateway::Options o;
    ASSERT_TRUE(read({"--allow", "1.2.3.4/0"}, o));
    EXPECT_TRUE(gateway::client_allowed(o, 0xFFFFFFFF));
    EXPECT_TRUE(gateway::client_allowed(o, 0));
}

}  // namespace

namespace {

std::vector<std::string> warnings_for(std::vector<const char*> args) {
    static std::vector<std::string>* lines;
    std::vector<std::string> out;
    lines = &out;
    gateway::Options o;
    EXPECT_TRUE(read(args, o));
    gateway::options_warnings(o, [](const char* line) { lines->push_back(line); });
    return out;
}

// Each warning, alone and together, and the listeners that need none: loopback without --allow, and a
// network listener narrowed by --allow.
TEST(GatewayCommandLine, StartUpWarningsSayWhatTheOptionsLeaveOpenOrCannotDo) {
    const std::string open_to_all =
        "warning: serving 0.0.0.0 with no --allow: every PC that reaches this one can drive the instrument; "
        "--allow ADDR[/BITS] names the PCs that may";
    const std::string loopback_allow =
        "warning: --allow has no effect: listening on 127.0.0.1 (loopback), every client is on this machine and "
        "always allowed; --listen 0.0.0.0 or an address of this machine serves others";
    const std::string past_prefix = "warning: --allow 10.1.2.3/8 has bits set past its /8: taken as 10.0.0.0/8";
    struct Case {
        std::vector<const char*> args;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        {{"--listen", "127.0.0.2"}, {}},
        {{"--listen", "0.0.0.0"}, {open_to_all}},
        {{"--listen", "192.168.1.5"},
         {"warning: serving 192.168.1.5 with no --allow: every PC that reaches this one can drive the instrument; "
          "--allow ADDR[/BITS] names the PCs that may"}},
        {{"--listen", "0.0.0.0", "--allow", "192.168.1.20"}, {}},
        {{"--listen", "0.0.0.0", "--allow", "0.0.0.0/0"}, {}},
        {{"--allow", "192.168.1.0/24"}, {loopback_allow}},
        {{"--listen", "0.0.0.0", "--allow", "10.1.2.3/8"}, {past_prefix}},
        {{"--allow", "10.1.2.3/8"}, {loopback_allow, past_prefix}},
    };
    for (const Case& c : cases) {
        std::string args;
        for (const char* a : c.args) args += std::string(a) + " ";
        EXPECT_EQ(warnings_for(c.args), c.expected) << args;
    }
}

}  // namespace
