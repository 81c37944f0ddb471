// The web page's request handling in this process, against the simulator: who may do what (Host,
// Origin, token), what reaches the bus for the panel and the message box, how texts are escaped,
// and how Beast's parser is fed and limited.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bus_access.h"
#include "bus_link.h"
#include "command_line.h"
#include "gateway_log.h"
#include "link_table.h"
#include "sim_control.h"
#include "web_actions.h"
#include "web_http.h"
#include "web_request.h"
#include "web_site.h"
#include "web_text.h"

namespace {

using namespace gateway::web;

std::string sim_trace() {
    static char text[65536];
    std::lock_guard<std::mutex> hold(gateway::bus_lock());
    taverix_sim_trace(text, sizeof text);
    return text;
}

class WebRules : public ::testing::Test {
protected:
    void SetUp() override {
        taverix_sim_reset();
        taverix_sim_set("TAVERIX_SIM_TIMEOUT_MS", "1");
        ASSERT_TRUE(bus_bring_up("4").ok);
        gateway::Options options;
        gateway::options_default(options);
        const char* args[] = {"taverix-gateway", "--web-host", "bench-gw.lab"};
        ASSERT_TRUE(gateway::options_read(3, args, options));
        log = std::tmpfile();
        gateway::log_to(log);
        ASSERT_TRUE(site_setup(options, 5025, true, 8080));
        actions_setup(4, 5);
        token = site().token;
    }
    void TearDown() override {
        actions_stop();
        bus_release();
        gateway::log_to(nullptr);
        std::fclose(log);
    }

    // A request as a browser on the page sends it, with what differs given.
    WebResponse send(Method method, const std::string& target, const std::string& body = "",
                     const char* host = "127.0.0.1:8080", const char* origin = nullptr, const char* given_token = "") {
        WebRequest rq{};
        rq.method = method;
        rq.target = target;
        rq.has_host = host != nullptr;
        rq.host = host ? host : "";
        rq.has_origin = origin != nullptr;
        rq.origin = origin ? origin : "";
        const std::string t = given_token && *given_token == '\0' ? token : (given_token ? given_token : "");
        rq.has_token = given_token != nullptr;
        rq.token = t;
        rq.body = body;
        rq.keep_alive = true;
        WebResponse r{};
        handle_request(rq, "127.0.0.1:50000", r);
        return r;
    }
    WebResponse post(const std::string& target, const std::string& body = "") { return send(Method::post, target, body); }

