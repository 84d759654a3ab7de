// The viewer's server over loopback: who may talk to it, what hostile pages and clients cannot
// do to it, and how frames reach fast, slow and several pages while the model changes.
#include "ServeTestSupport.h"

#include <iostream>

namespace nembra_serve_test {
namespace {

bool Refused(unsigned short port, const std::string& target,
             const std::optional<std::string>& origin = std::nullopt) {
    try {
        Page page(port, target, origin);
        return false;
    } catch (const beast::system_error&) {
        return true;
    }
}

// Waits until the status satisfies `ready`, for at most `limit`.
template <typename Ready>
nlohmann::json WaitForStatus(unsigned short port, Ready ready,
                             std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const Clock::time_point end = Clock::now() + limit;
    nlohmann::json status = Status(port);
    while (!ready(status) && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        status = Status(port);
    }
    return status;
}

TEST(ServeAccessTest, EveryRequestNeedsTheToken) {
    LiveServer server(SmallBox(), true);
    const unsigned short port = server.Port();
    const std::vector<std::string> targets = {"/",
                                              "/api/status",
                                              "/viewer.js",
                                              "/?token=" + kToken.substr(1),
                                              "/?token=" + kToken + "a",
                                              "/?token=" + std::string(64, 'b'),
                                              "/?Token=" + kToken,
                                              "/api/status?token="};
    for (const std::string& target : targets) {
        const HttpResult result = Get(port, target);
        EXPECT_EQ(result.status, 403u) << target;
        EXPECT_EQ(result.body, "403 Forbidden\n") << target;
    }
    const HttpResult page = Get(port, WithToken("/"));
    EXPECT_EQ(page.status, 200u);
    EXPECT_NE(page.body.find("viewer.js?token=" + kToken), std::string::npos);
    EXPECT_EQ(Get(port, WithToken("/viewer.js")).status, 200u);
    EXPECT_EQ(Get(port, WithToken("/nothing-here")).status, 404u);
    EXPECT_EQ(Get(port, WithToken("/"), http::verb::post).status, 405u);
    EXPECT_EQ(Get(port, "/", http::verb::post).status, 403u);

    const nlohmann::json status = Status(port);
    EXPECT_EQ(status["model"], "flow");
    EXPECT_EQ(status["case"], "closed-box");
    EXPECT_EQ(status["nodes_x"], 31);
    EXPECT_EQ(status["nodes_y"], 31);
    EXPECT_EQ(status["running"], false);
    EXPECT_EQ(status["step"], 0);
    EXPECT_TRUE(status.contains("model_time"));
    EXPECT_TRUE(status.contains("time_step"));
}

TEST(ServeAccessTest, WebSocketsNeedTheTokenAndThisServersOrigin) {
    LiveServer server(SmallBox(), true);
    const unsigned short port = server.Port();
    const std::string own = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_TRUE(Refused(port, "/live"));
    EXPECT_TRUE(Refused(port, "/live?token=" + kToken.substr(2)));
    EXPECT_TRUE(Refused(port, WithToken("/live"), std::string("http://evil.example")));
    EXPECT_TRUE(Refused(port, WithToken("/live"), std::string("http://127.0.0.1:1")));
    EXPECT_TRUE(Refused(port, WithToken("/live"), std::string("null")));
    EXPECT_FALSE(Refused(port, WithToken("/live"), own));
    EXPECT_FALSE(Refused(port, WithToken("/live")));
}

TEST(ServeFramesTest, APageGetsTheStateThenFramesWhoseStepRises) {
    LiveServer server(SmallBox());
    Page page(server.Port());
    const nlohmann::json state = page.ReceiveJson("state");
    EXPECT_EQ(state["model"], "flow");
    EXPECT_EQ(state["quantities"].size(), 51u);
    EXPECT_EQ(state["colormaps"]["viridis"].size(), 256u);
    const DecodedFrame first = ReceiveFrame(page);
    EXPECT_EQ(first.magic, nembra_cli::kFrameMagic);
    EXPECT_EQ(first.kind, 1u);
    EXPECT_EQ(first.nx, 31u);
    EXPECT_EQ(first.floats, 31u * 31u);
    DecodedFrame later = ReceiveFrame(page);
    for (int k = 0; k < 100 && later.steps <= first.steps; ++k) {
        later = ReceiveFrame(page);
    }
    EXPECT_GT(later.steps, first.steps);
}

TEST(ServeFramesTest, PauseStopsTheSolverAndStepsTakeExactlyTheirCount) {
    LiveServer server(SmallBox());
    const unsigned short port = server.Port();
    Page page(port);
    page.Send(R"({"type":"pause"})");
    nlohmann::json status = WaitForStatus(port, [](const auto& s) { return !s["running"]; });
    ASSERT_EQ(status["running"], false);
    const int paused = status["step"];
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Status(port)["step"], paused);
    page.Send(R"({"type":"step","count":7})");
    status = WaitForStatus(port, [&](const auto& s) { return s["step"] == paused + 7; });
    EXPECT_EQ(status["step"], paused + 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Status(port)["step"], paused + 7);
}

TEST(ServeFramesTest, AProbeReadsTheNodeAndViewChangesTheQuantity) {
    LiveServer server(SmallBox(), true);
    Page page(server.Port());
    page.Send(R"({"type":"probe","i":15,"j":15})");
    const nlohmann::json probe = page.ReceiveJson("probe");
    EXPECT_EQ(probe["i"], 15);
    EXPECT_GT(probe["values"]["density"].get<double>(), 0.0);
    EXPECT_GT(probe["values"]["temperature"].get<double>(), 0.0);
    page.Send(R"({"type":"probe","i":31,"j":0})");
    EXPECT_TRUE(page.ReceiveJson("probe").contains("error"));
    page.Send(R"({"type":"view","quantity":"nothing"})");
    EXPECT_NE(page.ReceiveJson("error")["message"].get<std::string>().find("unknown quantity"),
              std::string::npos);
}

// Hundreds of bad messages, each answered with an error to its own page only; the server and
// the other page carry on.
TEST(ServeHostileTest, BadMessagesGetErrorsAndNobodyElseNotices) {
    LiveServer server(SmallBox());
    const unsigned short port = server.Port();
    Page bystander(port);
    Page attacker(port);
    const std::vector<std::string> bad = {
        "",
        "{",
        "}",
        "null",
        "[]",
        "42",
        "\"run\"",
        R"({"type":null})",
        R"({"type":"exec"})",
        R"({"type":"step","count":-1})",
        R"({"type":"step","count":1e300})",
        R"({"type":"step","count":{"$gt":1}})",
        R"({"type":"steps_per_frame","value":-5})",
        R"({"type":"probe","i":"0","j":0})",
        R"({"type":"view"})",
        R"({"type":"configure","model":"flow","settings":{"nx":3}})",
        R"({"type":"configure","model":"flow","settings":{"nx":1000000,"ny":1000000}})",
        R"({"type":"configure","model":"flow","settings":{"output":"/"}})",
        R"({"type":"configure","model":"flow","settings":{"case":"--calls"}})",
        R"({"type":"configure","model":"diffusion","settings":{"dt":"-1"}})",
        std::string(3000, '{'),
    };
    int errors = 0;
    for (int round = 0; round < 15; ++round) {
        for (const std::string& message : bad) {
            attacker.Send(message);
            const nlohmann::json reply = attacker.ReceiveJson("error");
            EXPECT_FALSE(reply["message"].get<std::string>().empty());
            ++errors;
        }
    }
    EXPECT_EQ(errors, 15 * static_cast<int>(bad.size()));
    const nlohmann::json status = Status(port);
    EXPECT_EQ(status["case"], "closed-box");
    EXPECT_EQ(status["nodes_x"], 31);
    // The bystander saw frames and the first state only: no error of the attacker's.
    for (int k = 0; k < 20; ++k) {
        const Page::Message m = bystander.Receive();
        if (!m.binary) {
            EXPECT_NE(m.Json()["type"], "error");
        }
    }
}

TEST(ServeHostileTest, OversizedAndBinaryMessages) {
    LiveServer server(SmallBox(), true);
    const unsigned short port = server.Port();
    {
        Page page(port);
        page.Socket().binary(true);
        page.Socket().write(net::buffer(std::string(16, '\0')));
        EXPECT_NE(page.ReceiveJson("error")["message"].get<std::string>().find("binary"),
                  std::string::npos);
    }
    {
        Page page(port);
        page.Send(std::string(nembra_cli::kMostControlMessageBytes + 1, ' '));
        EXPECT_THROW(
            for (;;) { page.Receive(); }, beast::system_error);  // closed for the oversize
    }
    {
        Page page(port);
        page.Send("{\"type\":\"\xff\xfe\"}");
        EXPECT_THROW(
            for (;;) { page.Receive(); }, beast::system_error);  // closed: text must be UTF-8
    }
    EXPECT_EQ(Get(port, WithToken("/api/status")).status, 200u);
}

TEST(ServeHostileTest, RapidConnectsAndDisconnectsLeaveNothingBehind) {
    LiveServer server(SmallBox());
    const unsigned short port = server.Port();
    for (int k = 0; k < 300; ++k) {
        net::io_context io;
        tcp::socket socket(io);
        socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        switch (k % 4) {
            case 0:  // nothing at all
                break;
            case 1:  // half a request
                net::write(socket, net::buffer(std::string("GET /?token=") + kToken));
                break;
            case 2: {  // a page that leaves at once
                socket.close();
                Page page(port);
                break;
            }
            case 3:  // garbage
                net::write(socket, net::buffer(std::string("\x16\x03\x01\x02\x00 \r\n\r\n", 10)));
                break;
        }
    }
    const nlohmann::json status =
        WaitForStatus(port, [](const auto& s) { return s["pages"] == 0; });
    EXPECT_EQ(status["pages"], 0);
    Page page(port);
    EXPECT_EQ(ReceiveFrame(page).magic, nembra_cli::kFrameMagic);
}

// One frame in flight at most: a page that reads slowly gets few frames, all recent, while the
// solver runs on at its own pace.
TEST(ServeRateTest, FramesAreBoundedForFastPagesAndDroppedForSlowOnes) {
    LiveServer server(SmallBox(201));
    const unsigned short port = server.Port();
    Page fast(port);
    Page slow(port);
    ReceiveFrame(fast);
    ReceiveFrame(slow);
    const int stepBefore = Status(port)["step"];
    const Clock::time_point start = Clock::now();
    int fastFrames = 0;
    while (Clock::now() - start < std::chrono::seconds(2)) {
        ReceiveFrame(fast);
        ++fastFrames;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LE(fastFrames, nembra_cli::Simulation::kFramesPerSecond * seconds + 2);
    EXPECT_GE(fastFrames, 5);
    const int stepAfter = Status(port)["step"];
    EXPECT_GT(stepAfter, stepBefore);

    // The slow page read nothing for two seconds; what waits for it is bounded by the frame rate
    // (nothing queues beyond it, however long the page sleeps), and the newest frame is recent.
    // How many of those fit the loopback buffers depends on the machine, so it is not compared
    // with the fast page's count.
    int slowFrames = 0;
    std::uint32_t newest = 0;
    for (const Page::Message& m : slow.ReceiveFor(std::chrono::milliseconds(300))) {
        if (m.binary) {
            newest = Decode(m.bytes).steps;
            ++slowFrames;
        }
    }
    std::cout << "fast page: " << fastFrames << " frames in " << seconds
              << " s; slow page: " << slowFrames << " frames waiting after the same time\n";
    EXPECT_LE(slowFrames, nembra_cli::Simulation::kFramesPerSecond * (seconds + 0.3) + 2);
    EXPECT_GE(static_cast<int>(newest), stepBefore);
}

TEST(ServeRateTest, SeveralPagesWatchDifferentQuantitiesAtOnce) {
    LiveServer server(SmallBox());
    const unsigned short port = server.Port();
    std::vector<std::unique_ptr<Page>> pages;
    const char* quantities[] = {"density", "mach", "FluxE[2]", "T"};
    for (const char* quantity : quantities) {
        pages.push_back(std::make_unique<Page>(port));
        pages.back()->Send(std::string(R"({"type":"view","quantity":")") + quantity + "\"}");
    }
    EXPECT_EQ(Status(port)["pages"], 4);
    for (std::size_t k = 0; k < pages.size(); ++k) {
        // Frames of the chosen quantity carry its index in the model's list.
        const nlohmann::json state = pages[k]->ReceiveJson("state");
        std::uint32_t index = 0;
        while (state["quantities"][index]["name"] != quantities[k]) {
            ++index;
        }
        bool seen = false;
        for (int n = 0; n < 50 && !seen; ++n) {
            const Page::Message m = pages[k]->Receive();
            std::uint32_t quantity = 0;
            if (m.binary) {
                std::memcpy(&quantity, m.bytes.data() + 16, 4);
                seen = quantity == index;
            }
        }
        EXPECT_TRUE(seen) << quantities[k];
    }
}

TEST(ServeSwitchTest, SwitchingModelWhileFramesFlyReachesEveryPage) {
    LiveServer server(SmallBox());
    const unsigned short port = server.Port();
    Page driver(port);
    Page watcher(port);
    watcher.Send(R"({"type":"view","quantity":"mach"})");
    ReceiveFrame(driver);
    ReceiveFrame(watcher);
    const char* models[] = {
        R"({"type":"configure","model":"flow","settings":{"case":"flat-plate","nx":25,"ny":21}})",
        R"({"type":"configure","model":"diffusion","settings":{"initial":"step","segments":100}})",
        R"({"type":"configure","model":"flow","settings":{"case":"closed-box","nx":33,"ny":17}})",
    };
    for (int round = 0; round < 3; ++round) {
        for (const char* model : models) {
            driver.Send(model);
        }
    }
    // The last one wins on every page; the watcher falls back to the model's first quantity
    // whenever the new model lacks the one it watched.
    const nlohmann::json status = WaitForStatus(
        port, [](const auto& s) { return s["case"] == "closed-box" && s["nodes_x"] == 33; });
    EXPECT_EQ(status["nodes_y"], 17);
    for (Page* page : {&driver, &watcher}) {
        DecodedFrame frame = ReceiveFrame(*page);
        for (int k = 0; k < 200 && !(frame.nx == 33 && frame.ny == 17); ++k) {
            frame = ReceiveFrame(*page);
        }
        EXPECT_EQ(frame.nx, 33u);
        EXPECT_EQ(frame.floats, 33u * 17u);
    }
    driver.Send(R"({"type":"pause"})");
    driver.Send(R"({"type":"reset"})");
    EXPECT_EQ(WaitForStatus(port, [](const auto& s) { return s["step"] == 0; })["step"], 0);
    driver.Send(R"({"type":"step","count":5})");
    EXPECT_EQ(WaitForStatus(port, [](const auto& s) { return s["step"] == 5; })["step"], 5);
    driver.Send(R"({"type":"reset"})");
    const nlohmann::json reset = WaitForStatus(port, [](const auto& s) { return s["step"] == 0; });
    EXPECT_EQ(reset["step"], 0);
    EXPECT_EQ(reset["nodes_x"], 33);
}

TEST(ServeSwitchTest, ARefusedModelKeepsTheRunningOne) {
    LiveServer server(SmallBox());
    const unsigned short port = server.Port();
    Page page(port);
    page.Send(R"({"type":"configure","model":"flow","settings":{"nx":9}})");
    EXPECT_NE(page.ReceiveJson("error")["message"].get<std::string>().find("--nx"),
              std::string::npos);
    EXPECT_EQ(Status(port)["nodes_x"], 31);
    EXPECT_EQ(Status(port)["running"], true);
}

}  // namespace
}  // namespace nembra_serve_test
