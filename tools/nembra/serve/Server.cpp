#include "Server.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

#include <csignal>

#include "HttpSession.h"

namespace nembra_cli {

namespace net = boost::asio;
using tcp = net::ip::tcp;

boost::asio::ip::address ResolveHost(const std::string& host) {
    boost::system::error_code error;
    const net::ip::address address = net::ip::make_address(host, error);
    if (!error) {
        return address;
    }
    net::io_context io;
    tcp::resolver resolver(io);
    const auto results = resolver.resolve(host, "0");
    return results.begin()->endpoint().address();
}

Server::Server(Simulation& simulation, const std::string& host, unsigned short port,
               std::string token)
    : state_{simulation, std::move(token)}, acceptor_(io_), signals_(io_) {
    const tcp::endpoint endpoint(ResolveHost(host), port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(net::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(net::socket_base::max_listen_connections);
    Accept();
}

unsigned short Server::Port() const {
    return acceptor_.local_endpoint().port();
}

void Server::Run() {
    io_.run();
}

void Server::Stop() {
    net::post(io_, [this] {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        signals_.cancel(ignored);
        io_.stop();
    });
}

void Server::StopOnSignals() {
    signals_.add(SIGINT);
    signals_.add(SIGTERM);
    signals_.async_wait([this](const boost::system::error_code& error, int) {
        if (!error) {
            Stop();
        }
    });
}

// Each connection gets a strand of its own; beyond the limit a connection is closed at once.
void Server::Accept() {
    acceptor_.async_accept(
        net::make_strand(io_), [this](boost::system::error_code error, tcp::socket socket) {
            if (error == net::error::operation_aborted) {
                return;
            }
            if (!error) {
                if (state_.connections + state_.pages < kMostConnections) {
                    std::make_shared<HttpSession>(std::move(socket), state_)->Start();
                }
            }
            Accept();
        });
}

}  // namespace nembra_cli