    std::FILE* log = nullptr;
    std::string token;
};

TEST_F(WebRules, HostNamesOtherThanTheGatewaysAreRefusedOnEveryPath) {
    struct Case {
        const char* host;
        int status;
    };
    const Case cases[] = {
        {"127.0.0.1:8080", 200}, {"127.0.0.1", 200}, {"localhost:8080", 200}, {"LOCALHOST", 200},
        {"bench-gw.lab:80", 200}, {"BENCH-GW.LAB", 200}, {site().host.name, 200},
        {"attacker.example:8080", 421}, {"127.0.0.2:8080", 421}, {"localhost.attacker.example", 421},
        {"bench-gw.lab.attacker.example", 421}, {"", 421}, {":8080", 421},
    };
    for (const Case& c : cases) {
        for (const char* path : {"/", "/api/state", "/lxi/identification"}) {
            EXPECT_EQ(send(Method::get, path, "", c.host).status, c.status) << c.host << " " << path;
        }
    }
    // HTTP/1.1 needs a Host; HTTP/1.0 (lxi discover's request) may leave it out.
    EXPECT_EQ(send(Method::get, "/lxi/identification", "", nullptr).status, 400);
    WebRequest old{};
    old.method = Method::get;
    old.target = "/lxi/identification";
    old.version_10 = true;
    WebResponse r{};
    handle_request(old, "127.0.0.1:1", r);
    EXPECT_EQ(r.status, 200);
}

TEST_F(WebRules, APostWithoutTheTokenOrFromAnotherSiteTouchesNothing) {
    const std::string before = sim_trace();
    const std::string on = "waveform=SQU&frequency=2500&amplitude=1.5";
    struct Case {
        const char* origin;
        const char* token;   // "" : the right one
        const char* host;
        int status;
    };
    const std::string wrong(token.size(), '0');
    const std::string longer = token + "0";
    const std::string shorter = token.substr(1);
    const Case cases[] = {
        {nullptr, nullptr, "127.0.0.1:8080", 403},              // no token
        {nullptr, wrong.c_str(), "127.0.0.1:8080", 403},
        {nullptr, longer.c_str(), "127.0.0.1:8080", 403},
        {nullptr, shorter.c_str(), "127.0.0.1:8080", 403},
        {"http://attacker.example", "", "127.0.0.1:8080", 403},   // the right token from another page
        {"http://127.0.0.1:8081", "", "127.0.0.1:8080", 403},
        {"https://127.0.0.1:8080", "", "127.0.0.1:8080", 403},
        {"null", "", "127.0.0.1:8080", 403},
        {nullptr, "", "attacker.example", 421},                   // DNS rebinding
    };
    for (const Case& c : cases) {
        for (const char* path : {"/api/panel/on", "/api/io/clear", "/api/io/remote", "/api/find", "/api/idn"}) {
            const WebResponse r = send(Method::post, path, on + "&address=4", c.host, c.origin, c.token);
            EXPECT_EQ(r.status, c.status) << path << " origin " << (c.origin ? c.origin : "-");
        }
    }
    EXPECT_EQ(sim_trace(), before);
    // The page's own origin with the token, and a script with the token and no Origin, are served.
    EXPECT_EQ(send(Method::post, "/api/io/clear", "address=4", "127.0.0.1:8080", "http://127.0.0.1:8080").status, 200);
    EXPECT_EQ(send(Method::post, "/api/io/clear", "address=4", "localhost:8080", nullptr).status, 200);
    EXPECT_EQ(sim_trace(), before + "gp_clr(\"4\") = 0\ngp_clr(\"4\") = 0\n");
    // Methods: reading paths are GETs, acting paths POSTs.
    EXPECT_EQ(send(Method::get, "/api/panel/on").status, 405);
    EXPECT_EQ(post("/api/state").status, 405);
    EXPECT_EQ(send(Method::other, "/").status, 405);
    EXPECT_EQ(sim_trace(), before + "gp_clr(\"4\") = 0\ngp_clr(\"4\") = 0\n");
}

TEST_F(WebRules, ThePanelDoesOnTheBusWhatTheProgramDoes) {
    std::string mark = sim_trace();
    WebResponse r = post("/api/panel/on", "waveform=SQU&frequency=2500&amplitude=1.5");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(sim_trace().substr(mark.size()),
              "gp_wrt(\"4\", \":FUNC SQU;:FREQ 2500.000000;:OFFS:STAT OFF;:AMPL 1.500000;:OUTP ON\") = 0\n"
              "gp_wrt(\"4\", \":FUNC?\") = 0\ngp_red(\"4\", 256) = 0 \"SQU\\n\"\n"
              "gp_wrt(\"4\", \":AMPL?\") = 0\ngp_red(\"4\", 256) = 0 \"+1.500000E+00\\n\"\n"
              "gp_wrt(\"4\", \":FREQ?\") = 0\ngp_red(\"4\", 256) = 0 \"+2.500000E+03\\n\"\n");
    EXPECT_EQ(r.body, "{\"panel\":{\"status\":\"\",\"waveform\":\"SQU\\n\",\"frequency\":\"+2.500000E+03\\n\","
                      "\"amplitude\":\"+1.500000E+00\\n\",\"verdict\":\"\",\"output_on\":true}}");

    // The program's own refusals, with nothing on the bus.
    mark = sim_trace();
    r = post("/api/panel/on", "waveform=SIN&frequency=1e999&amplitude=1");
    EXPECT_NE(r.body.find("\"status\":\"frequency out of range\""), std::string::npos) << r.body;
    r = post("/api/panel/on", "waveform=SIN&frequency=1&amplitude=" + std::string(250, '9'));
    EXPECT_NE(r.body.find("\"status\":\"amplitude out of range\""), std::string::npos) << r.body;
    EXPECT_EQ(post("/api/panel/on", "waveform=SINE&frequency=1&amplitude=1").status, 400);
    EXPECT_EQ(sim_trace(), mark);

    // OFF empties the read-back; a failed OFF shows the program's text; SELF TEST's verdict.
    r = post("/api/panel/off");
    EXPECT_EQ(sim_trace().substr(mark.size()), "gp_wrt(\"4\", \":OUTP OFF\") = 0\n");
    EXPECT_NE(r.body.find("\"waveform\":\"\",\"frequency\":\"\",\"amplitude\":\"\""), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("\"output_on\":false"), std::string::npos);
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_wrt=7");
    r = post("/api/panel/off");
    EXPECT_NE(r.body.find("\"status\":\"gp_wrt() error : 7\""), std::string::npos) << r.body;
    taverix_sim_set("TAVERIX_SIM_FAULTS", nullptr);
    taverix_sim_set("TAVERIX_SIM_SELFTEST", "fail");
    EXPECT_NE(post("/api/panel/self-test").body.find("\"verdict\":\"NG\""), std::string::npos);
    taverix_sim_set("TAVERIX_SIM_SELFTEST", "pass");
    EXPECT_NE(post("/api/panel/self-test").body.find("\"verdict\":\"OK\""), std::string::npos);
}

TEST_F(WebRules, AnAddressLockedByAVxi11LinkRefusesThePageAtOnce) {
    int connection = 0;
    const char* refused = nullptr;
    gateway::vxi11::Link* link =
        gateway::vxi11::link_create(&connection, 0x0A000009, "10.0.0.9:1234", 4, "gpib0,4", refused);
    ASSERT_NE(link, nullptr);
    const gateway::BusClaim claim{4, link->id, false, std::chrono::milliseconds(0), std::chrono::milliseconds(0), nullptr};
    ASSERT_EQ(gateway::address_lock(claim), gateway::BusWait::granted);
    const std::string mark = sim_trace();
    const std::string locked = "locked by 10.0.0.9:1234 link " + std::to_string(link->id);
    WebResponse r = post("/api/panel/on", "waveform=SQU&frequency=2500&amplitude=1.5");
    EXPECT_NE(r.body.find("\"status\":\"" + locked + "\""), std::string::npos) << r.body;
    r = post("/api/io/query", "address=4&message=*IDN%3F");
    EXPECT_EQ(r.body, "{\"ok\":false,\"text\":\"" + locked + "\"}");
    // Other addresses are not locked.
    r = post("/api/io/write", "address=5&message=*CLS");
    EXPECT_EQ(sim_trace(), mark + "gp_wrt(\"5\", \"*CLS\") = 3\ngp_clr(\"5\") = 3\n");
    EXPECT_EQ(r.body, "{\"ok\":false,\"text\":\"gp_wrt failed [3], gp_clr [3]\"}");
    gateway::vxi11::link_destroy(link);
    r = post("/api/io/query", "address=4&message=*IDN%3F");
    EXPECT_EQ(r.body, "{\"ok\":true,\"text\":\"QX-SIM,QX-7316,0,1.00\\\\n\"}");
}

TEST_F(WebRules, TheMessageBoxRefusesWhatTheBusCannotCarry) {
    const std::string mark = sim_trace();
    const std::vector<std::string> refused = {
        "address=31&message=*IDN%3F", "address=04&message=*IDN%3F", "address=&message=x", "message=x",
        "address=4", "address=4&message=", "address=4&message=%00A", "address=4&message=%4",
        "address=4&message=" + std::string(256, 'A'),
    };
    for (const std::string& body : refused) EXPECT_EQ(post("/api/io/write", body).status, 400) << body;
    EXPECT_EQ(sim_trace(), mark);
    EXPECT_EQ(post("/api/io/write", "address=4&message=" + std::string(255, ' ')).status, 200);
    // A reply's control characters are shown, not obeyed.
    taverix_sim_set("TAVERIX_SIM_REPLIES", "*IDN?=<b>\\x01\\r\\n");
    const WebResponse r = post("/api/io/query", "message=*IDN%3F&address=4");
    EXPECT_EQ(r.body, "{\"ok\":true,\"text\":\"\\u003cb>\\\\x01\\\\r\\\\n\"}");
}

TEST_F(WebRules, TextsFromOutsideAreEscapedWhereverTheyGo) {
    taverix_sim_set("TAVERIX_SIM_REPLIES", "*IDN?=<script>alert(1)</script>,\"M&M's\",\\x07,\\xff\\n");
    post("/api/idn");
    const WebResponse page = send(Method::get, "/");
    EXPECT_EQ(page.body.find("<script>alert"), std::string::npos);
    EXPECT_NE(page.body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.body.find("&quot;M&amp;M&#39;s&quot;"), std::string::npos);
    const WebResponse xml = send(Method::get, "/gpib0,4/lxi/identification");
    EXPECT_NE(xml.body.find("<Manufacturer>&lt;script&gt;alert(1)&lt;/script&gt;</Manufacturer>"), std::string::npos)
        << xml.body;
    EXPECT_NE(xml.body.find("<SerialNumber>\\x07</SerialNumber>"), std::string::npos) << xml.body;
    EXPECT_NE(xml.body.find("<FirmwareRevision>\\xff</FirmwareRevision>"), std::string::npos) << xml.body;
    EXPECT_EQ(page.content_type, std::string("text/html; charset=utf-8"));

    struct Json {
        std::string in;
        std::string out;
    };
    const Json cases[] = {
        {"plain", "\"plain\""}, {"\"\\", "\"\\\"\\\\\""}, {"</script>", "\"\\u003c/script>\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""}, {"\xe6\x97\xa5", "\"\xe6\x97\xa5\""},
        {"\xff", "\"\\ufffd\""}, {"\xe6\x97", "\"\\ufffd\\ufffd\""}, {"\xc0\xaf", "\"\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
    };
    for (const Json& c : cases) {
        std::string out;
        json_append(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

// The page says when the instrument's keys were left usable, and only then.
TEST_F(WebRules, ThePageShowsNoLockoutOnlyWhenGiven) {
    const std::string note = "--no-lockout: no local lockout, the instrument&#39;s own keys stay usable";
    EXPECT_EQ(send(Method::get, "/").body.find("no local lockout"), std::string::npos);
    gateway::Options options;
    gateway::options_default(options);
    const char* args[] = {"taverix-gateway", "--no-lockout"};
    ASSERT_TRUE(gateway::options_read(2, args, options));
    ASSERT_TRUE(site_setup(options, 5025, true, 8080));
    token = site().token;
    EXPECT_NE(send(Method::get, "/").body.find(note), std::string::npos);
}

TEST_F(WebRules, ThePageShowsWhatTheGatewayServesAndHow) {
    std::string page = send(Method::get, "/", "", "bench-gw.lab").body;
    for (const char* shown : {"TCPIP0::bench-gw.lab::inst0::INSTR", "TCPIP0::bench-gw.lab::gpib0,4::INSTR",
                              "TCPIP0::bench-gw.lab::5025::SOCKET", "<meta name=\"token\" content=\""}) {
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
    }
    EXPECT_NE(page.find(token), std::string::npos);
    EXPECT_EQ(page.find("--no-lockout"), std::string::npos);
    gateway::Options options = site().options;
    options.lockout = false;
    options.vxi11 = false;
    ASSERT_TRUE(site_setup(options, 5025, false, 8080));
    page = send(Method::get, "/").body;
    EXPECT_NE(page.find("--no-lockout"), std::string::npos);
    EXPECT_EQ(page.find("::INSTR"), std::string::npos);
    EXPECT_EQ(page.find(token), std::string::npos);   // a new start, a new token
}

TEST_F(WebRules, TheIdentificationDocumentHasItsElementsInTheSchemasOrder) {
    const WebResponse r = send(Method::get, "/lxi/identification", "", "bench-gw.lab:8080");
    EXPECT_EQ(r.content_type, std::string("text/xml; charset=utf-8"));
    const char* order[] = {
        "<LXIDevice xmlns=\"http://www.lxistandard.org/InstrumentIdentification/1.0\"", "<Manufacturer>QX7316 SAMPLE<",
        "<Model>", "<SerialNumber>", "<FirmwareRevision>", "<ManufacturerDescription>",
        "<HomepageURL>http://bench-gw.lab:8080/<", "<DriverURL>", "<ConnectedDevices>",
        "<DeviceURI>http://bench-gw.lab:8080/gpib0,4<", "</ConnectedDevices>",
        "<Interface xsi:type=\"NetworkInformation\" InterfaceType=\"LXI\" IPType=\"IPv4\">",
        "<InstrumentAddressString>TCPIP0::127.0.0.1::inst0::INSTR<", "<InstrumentAddressString>TCPIP0::127.0.0.1::gpib0,4::INSTR<",
        "<InstrumentAddressString>TCPIP0::127.0.0.1::5025::SOCKET<", "<Hostname>", "<IPAddress>127.0.0.1<",
        "<SubnetMask>255.0.0.0<", "<MACAddress>", "<Gateway>", "<DHCPEnabled>", "<AutoIPEnabled>", "</Interface>",
        "<LXIVersion>", "</LXIDevice>",
    };
    std::size_t at = 0;
    for (const char* element : order) {
        const std::size_t found = r.body.find(element, at);
        ASSERT_NE(found, std::string::npos) << element << " after " << at << " in\n" << r.body;
        at = found;
    }
    // An instrument that nobody found has no document.
    EXPECT_EQ(send(Method::get, "/gpib0,7/lxi/identification").status, 404);
    EXPECT_EQ(send(Method::get, "/gpib0,31/lxi/identification").status, 404);
}

TEST(WebForms, ValuesAreDecodedAndBoundsChecked) {
    struct Case {
        const char* body;
        const char* key;
        bool found;
        std::string value;
    };
    const Case cases[] = {
        {"a=1&b=2", "b", true, "2"}, {"a=%2A%49DN%3f+x", "a", true, "*IDN? x"}, {"a", "a", true, ""},
        {"ab=1&a=2", "a", true, "2"}, {"a=1", "b", false, ""}, {"a=%", "a", false, ""}, {"a=%4", "a", false, ""},
        {"a=%zz", "a", false, ""}, {"a=%00", "a", true, std::string(1, '\0')}, {"", "a", false, ""},
        {"&&a=&", "a", true, ""},
    };
    for (const Case& c : cases) {
        std::string value = "unchanged";
        EXPECT_EQ(form_value(c.body, c.key, value), c.found) << c.body;
        if (c.found) EXPECT_EQ(value, c.value) << c.body;
    }
}

// Bytes offered to the parser as they come, in pieces.
struct Parsed {
    std::vector<WebRequest> requests;
    int refusal = 0;
};
Parsed feed(const std::string& bytes, std::size_t piece) {
    Parsed out;
    constexpr int p = parser_count - 1;
    http_input_reset(p);
    std::string held;
    for (std::size_t at = 0; at < bytes.size() && out.refusal == 0; at += piece) {
        held += bytes.substr(at, piece);
        for (;;) {
            Feed f = Feed::more;
            WebRequest rq{};
            const std::size_t taken = http_input_put(p, held.data(), held.size(), f, out.refusal, rq);
            held.erase(0, taken);
            if (f == Feed::refused) break;
            if (f == Feed::request) {
                out.requests.push_back(rq);
                http_input_reset(p);
                continue;
            }
            if (taken == 0 || held.empty()) break;
        }
    }
    return out;
}

TEST(WebHttp, RequestsAreReadInAnyPiecesAndLimited) {
    const std::string two = "GET /api/state?log_after=3 HTTP/1.1\r\nHost: a:1\r\nOrigin: http://a:1\r\n\r\n"
                            "POST /api/io/write HTTP/1.1\r\nHost: a\r\nX-Token: t0\r\nContent-Length: 5\r\n\r\nx=1&y";
    for (const std::size_t piece : {two.size(), std::size_t{1}, std::size_t{7}}) {
        const Parsed p = feed(two, piece);
        ASSERT_EQ(p.requests.size(), 2u) << piece;
        EXPECT_EQ(p.requests[0].method, Method::get);
        EXPECT_EQ(p.requests[0].target, "/api/state?log_after=3");
        EXPECT_EQ(p.requests[0].origin, "http://a:1");
        EXPECT_FALSE(p.requests[0].has_token);
        EXPECT_EQ(p.requests[1].method, Method::post);
        EXPECT_EQ(p.requests[1].token, "t0");
        EXPECT_EQ(p.requests[1].body, "x=1&y");
    }
    const std::string big_header = "GET / HTTP/1.1\r\nHost: a\r\nX-Pad: " + std::string(header_limit, 'p') + "\r\n\r\n";
    EXPECT_EQ(feed(big_header, 1000).refusal, 431);
    const std::string big_body = "POST /api/idn HTTP/1.1\r\nHost: a\r\nContent-Length: 4097\r\n\r\n" + std::string(4097, 'b');
    EXPECT_EQ(feed(big_body, 1000).refusal, 413);
    const std::string chunked = "POST /api/idn HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n1001\r\n" +
                                std::string(4097, 'b') + "\r\n0\r\n\r\n";
    EXPECT_EQ(feed(chunked, 1000).refusal, 413);
    EXPECT_EQ(feed("GET / HTTP/1.1\r\nHost a\r\n\r\n", 100).refusal, 400);
    EXPECT_EQ(feed("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 100).refusal, 400);   // TLS to a plain port

    WebResponse r{404, "text/plain", "nothing here\n", nullptr, false};
    std::string out;
    http_response_write(r, true, false, out);
    EXPECT_EQ(out.find("HTTP/1.1 404 Not Found\r\n"), 0u) << out;
    EXPECT_NE(out.find("Content-Length: 13\r\n"), std::string::npos);
    EXPECT_NE(out.find("Connection: close\r\n"), std::string::npos);
    EXPECT_NE(out.find("Content-Security-Policy: default-src 'self'"), std::string::npos);
    EXPECT_NE(out.find("X-Content-Type-Options: nosniff\r\n"), std::string::npos);
    EXPECT_NE(out.find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 4), "\r\n\r\n");   // HEAD: no body
}

TEST(WebLog, TheLastHundredLinesAreKeptInOrder) {
    std::FILE* file = std::tmpfile();
    gateway::log_to(file);
    const unsigned long long before = gateway::log_newest();
    for (int i = 0; i < 150; ++i) gateway::log_note(("line " + std::to_string(i)).c_str());
    static gateway::RecentLine lines[gateway::recent_line_max];
    std::size_t n = gateway::log_recent(0, lines, gateway::recent_line_max);
    ASSERT_EQ(n, 100u);
    EXPECT_STREQ(lines[0].text, "line 50");
    EXPECT_STREQ(lines[99].text, "line 149");
    EXPECT_EQ(lines[99].number, before + 150);
    n = gateway::log_recent(before + 148, lines, gateway::recent_line_max);
    ASSERT_EQ(n, 2u);
    EXPECT_STREQ(lines[0].text, "line 148");
    EXPECT_EQ(gateway::log_recent(before + 150, lines, gateway::recent_line_max), 0u);
    gateway::log_note(std::string(1000, 'x').c_str());
    ASSERT_EQ(gateway::log_recent(before + 150, lines, 1), 1u);
    EXPECT_EQ(std::string(lines[0].text), std::string(gateway::recent_line_size - 1, 'x'));
    gateway::log_to(nullptr);
    std::fclose(file);
}

}  // namespace
