// The server in this process, against the simulator: a reply that comes after the read has
// failed is cleared, so it never lands in front of the next query's reply; and bus transactions
// of several clients never interleave.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "bus_link.h"
#include "command_line.h"
#include "gateway_log.h"
#include "raw_socket_server.h"
#include "net.h"
#include "sim_control.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using gateway::Socket;

Socket connect_to(unsigned port) {
    const Socket s = static_cast<Socket>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0x7F000001);
    to.sin_port = htons(static_cast<unsigned short>(port));
    EXPECT_EQ(connect(static_cast<decltype(socket(0, 0, 0))>(s), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    return s;
}

// One reply line, or "" when the connection ends first.
std::string read_line(Socket s) {
    std::string line;
    char c = 0;
    while (gateway::net_receive(s, &c, 1) == 1) {
        line += c;
        if (c == '\n') break;
    }
    return line;
}

std::string query(Socket s, const std::string& line) {
    EXPECT_TRUE(gateway::net_send_all(s, line.data(), line.size()));
    return read_line(s);
}

std::string sim_trace() {
    static char text[65536];
    std::lock_guard<std::mutex> hold(gateway::server_bus_lock());
    taverix_sim_trace(text, sizeof text);
    return text;
}

class GatewayServer : public ::testing::Test {
protected:
    void SetUp() override {
        taverix_sim_reset();
        taverix_sim_set("TAVERIX_SIM_TIMEOUT_MS", "1");   // the panel's value 5: reads time out after 5 ms
        ASSERT_TRUE(bus_bring_up("4").ok);
        ASSERT_TRUE(gateway::net_start());
        gateway::Options options;
        gateway::options_default(options);
        options.port = 0;
        log = std::tmpfile();
        gateway::log_to(log);
        int error = 0;
        ASSERT_TRUE(gateway::server_start(options, error)) << error;
        port = gateway::server_port();
    }
    void TearDown() override {
        gateway::server_stop();
        bus_release();
        gateway::log_to(nullptr);
        std::fclose(log);
        gateway::net_finish();
    }
    std::FILE* log = nullptr;
    unsigned port = 0;
};

TEST_F(GatewayServer, ALateReplyIsClearedAndNeverAnswersTheNextQuery) {
    const Socket s = connect_to(port);
    EXPECT_EQ(query(s, ":FREQ 1500;:FREQ?\n"), "+1.500000E+03\n");
    {
        std::lock_guard<std::mutex> hold(gateway::server_bus_lock());
        taverix_sim_set("TAVERIX_SIM_REPLY_DELAY_MS", "200");   // later than the 5 ms time-out
    }
    const std::string late = ":FREQ 2500;:FREQ?\n";
    ASSERT_TRUE(gateway::net_send_all(s, late.data(), late.size()));
    // Waits (at most a minute) until the gateway has given up on that reply.
    const std::string given_up = "gp_red(\"4\", 256) = 4 \"\"\ngp_clr(\"4\") = 0\n";
    for (int i = 0; i < 6000 && sim_trace().find(given_up) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    {
        std::lock_guard<std::mutex> hold(gateway::server_bus_lock());
        taverix_sim_set("TAVERIX_SIM_REPLY_DELAY_MS", "0");
    }
    // The first line this client gets is the reply to its next query, and the late reply was
    // cleared, not interrupted by the next message (which the instrument would report as -410).
    EXPECT_EQ(query(s, ":SYST:ERR?\n"), "0,\"No error\"\n");
    EXPECT_EQ(query(s, ":FREQ?\n"), "+2.500000E+03\n");
    const std::string trace = sim_trace();
    EXPECT_NE(trace.find("gp_wrt(\"4\", \":FREQ 2500;:FREQ?\") = 0\ngp_red(\"4\", 256) = 4 \"\"\ngp_clr(\"4\") = 0\n"),
              std::string::npos) << trace;
    gateway::net_close(s);
}

TEST_F(GatewayServer, ReplyLongerThanOneReadBufferComesWholeWithOneLineFeed) {
    const std::string text(700, 'r');
    {
        std::lock_guard<std::mutex> hold(gateway::server_bus_lock());
        taverix_sim_set("TAVERIX_SIM_REPLIES", ("*IDN?=" + text + "\\n\\n|*OPC?=" + std::string(254, 'o') + "\\n").c_str());
    }
    const Socket s = connect_to(port);
    EXPECT_EQ(query(s, "*IDN?\n"), text + "\n");
    EXPECT_EQ(query(s, "*OPC?\n"), std::string(254, 'o') + "\n");
    EXPECT_EQ(query(s, ":OUTP?\n"), "0\n");
    gateway::net_close(s);
}

TEST_F(GatewayServer, AStalledClientHoldsUpNoOneAndAFailedWriteLeavesTheConnectionOpen) {
    const Socket stalled = connect_to(port);
    ASSERT_TRUE(gateway::net_send_all(stalled, ":FREQ 12", 8));
    const Socket s = connect_to(port);
    {
        std::lock_guard<std::mutex> hold(gateway::server_bus_lock());
        taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_wrt#1=-3");
    }
    // The first write fails: no reply to it; the next query is answered on the same connection.
    ASSERT_TRUE(gateway::net_send_all(s, ":FREQ 99;:FREQ?\n", 16));
    EXPECT_EQ(query(s, ":FREQ?\n"), "+1.000000E+03\n");
    EXPECT_EQ(query(stalled, "3;*OPC?\n"), "1\n");   // the stalled line, finished at last
    EXPECT_EQ(query(s, ":FREQ?\n"), "+1.230000E+02\n");
    gateway::net_close(s);
    gateway::net_close(stalled);
}

}  // namespace
