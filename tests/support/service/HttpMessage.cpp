#include "service/HttpMessage.h"

#include <cctype>
#include <cstdio>

namespace standin {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> findHeader(const std::vector<Header>& headers, std::string_view name)
{
    for (const Header& header : headers) {
        if (equalsIgnoringCase(header.name, name)) {
            return header.value;
        }
    }
    return std::nullopt;
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = hexValue(text[i + 1]);
            int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

Params parseParams(std::string_view text)
{
    Params params;
    while (!text.empty()) {
        std::size_t amp = text.find('&');
        std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (piece.empty()) {
            continue;
        }
        std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos) {
            params.emplace_back(percentDecode(piece), std::string());
        } else {
            params.emplace_back(percentDecode(piece.substr(0, eq)), percentDecode(piece.substr(eq + 1)));
        }
    }
    return params;
}

std::optional<std::string> findParam(const Params& params, std::string_view name)
{
    for (const auto& [key, value] : params) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::string_view reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Unknown";
    }
}

std::string_view toString(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered: return "answered";
    case Outcome::Hanging: return "hanging";
    case Outcome::ClosedWithoutAnswer: return "closed without answer";
    case Outcome::Dropped: return "dropped";
    case Outcome::Incomplete: return "incomplete";
    }
    return "?";
}

std::optional<std::string> Request::header(std::string_view name) const
{
    return findHeader(headers, name);
}

std::optional<std::string> Request::param(std::string_view name) const
{
    return findParam(queryParams, name);
}

Params Request::formParams() const
{
    return parseParams(body);
}

Response Response::json(std::string body, int status)
{
    Response response;
    response.status = status;
    response.body = std::move(body);
    response.headers.push_back({"Content-Type", "application/json"});
    return response;
}

Response Response::text(std::string body, int status)
{
    Response response;
    response.status = status;
    response.body = std::move(body);
    response.headers.push_back({"Content-Type", "text/plain; charset=utf-8"});
    return response;
}

Response Response::empty(int status)
{
    Response response;
    response.status = status;
    return response;
}

Response& Response::with(std::string name, std::string value)
{
    headers.push_back({std::move(name), std::move(value)});
    return *this;
}

std::optional<std::string> Response::header(std::string_view name) const
{
    return findHeader(headers, name);
}

std::string serialize(const Response& response, bool closing, bool headOnly)
{
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " ";
    out += reasonPhrase(response.status);
    out += "\r\n";
    for (const Header& header : response.headers) {
        out += header.name + ": " + header.value + "\r\n";
    }
    // Status 1xx, 204 and 304 carry no body and no length.
    bool bodiless = (response.status >= 100 && response.status < 200) || response.status == 204 ||
                    response.status == 304;
    bool chunked = response.chunked && !bodiless;
    if (chunked) {
        if (!response.header("Transfer-Encoding")) {
            out += "Transfer-Encoding: chunked\r\n";
        }
    } else if (!bodiless && !response.header("Content-Length")) {
        out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    if (closing && !response.header("Connection")) {
        out += "Connection: close\r\n";
    }
    out += "\r\n";
    if (headOnly || bodiless) {
        return out;
    }
    if (!chunked) {
        return out + response.body;
    }
    std::size_t step = response.chunkSize == 0 ? response.body.size() : response.chunkSize;
    for (std::size_t at = 0; at < response.body.size(); at += step) {
        std::string_view piece = std::string_view(response.body).substr(at, step);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        out += size;
        out += piece;
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

} // namespace standin
