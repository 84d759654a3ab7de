#include "HttpRoutes.h"

#include "AccessToken.h"
#include "WebAssets.h"

namespace nembra_cli {

namespace {

// The page draws only what its own server sends and loads nothing from elsewhere.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; "
    "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'";

HttpResponse Plain(const HttpRequest& request, http::status status, std::string body,
                   std::string_view type = "text/plain; charset=utf-8") {
    HttpResponse response{status, request.version()};
    response.set(http::field::server, "nembra");
    response.set(http::field::content_type, type);
    response.set(http::field::cache_control, "no-store");
    response.set("Referrer-Policy", "no-referrer");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Content-Security-Policy", kContentSecurityPolicy);
    response.keep_alive(request.keep_alive());
    response.body() = std::move(body);
    response.prepare_payload();
    if (request.method() == http::verb::head) {
        response.body().clear();
    }
    return response;
}

// The page's own files are named with the token so that the browser can fetch them.
std::string WithToken(std::string_view text, const std::string& token) {
    std::string result(text);
    const std::string placeholder = "%TOKEN%";
    for (std::size_t at = result.find(placeholder); at != std::string::npos;
         at = result.find(placeholder, at + token.size())) {
        result.replace(at, placeholder.size(), token);
    }
    return result;
}

HttpResponse Status(const HttpRequest& request, const ServerState& state) {
    nlohmann::json status = state.simulation.Latest()->status;
    status["pages"] = state.pages.load();
    return Plain(request, http::status::ok,
                 status.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n",
                 "application/json");
}

}  // namespace

bool HasToken(const HttpRequest& request, const std::string& token) {
    return SameToken(TokenInTarget(request.target()), token);
}

bool OriginAllowed(const HttpRequest& request) {
    const auto origin = request.find(http::field::origin);
    if (origin == request.end()) {
        return true;
    }
    const auto host = request.find(http::field::host);
    return host != request.end() && !host->value().empty() &&
           origin->value() == "http://" + std::string(host->value());
}

HttpResponse Forbidden(const HttpRequest& request) {
    HttpResponse response = Plain(request, http::status::forbidden, "403 Forbidden\n");
    response.keep_alive(false);
    return response;
}

HttpResponse Respond(const HttpRequest& request, const ServerState& state) {
    if (!HasToken(request, state.token)) {
        return Forbidden(request);
    }
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
        HttpResponse response =
            Plain(request, http::status::method_not_allowed, "only GET and HEAD\n");
        response.set(http::field::allow, "GET, HEAD");
        return response;
    }
    const std::string_view path = PathOfTarget(request.target());
    if (path == "/api/status") {
        return Status(request, state);
    }
    const WebAsset* asset = FindWebAsset(path);
    if (asset == nullptr) {
        return Plain(request, http::status::not_found, "not found\n");
    }
    return Plain(request, http::status::ok, WithToken(asset->body, state.token),
                 asset->contentType);
}

}  // namespace nembra_cli
