#include "AccessToken.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

namespace nembra_cli {

std::string NewAccessToken() {
    unsigned char bytes[32];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0 && errno != EINTR) {
            throw std::runtime_error("no random bytes for the access token");
        }
        filled += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += kDigits[b >> 4];
        token += kDigits[b & 15];
    }
    return token;
}

bool SameToken(std::string_view given, std::string_view expected) {
    // The length of the token is no secret; its characters are.
    if (given.size() != expected.size() || expected.empty()) {
        return false;
    }
    unsigned difference = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        difference |=
            static_cast<unsigned char>(given[k]) ^ static_cast<unsigned char>(expected[k]);
    }
    return difference == 0;
}

std::string_view PathOfTarget(std::string_view target) {
    return target.substr(0, target.find('?'));
}

std::string_view TokenInTarget(std::string_view target) {
    const std::size_t query = target.find('?');
    if (query == std::string_view::npos) {
        return {};
    }
    std::string_view rest = target.substr(query + 1);
    while (!rest.empty()) {
        const std::size_t end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        if (pair.substr(0, 6) == "token=") {
            return pair.substr(6);
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return {};
}

}  // namespace nembra_cli
