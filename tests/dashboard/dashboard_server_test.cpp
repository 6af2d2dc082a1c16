// The dashboard's server on loopback, over a real station state: what the page reads, who may
// read it, who may change anything, and that no client can hold the station up.
#include "dashboard/access_token.h"
#include "dashboard/dashboard_server.h"
#include "http_probe.h"
#include "support/temp_folder.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using test::Fields;
using test::Probe;

constexpr const char* token = "0123456789abcdef0123456789abcdef";

struct Served {
    explicit Served(DashboardSettings settings = {}) : state("fw.bin", std::string(64, 'a'), 3000) {
        settings.stopStation = [this] { ++stops; };
        server = std::make_unique<DashboardServer>(state, std::move(settings));
        std::string error;
        EXPECT_TRUE(server->start(error)) << error;
    }
    std::optional<test::Reply> get(const std::string& target, const Fields& fields = {}) const {
        return test::fetch(server->port(), "GET", target, fields);
    }
    std::optional<test::Reply> post(const std::string& target, const Fields& fields,
                                    const std::string& body = "") const {
        return test::fetch(server->port(), "POST", target, fields, body);
    }
    StationState state;
    std::atomic<int> stops{0};
    std::unique_ptr<DashboardServer> server;
};

DashboardSettings withToken(bool control = false) {
    DashboardSettings settings;
    settings.token = token;
    settings.control = control;
    return settings;
}

TEST(DashboardServer, StationJsonKeepsAnyNameAsText) {
    Served served;
    served.state.appeared("<script>alert(1)</script>", "/dev/ttyUSB0");
    served.state.appeared("bad\xff", "/dev/ttyUSB1");
    served.state.labelled("<script>alert(1)</script>", std::nullopt);
    served.state.labelled("bad\xff", "SN-1");
    served.state.started("bad\xff", 1);
    const auto response = served.get("/api/station");
    ASSERT_TRUE(response);
    ASSERT_EQ(response->status, 200);
    const auto json = nlohmann::json::parse(response->body);
    ASSERT_EQ(json["slots"].size(), 2U);
    EXPECT_EQ(json["slots"][0]["slot"], "<script>alert(1)</script>");
    EXPECT_EQ(json["slots"][0]["state"], "waitingForLabel");
    EXPECT_EQ(json["slots"][0]["unit"], nullptr);
    EXPECT_EQ(json["slots"][1]["slot"], "bad\xef\xbf\xbd"); // U+FFFD for the stray byte
    EXPECT_EQ(json["slots"][1]["state"], "flashing");
    EXPECT_EQ(json["slots"][1]["unit"], "SN-1");
    EXPECT_EQ(json["sha256"], std::string(64, 'a'));
}

TEST(DashboardServer, EventsCarryTheSlotEventAndTheNewState) {
    Served served;
    Probe events(served.server->port());
    events.send(test::requestText("GET", "/api/events", served.server->port()));
    const auto has = [](const char* text) {
        return [text](const std::string& got) { return got.find(text) != std::string::npos; };
    };
    std::string received = events.receive(10s, has("event: snapshot"));
    // The change only once the client is in the feed: the snapshot comes first.
    ASSERT_TRUE(has("event: snapshot")(received)) << received;
    served.state.appeared("left", "/dev/ttyUSB0");
    received +=
        events.receive(10s, [&](const std::string& more) { return has("event: state")(received + more); });
    ASSERT_TRUE(has("event: state")(received)) << received;
    const std::string text = received;
    EXPECT_NE(text.find("event: snapshot\ndata: {"), std::string::npos);
    const std::size_t slotEvent = text.find("data: {\"event\":\"slot\"");
    ASSERT_NE(slotEvent, std::string::npos) << text;
    const auto line = text.substr(slotEvent + 6, text.find('\n', slotEvent) - slotEvent - 6);
    const auto json = nlohmann::json::parse(line);
    EXPECT_EQ(json["slot"], "left");
    EXPECT_EQ(json["port"], "/dev/ttyUSB0");
    EXPECT_EQ(json["present"], true);
}

