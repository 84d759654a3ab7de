#pragma once

#include <gtest/gtest.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serve/FrameEncoding.h"
#include "serve/Server.h"
#include "serve/Simulation.h"

// A server on a free loopback port with a known token, serving on a thread of its own, and
// blocking Beast clients to talk to it.
namespace nembra_serve_test {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

inline const std::string kToken(64, 'a');

class LiveServer {
public:
    explicit LiveServer(const nembra_cli::ModelRequest& request, bool paused = false)
        : simulation_(request, paused), server_(simulation_, "127.0.0.1", 0, kToken) {
        simulation_.Start();
        thread_ = std::thread([this] { server_.Run(); });
    }
    ~LiveServer() {
        server_.Stop();
        thread_.join();
        simulation_.Stop();
    }
    unsigned short Port() const { return server_.Port(); }
    nembra_cli::Simulation& Simulation() { return simulation_; }

private:
    nembra_cli::Simulation simulation_;
    nembra_cli::Server server_;
    std::thread thread_;
};

// A small closed box, quick to step.
inline nembra_cli::ModelRequest SmallBox(int nodes = 31) {
    return {
        "flow",
        {"--nx", std::to_string(nodes), "--ny", std::to_string(nodes), "--max-steps", "1000000"}};
}

struct HttpResult {
    unsigned status = 0;
    std::string body;
};

inline HttpResult Get(unsigned short port, const std::string& target,
                      http::verb method = http::verb::get) {
    net::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    return {response.result_int(), response.body()};
}

inline std::string WithToken(const std::string& path) {
    return path + "?token=" + kToken;
}

inline nlohmann::json Status(unsigned short port) {
    return nlohmann::json::parse(Get(port, WithToken("/api/status")).body);
}

// A page's socket; Open throws beast::system_error when the server refuses the upgrade.
class Page {
public:
    explicit Page(unsigned short port, const std::string& target = WithToken("/live"),
                  const std::optional<std::string>& origin = std::nullopt)
        : socket_(io_) {
        beast::get_lowest_layer(socket_).connect(
            tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        socket_.set_option(websocket::stream_base::decorator([origin](websocket::request_type& r) {
            if (origin) {
                r.set(http::field::origin, *origin);
            }
        }));
        socket_.handshake("127.0.0.1:" + std::to_string(port), target);
    }

    void Send(const std::string& text) {
        socket_.text(true);
        socket_.write(net::buffer(text));
    }

    struct Message {
        bool binary = false;
        std::string bytes;
        nlohmann::json Json() const { return nlohmann::json::parse(bytes); }
    };
    Message Receive() {
        beast::flat_buffer buffer;
        socket_.read(buffer);
        return {socket_.got_binary(), beast::buffers_to_string(buffer.data())};
    }
    // The next text message of the given type, skipping frames and other messages.
    nlohmann::json ReceiveJson(const std::string& type) {
        for (;;) {
            const Message m = Receive();
            if (!m.binary && m.Json().value("type", "") == type) {
                return m.Json();
            }
        }
    }
    // Everything that arrives within `span`; the socket is closed afterwards.
    std::vector<Message> ReceiveFor(std::chrono::milliseconds span) {
        std::vector<Message> got;
        beast::flat_buffer buffer;
        std::function<void(beast::error_code, std::size_t)> onRead = [&](beast::error_code error,
                                                                         std::size_t) {
            if (error) {
                return;
            }
            got.push_back({socket_.got_binary(), beast::buffers_to_string(buffer.data())});
            buffer.consume(buffer.size());
            socket_.async_read(buffer, onRead);
        };
        socket_.async_read(buffer, onRead);
        io_.restart();
        io_.run_for(span);
        // A cancelled WebSocket read may start a closing handshake that waits for the server;
        // closing the socket ends it, and the wait for the handlers is bounded all the same.
        beast::get_lowest_layer(socket_).close();
        io_.restart();
        io_.run_for(std::chrono::seconds(2));
        return got;
    }
    websocket::stream<beast::tcp_stream>& Socket() { return socket_; }

private:
    net::io_context io_;
    websocket::stream<beast::tcp_stream> socket_;
};

// The fixed header of a binary frame.
struct DecodedFrame {
    std::uint32_t magic = 0;
    std::uint32_t kind = 0;
    std::uint32_t nx = 0;
    std::uint32_t ny = 0;
    std::uint32_t steps = 0;
    std::size_t floats = 0;
};

inline DecodedFrame Decode(const std::string& bytes) {
    DecodedFrame f;
    if (bytes.size() < nembra_cli::kFrameHeaderBytes) {
        return f;
    }
    std::memcpy(&f.magic, bytes.data(), 4);
    std::memcpy(&f.kind, bytes.data() + 4, 4);
    std::memcpy(&f.nx, bytes.data() + 8, 4);
    std::memcpy(&f.ny, bytes.data() + 12, 4);
    std::memcpy(&f.steps, bytes.data() + 24, 4);
    f.floats = (bytes.size() - nembra_cli::kFrameHeaderBytes) / sizeof(float);
    return f;
}

inline DecodedFrame ReceiveFrame(Page& page) {
    for (;;) {
        const Page::Message m = page.Receive();
        if (m.binary) {
            return Decode(m.bytes);
        }
    }
}

}  // namespace nembra_serve_test
