#pragma once

#include <boost/beast/http.hpp>

#include "ServerState.h"

namespace nembra_cli {

namespace http = boost::beast::http;
using HttpRequest = http::request<http::string_body>;
using HttpResponse = http::response<http::string_body>;

// Requests without the right token get 403 and nothing else; otherwise the page, its files and
// GET /api/status. Only GET and HEAD are served.
HttpResponse Respond(const HttpRequest& request, const ServerState& state);

bool HasToken(const HttpRequest& request, const std::string& token);

// A WebSocket upgrade from a page of another origin is refused: a browser sends the origin of
// the page that opens the socket, which must be this server's own address. Programs that send
// no origin are let through on the token alone.
bool OriginAllowed(const HttpRequest& request);

HttpResponse Forbidden(const HttpRequest& request);

}  // namespace nembra_cli
