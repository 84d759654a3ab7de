#pragma once

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <deque>
#include <memory>
#include <string>

#include "HttpRoutes.h"
#include "ServerState.h"

namespace nembra_cli {

// One page's WebSocket: reads its control messages one at a time, and on a timer sends it the
// newest frame of the quantity it watches. At most one frame is ever in flight: a page that
// reads slowly simply gets fewer frames, and nothing queues up for it.
class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    // More replies than this waiting for a page that does not read them closes its socket.
    static constexpr std::size_t kMostWaitingReplies = 32;

    WebSocketSession(boost::asio::ip::tcp::socket&& socket, ServerState& state);
    ~WebSocketSession();

    void Start(HttpRequest request);

private:
    struct Outgoing {
        std::shared_ptr<const std::string> bytes;
        bool binary;
    };

    void OnAccept(boost::beast::error_code error);
    void Read();
    void OnRead(boost::beast::error_code error, std::size_t bytes);
    void Handle(const std::string& text);
    void ChangeQuantity(const std::string& quantity);
    void ScheduleTick();
    void OnTick();
    void SendText(std::string text);
    void Send(Outgoing message);
    void WriteNext();
    void Close();

    boost::beast::websocket::stream<boost::beast::tcp_stream> socket_;
    boost::asio::steady_timer timer_;
    boost::beast::flat_buffer buffer_;
    ServerState& state_;
    std::deque<Outgoing> outbox_;
    bool writing_ = false;
    bool closed_ = false;
    std::string quantity_;
    std::uint64_t sentVersion_ = 0;
    std::uint64_t sentStateVersion_ = 0;
};

}  // namespace nembra_cli
