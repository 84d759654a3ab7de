#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>

#include <string>

#include "ServerState.h"
#include "Simulation.h"

namespace nembra_cli {

// The viewer's HTTP and WebSocket server on one network thread. The simulation must outlive it.
class Server {
public:
    // Listens at once; throws boost::system::system_error when the address cannot be had.
    Server(Simulation& simulation, const std::string& host, unsigned short port, std::string token);

    unsigned short Port() const;
    // Serves on the calling thread until Stop() or, after StopOnSignals(), Ctrl-C or SIGTERM.
    void Run();
    // Callable from any thread.
    void Stop();
    void StopOnSignals();

private:
    void Accept();

    // Declared first so that it outlives the connections the I/O context still holds.
    ServerState state_;
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::signal_set signals_;
};

// The address to listen on: an IP address, or a name resolved to its first address.
boost::asio::ip::address ResolveHost(const std::string& host);

}  // namespace nembra_cli