// Without a token only loopback names: a site whose name was pointed at 127.0.0.1 reads nothing.
TEST(DashboardServer, WithoutTokenOnlyLoopbackNames) {
    Served served;
    const std::string port = ":" + std::to_string(served.server->port());
    for (const auto& [host, status] :
         std::vector<std::pair<std::string, int>>{{"127.0.0.1" + port, 200},
                                                  {"localhost" + port, 200},
                                                  {"[::1]" + port, 200},
                                                  {"evil.example" + port, 421},
                                                  {"127.0.0.1.evil.example", 421}}) {
        const auto response = served.get("/api/station", {{"Host", host}});
        ASSERT_TRUE(response) << host;
        EXPECT_EQ(response->status, status) << host;
    }
}

TEST(DashboardServer, EveryRequestNeedsTheToken) {
    Served served(withToken());
    struct Case {
        const char* name;
        Fields headers;
        const char* path;
        int status;
    };
    const std::string wrong(32, '0');
    const std::string cookie = "orvane_token_" + std::to_string(served.server->port()) + "=";
    const std::vector<Case> cases{
        {"none", {}, "/api/station", 401},
        {"none for the page", {}, "/", 401},
        {"wrong bearer", {{"Authorization", "Bearer " + wrong}}, "/api/station", 401},
        {"shorter bearer", {{"Authorization", "Bearer 0123"}}, "/api/station", 401},
        {"wrong cookie", {{"Cookie", cookie + wrong}}, "/api/station", 401},
        {"bearer", {{"Authorization", std::string("Bearer ") + token}}, "/api/station", 200},
        {"cookie", {{"Cookie", "a=b; " + cookie + token}}, "/api/records", 200},
        {"query", {}, "/?token=0123456789abcdef0123456789abcdef", 200},
    };
    for (const Case& c : cases) {
        const auto response = served.get(c.path, c.headers);
        ASSERT_TRUE(response) << c.name;
        EXPECT_EQ(response->status, c.status) << c.name;
    }
    const auto given = served.get("/?token=0123456789abcdef0123456789abcdef");
    EXPECT_NE(given->header("Set-Cookie").find(cookie + token), std::string::npos);
}

TEST(DashboardServer, ControlOnlyWithTheTokenFromTheSameOrigin) {
    Served served(withToken(true));
    const std::string host = "127.0.0.1:" + std::to_string(served.server->port());
    const std::string bearer = std::string("Bearer ") + token;
    struct Case {
        const char* name;
        Fields headers;
        int status;
    };
    const std::vector<Case> refused{
        {"wrong token",
         {{"Authorization", "Bearer " + std::string(32, 'f')}, {"Origin", "http://" + host}},
         401},
        {"no origin", {{"Authorization", bearer}}, 403},
        {"another origin", {{"Authorization", bearer}, {"Origin", "http://evil.example"}}, 403},
    };
    served.state.appeared("left", "/dev/ttyUSB0");
    for (const Case& c : refused) {
        for (const char* path : {"/api/stop", "/api/pause?slot=left"}) {
            const auto response = served.post(path, c.headers);
            ASSERT_TRUE(response) << c.name;
            EXPECT_EQ(response->status, c.status) << c.name << " " << path;
        }
    }
    EXPECT_EQ(served.stops, 0);
    EXPECT_FALSE(served.server->held("left"));
    const Fields allowed{{"Authorization", bearer}, {"Origin", "http://" + host}};
    const auto post = [&](const char* path) {
        const auto response = served.post(path, allowed);
        return response ? response->status : -1;
    };
    EXPECT_EQ(post("/api/pause?slot=left"), 200);
    EXPECT_TRUE(served.server->held("left"));
    EXPECT_EQ(post("/api/pause?slot=nobody"), 404);
    EXPECT_EQ(post("/api/resume?slot=left"), 200);
    EXPECT_FALSE(served.server->held("left"));
    EXPECT_EQ(post("/api/stop"), 200);
    EXPECT_EQ(served.stops, 1);
}

TEST(DashboardServer, OversizeRequestsAreCutOff) {
    DashboardSettings settings;
    settings.control = true;
    Served served(settings);
    const std::string host = "127.0.0.1:" + std::to_string(served.server->port());
    const auto big = served.post("/api/stop", {{"Origin", "http://" + host}}, std::string(1 << 20, 'x'));
    EXPECT_TRUE(!big || big->status == 413);
    Fields many;
    for (int i = 0; i < 100; ++i) {
        many.emplace_back("X-Filler-" + std::to_string(i), "1");
    }
    const auto headers = served.get("/api/station", many);
    ASSERT_TRUE(headers);
    EXPECT_EQ(headers->status, 431);
    EXPECT_EQ(served.stops, 0);
}

