#include "ServeCommand.h"

#include <spawn.h>
#include <sys/wait.h>

#include "AccessToken.h"
#include "Server.h"
#include "Simulation.h"

extern char** environ;

namespace nembra_cli {

namespace {

// Starts the desktop's browser without a shell; a failure is only worth a warning.
void OpenBrowser(const std::string& url, Console& console) {
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv),
                       environ) != 0) {
        console.err << "nembra serve: warning: could not start xdg-open; open the address "
                       "yourself\n";
    }
}

bool IsLoopback(const boost::asio::ip::address& address) {
    return address.is_loopback() ||
           (address.is_v6() && address.to_v6().is_v4_mapped() &&
            boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6())
                .is_loopback());
}

boost::asio::ip::address CheckedHost(const std::string& host) {
    try {
        return ResolveHost(host);
    } catch (const boost::system::system_error& e) {
        throw UsageError("--host: cannot resolve '" + host + "': " + e.code().message());
    }
}

std::string Address(const std::string& host, unsigned short port, const std::string& token) {
    const bool bareV6 = host.find(':') != std::string::npos;
    return "http://" + (bareV6 ? "[" + host + "]" : host) + ":" + std::to_string(port) +
           "/?token=" + token;
}

}  // namespace

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& o) {
    CLI::App* cmd = app.add_subcommand(
        "serve",
        "Watch a model live in the browser: serves a page that shows the running solver.\n"
        "Model options: those of nembra flow (" +
            ModelOptionList("flow") + ") or, with --model diffusion, those of nembra diffusion (" +
            ModelOptionList("diffusion") + ").");
    cmd->add_option("--model", o.model, "Model: flow or diffusion")
        ->check(OneOf(ModelNames(), "model"))
        ->capture_default_str();
    cmd->add_option("--port", o.port, "TCP port; 0 picks a free one")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    cmd->add_option("--host", o.host,
                    "Address to listen on; anything but the loopback address lets other "
                    "machines in (prefer an SSH tunnel)")
        ->capture_default_str();
    cmd->add_flag("--paused", o.paused, "Start paused instead of stepping at once");
    cmd->add_flag("--open", o.open, "Open the page in the system's browser");
    cmd->allow_extras();
    return cmd;
}

int RunServe(ServeOptions o, Console& console) {
    const boost::asio::ip::address address = CheckedHost(o.host);
    Simulation simulation(ModelRequest{o.model, o.modelOptions}, o.paused);
    const std::string token = NewAccessToken();
    std::unique_ptr<Server> server;
    try {
        server = std::make_unique<Server>(simulation, o.host, static_cast<unsigned short>(o.port),
                                          token);
    } catch (const boost::system::system_error& e) {
        console.err << "nembra serve: error: cannot listen on " << o.host << ":" << o.port << ": "
                    << e.code().message() << " (choose another --port)\n";
        return kExitFailure;
    }
    server->StopOnSignals();
    if (!IsLoopback(address)) {
        console.err << "nembra serve: warning: listening on " << o.host
                    << ", which other machines may reach; anyone with the address below can "
                       "control this server. The default 127.0.0.1 with an SSH tunnel is safer.\n";
    }
    const std::string url = Address(o.host, server->Port(), token);
    console.out << "nembra serve: " << url << "\n" << std::flush;
    if (o.open) {
        OpenBrowser(url, console);
    }
    simulation.Start();
    server->Run();
    // The solver thread may still hand replies to the server's connections: it stops first.
    simulation.Stop();
    server.reset();
    console.err << "nembra serve: stopped\n";
    return kExitSuccess;
}

}  // namespace nembra_cli
