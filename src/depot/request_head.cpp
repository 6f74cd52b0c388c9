#include "depot/request_head.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace nvx::depot {
namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

}  // namespace

bool RequestHead::expectsBody() const {
    // The methods whose bodies the HTTP library reads.
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" || method == "PRI";
}

RequestHead inspectRequestHead(std::string_view head) {
    RequestHead inspected;
    std::size_t lineStart = 0;
    bool firstLine = true;
    while (lineStart < head.size()) {
        std::size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = head.size();
        const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (firstLine) {
            firstLine = false;
            const std::size_t methodEnd = line.find(' ');
            inspected.method = std::string(line.substr(0, methodEnd));
            if (methodEnd != std::string_view::npos) {
                const std::string_view rest = line.substr(methodEnd + 1);
                inspected.target = std::string(rest.substr(0, rest.find(' ')));
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = lowerCase(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (name == "content-length") {
            std::uint64_t length = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
            if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
                (inspected.contentLength && *inspected.contentLength != length)) {
                inspected.contentLengthInvalid = true;
            } else {
                inspected.contentLength = length;
            }
        } else if (name == "transfer-encoding") {
            inspected.transferEncoding = true;
        } else if (name == "content-encoding") {
            inspected.contentEncoding = lowerCase(value);
        }
    }
    return inspected;
}

std::optional<Refusal> refusalOf(const RequestHead& head, const ConnectionLimits& limits) {
    if (head.contentLengthInvalid) {
        return Refusal{400, "Склад не понял длину тела запроса (Content-Length)."};
    }
    if (head.transferEncoding || (head.expectsBody() && !head.contentLength)) {
        return Refusal{411, "Склад принимает тело запроса только с заголовком Content-Length."};
    }
    if (head.contentLength && *head.contentLength > limits.maximumBodyBytes) {
        return Refusal{413, "Опись больше " + std::to_string(limits.maximumBodyBytes / (1024 * 1024)) +
                                " МиБ; склад такие не принимает."};
    }
    if (!head.contentEncoding.empty() && head.contentEncoding != "identity") {
        return Refusal{415, "Склад не принимает сжатое тело запроса (Content-Encoding)."};
    }
    return std::nullopt;
}

}  // namespace nvx::depot