// A connection that says nothing, or stops halfway through its request, is closed once the
// server has waited its time for the next byte.
TEST(DashboardServer, SilentAndHalfSentRequestsAreCutOff) {
    DashboardSettings settings;
    settings.limits.ioTimeout = 1s;
    Served served(settings);
    for (const std::string sent : {"", "GET /api/station HTTP/1.1\r\nHo"}) {
        Probe probe(served.server->port());
        ASSERT_TRUE(probe.connected());
        EXPECT_TRUE(probe.send(sent));
        const auto start = std::chrono::steady_clock::now();
        // far past the server's second: only its close ends the read
        const std::string answer = probe.receive(10s);
        EXPECT_EQ(answer.find(" 200 "), std::string::npos) << answer; // a 400 at most, then the close
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << sent;
    }
}

// A connection that asked for the events and will never read them.
std::unique_ptr<Probe> silentEventClient(int port) {
    auto probe = std::make_unique<Probe>(port);
    EXPECT_TRUE(probe->send(test::requestText("GET", "/api/events", port)));
    return probe;
}

TEST(DashboardServer, LiveConnectionsAreCapped) {
    DashboardSettings settings;
    settings.limits.eventClients = 2;
    Served served(settings);
    const auto first = silentEventClient(served.server->port());
    const auto second = silentEventClient(served.server->port());
    std::this_thread::sleep_for(200ms);
    const auto third = served.get("/api/events");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->status, 503);
    const auto page = served.get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200); // the page and the API keep threads of their own
}

// A browser tab that stops reading: its socket buffers fill, yet the station's threads go on.
TEST(DashboardServer, AClientThatNeverReadsCannotHoldTheStation) {
    Served served;
    served.state.appeared("left", "/dev/ttyUSB0");
    const auto silent = silentEventClient(served.server->port());
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < 5000; ++i) {
        served.state.progressed("left", "block",
                                {.percent = i % 100, .bytesPerSecond = 1000.0, .etaSeconds = 2.0});
    }
    // Not a speed goal (that is the benchmarks'): changes that each waited on the client's full
    // socket would take minutes; under the sanitizers 5000 take a few seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    // The server still answers others.
    const auto response = served.get("/api/station");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
}

