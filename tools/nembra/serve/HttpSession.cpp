#include "HttpSession.h"

#include <boost/asio/dispatch.hpp>
#include <boost/beast/websocket.hpp>

#include "WebSocketSession.h"

namespace nembra_cli {

namespace beast = boost::beast;
namespace net = boost::asio;

namespace {

// A client that sends its request this slowly is dropped rather than holding a connection.
constexpr std::chrono::seconds kRequestDeadline{30};

}  // namespace

HttpSession::HttpSession(net::ip::tcp::socket&& socket, ServerState& state)
    : stream_(std::move(socket)), state_(state) {
    ++state_.connections;
}

HttpSession::~HttpSession() {
    --state_.connections;
}

void HttpSession::Start() {
    net::dispatch(stream_.get_executor(),
                  beast::bind_front_handler(&HttpSession::Read, shared_from_this()));
}

void HttpSession::Read() {
    parser_.emplace();
    parser_->header_limit(kMostHeaderBytes);
    parser_->body_limit(kMostBodyBytes);
    stream_.expires_after(kRequestDeadline);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
}

void HttpSession::OnRead(beast::error_code error) {
    if (error) {
        // Malformed or oversized requests, timeouts and closed connections end here alike.
        beast::error_code ignored;
        stream_.socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
        return;
    }
    HttpRequest request = parser_->release();
    if (beast::websocket::is_upgrade(request)) {
        Upgrade(std::move(request));
        return;
    }
    Write(Respond(request, state_));
}

void HttpSession::Upgrade(HttpRequest request) {
    if (!HasToken(request, state_.token) || !OriginAllowed(request)) {
        Write(Forbidden(request));
        return;
    }
    stream_.expires_never();
    std::make_shared<WebSocketSession>(stream_.release_socket(), state_)->Start(std::move(request));
}

void HttpSession::Write(HttpResponse response) {
    auto shared = std::make_shared<HttpResponse>(std::move(response));
    http::async_write(stream_, *shared,
                      [self = shared_from_this(), shared](beast::error_code error, std::size_t) {
                          if (error || !shared->keep_alive()) {
                              beast::error_code ignored;
                              self->stream_.socket().shutdown(net::ip::tcp::socket::shutdown_both,
                                                              ignored);
                              return;
                          }
                          self->Read();
                      });
}

}  // namespace nembra_cli
