#include "WebSocketSession.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/post.hpp>

#include "ControlMessage.h"
#include "OptionRules.h"

namespace nembra_cli {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;

namespace {

constexpr std::chrono::microseconds kTick{1000000 / Simulation::kFramesPerSecond};

}  // namespace

WebSocketSession::WebSocketSession(net::ip::tcp::socket&& socket, ServerState& state)
    : socket_(std::move(socket)), timer_(socket_.get_executor()), state_(state) {
    ++state_.pages;
}

WebSocketSession::~WebSocketSession() {
    if (!quantity_.empty()) {
        state_.simulation.Unwatch(quantity_);
    }
    --state_.pages;
}

void WebSocketSession::Start(HttpRequest request) {
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "nembra"); }));
    socket_.read_message_max(kMostControlMessageBytes);
    socket_.async_accept(
        request, beast::bind_front_handler(&WebSocketSession::OnAccept, shared_from_this()));
}

void WebSocketSession::OnAccept(beast::error_code error) {
    if (error) {
        return;
    }
    ChangeQuantity(state_.simulation.Latest()->quantities.front());
    Read();
    ScheduleTick();
}

void WebSocketSession::Read() {
    socket_.async_read(buffer_,
                       beast::bind_front_handler(&WebSocketSession::OnRead, shared_from_this()));
}

// A message over the size limit fails the read and closes the socket (status 1009).
void WebSocketSession::OnRead(beast::error_code error, std::size_t) {
    if (error) {
        Close();
        return;
    }
    if (socket_.got_text()) {
        Handle(beast::buffers_to_string(buffer_.data()));
    } else {
        SendText(ErrorMessage("control messages are JSON text, not binary"));
    }
    buffer_.consume(buffer_.size());
    Read();
}

void WebSocketSession::Handle(const std::string& text) {
    ControlMessage command;
    try {
        command = ParseControlMessage(text);
    } catch (const UsageError& e) {
        SendText(ErrorMessage(e.what()));
        return;
    }
    if (command.kind == ControlMessage::Kind::View) {
        if (!Contains(state_.simulation.Latest()->quantities, command.quantity)) {
            SendText(ErrorMessage("unknown quantity '" + command.quantity + "'"));
            return;
        }
        ChangeQuantity(command.quantity);
        return;
    }
    // Replies come from the solver thread; they are handed over on this socket's strand and
    // dropped when the page has gone.
    std::weak_ptr<WebSocketSession> weak = weak_from_this();
    auto executor = socket_.get_executor();
    const bool queued =
        state_.simulation.Submit(command, [weak, executor](const std::string& reply) {
            net::post(executor, [weak, reply] {
                if (auto self = weak.lock()) {
                    self->SendText(reply);
                }
            });
        });
    if (!queued) {
        SendText(ErrorMessage("the server is busy; try again"));
    }
}

void WebSocketSession::ChangeQuantity(const std::string& quantity) {
    if (quantity == quantity_) {
        return;
    }
    state_.simulation.Watch(quantity);
    if (!quantity_.empty()) {
        state_.simulation.Unwatch(quantity_);
    }
    quantity_ = quantity;
    sentVersion_ = 0;
}

void WebSocketSession::ScheduleTick() {
    timer_.expires_after(kTick);
    timer_.async_wait([self = shared_from_this()](beast::error_code error) {
        if (!error && !self->closed_) {
            self->OnTick();
            self->ScheduleTick();
        }
    });
}

// The state message goes first whenever the model or its controls changed; a model without
// the watched quantity (another model was chosen) falls back to its first one.
void WebSocketSession::OnTick() {
    const std::shared_ptr<const Publication> latest = state_.simulation.Latest();
    if (latest->stateVersion != sentStateVersion_) {
        sentStateVersion_ = latest->stateVersion;
        Send({latest->state, false});
        if (!Contains(latest->quantities, quantity_)) {
            ChangeQuantity(latest->quantities.front());
        }
    }
    if (writing_ || latest->version == sentVersion_) {
        return;
    }
    const auto frame = latest->frames.find(quantity_);
    if (frame != latest->frames.end()) {
        sentVersion_ = latest->version;
        Send({frame->second, true});
    }
}

void WebSocketSession::SendText(std::string text) {
    if (outbox_.size() >= kMostWaitingReplies) {
        Close();
        return;
    }
    Send({std::make_shared<const std::string>(std::move(text)), false});
}

void WebSocketSession::Send(Outgoing message) {
    if (closed_) {
        return;
    }
    outbox_.push_back(std::move(message));
    if (!writing_) {
        WriteNext();
    }
}

void WebSocketSession::WriteNext() {
    if (outbox_.empty() || closed_) {
        writing_ = false;
        return;
    }
    writing_ = true;
    Outgoing next = std::move(outbox_.front());
    outbox_.pop_front();
    socket_.binary(next.binary);
    socket_.async_write(net::buffer(*next.bytes), [self = shared_from_this(), keep = next.bytes](
                                                      beast::error_code error, std::size_t) {
        if (error) {
            self->Close();
            return;
        }
        self->WriteNext();
    });
}

void WebSocketSession::Close() {
    closed_ = true;
    outbox_.clear();
    timer_.cancel();
    beast::get_lowest_layer(socket_).close();
}

}  // namespace nembra_cli