// What the parser refuses and what the routes match, each on a connection of its own: no
// request may be read two ways (smuggled), and a path is matched whole.
TEST(DashboardServer, AmbiguousRequestsAreRefusedAndPathsMatchWhole) {
    Served served(withToken(true));
    const int port = served.server->port();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    const std::string bearer = std::string("Authorization: Bearer ") + token + "\r\n";
    const std::string post = "POST /api/stop HTTP/1.1\r\n" + host + bearer +
                             "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\n";
    struct Case {
        const char* name;
        std::string request;
        int status;
    };
    const std::vector<Case> cases{
        {"length and chunked", post + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         400},
        {"two lengths", post + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
        {"negative length", "GET /api/station HTTP/1.1\r\n" + host + bearer + "Content-Length: -1\r\n\r\n",
         400},
        {"NUL in a value",
         "GET /api/station HTTP/1.1\r\n" + host + bearer + std::string("X-A: a\0b\r\n\r\n", 11), 400},
        {"chunked body too large",
         post + "Transfer-Encoding: chunked\r\n\r\n2000\r\n" + std::string(8192, 'x'), 413},
        {"head too large", "GET / HTTP/1.1\r\n" + host + "X-A: " + std::string(17000, 'a') + "\r\n\r\n", 431},
        {"bearer in lower case",
         "GET /api/station HTTP/1.1\r\n" + host + "Authorization: bearer " + token + "\r\n\r\n", 200},
        {"a path's prefix", "GET /dashboardXjs HTTP/1.1\r\n" + host + bearer + "\r\n", 404},
        {"favicon", "GET /favicon.ico HTTP/1.1\r\n" + host + bearer + "\r\n", 204},
    };
    for (const Case& c : cases) {
        Probe probe(port);
        probe.send(c.request);
        const auto replies = test::parseReplies(
            probe.receive(5s, [](const std::string& got) { return !test::parseReplies(got).empty(); }));
        ASSERT_FALSE(replies.empty()) << c.name;
        EXPECT_EQ(replies[0].status, c.status) << c.name;
        EXPECT_EQ(replies[0].header("Referrer-Policy"), "no-referrer") << c.name;
    }
    EXPECT_EQ(served.stops, 0);
}

TEST(DashboardServer, PipelinedRequestsAreAllAnsweredInOrder) {
    Served served;
    const int port = served.server->port();
    Probe probe(port);
    probe.send(test::requestText("GET", "/api/station", port) + test::requestText("GET", "/nothing", port) +
               test::requestText("GET", "/favicon.ico", port, {{"Connection", "close"}}));
    const auto replies = test::parseReplies(probe.receive(5s));
    ASSERT_EQ(replies.size(), 3U);
    EXPECT_EQ(replies[0].status, 200);
    EXPECT_EQ(replies[1].status, 404);
    EXPECT_EQ(replies[2].status, 204);
}

// Past a limit the answer is 503 at once, not a wait; another address still gets its own share.
TEST(DashboardServer, PastTheLimitsA503ComesAtOnce) {
    DashboardSettings settings;
    settings.limits.perAddress = 2;
    settings.limits.connections = 3;
    Served served(settings);
    const int port = served.server->port();
    std::vector<std::unique_ptr<Probe>> held;
    held.push_back(std::make_unique<Probe>(port));
    held.push_back(std::make_unique<Probe>(port));
    std::this_thread::sleep_for(100ms);
    for (const char* from : {"127.0.0.1", "127.0.0.2"}) {
        Probe refused(port, from);
        const auto start = std::chrono::steady_clock::now();
        const auto replies = test::parseReplies(refused.receive(2s));
        ASSERT_EQ(replies.size(), 1U) << from;
        EXPECT_EQ(replies[0].status, 503) << from;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << from;
        if (held.size() == 2) {
            held.push_back(std::make_unique<Probe>(port, "127.0.0.2")); // the last of all three
            std::this_thread::sleep_for(100ms);
        }
    }
    held.clear();
    std::this_thread::sleep_for(100ms);
    const auto page = served.get("/api/station");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

// A stop does not wait for anyone: a half-sent request and a live stream are closed at once.
TEST(DashboardServer, StopClosesEveryConnectionAtOnce) {
    Served served;
    Probe slow(served.server->port());
    slow.send("GET /api/station HTTP/1.1\r\nX-Slow: ");
    const auto live = silentEventClient(served.server->port());
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    served.server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(slow.closedWithin(2s));
    EXPECT_TRUE(live->closedWithin(2s));
}

TEST(DashboardAddress, PortAloneIsLoopback) {
    struct Case {
        const char* text;
        std::optional<std::string> host;
        bool loopback;
    };
    const std::vector<Case> cases{
        {"8080", "127.0.0.1", true},         {"0.0.0.0:8080", "0.0.0.0", false},
        {"[::1]:8080", "::1", true},         {"127.example.net:80", "127.example.net", false},
        {"localhost:80", "localhost", true}, {"8080x", std::nullopt, false},
        {"0", std::nullopt, false},          {"65536", std::nullopt, false},
        {":80", std::nullopt, false},
    };
    for (const Case& c : cases) {
        const auto address = parseListenAddress(c.text);
        ASSERT_EQ(address.has_value(), c.host.has_value()) << c.text;
        if (address) {
            EXPECT_EQ(address->host, *c.host) << c.text;
            EXPECT_EQ(isLoopbackHost(address->host), c.loopback) << c.text;
        }
    }
}

// --token-new: a fresh random token readable by its owner alone, never written over one kept.
TEST(DashboardToken, NewOneIsPrivateAndNeverReplacesAnother) {
    const test::TempFolder folder;
    const auto path = folder.path() / "token";
    std::string error;
    ASSERT_TRUE(writeNewToken(path.string(), error)) << error;
    const auto first = readToken(path.string(), error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(first->find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(first->size(), 64U);
    if (std::filesystem::path::preferred_separator == '/') { // where files have modes
        EXPECT_EQ(std::filesystem::status(path).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    EXPECT_FALSE(writeNewToken(path.string(), error));
    EXPECT_EQ(readToken(path.string(), error), first);
    ASSERT_TRUE(writeNewToken(path.string() + "2", error)) << error;
    EXPECT_NE(readToken(path.string() + "2", error), first);
}

} // namespace
} // namespace orvane
