#pragma once

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <memory>
#include <optional>

#include "HttpRoutes.h"
#include "ServerState.h"

namespace nembra_cli {

// One TCP connection: reads requests with bounded headers and bodies and a deadline, answers
// them, and hands an authorised WebSocket upgrade from an allowed origin to a WebSocketSession.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    static constexpr std::size_t kMostHeaderBytes = 8192;
    static constexpr std::size_t kMostBodyBytes = 4096;

    HttpSession(boost::asio::ip::tcp::socket&& socket, ServerState& state);
    ~HttpSession();

    void Start();

private:
    void Read();
    void OnRead(boost::beast::error_code error);
    void Upgrade(HttpRequest request);
    void Write(HttpResponse response);

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    ServerState& state_;
};

}  // namespace nembra_cli
