#include "PlaceSearchServer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace TestServers {

namespace {
namespace PlaceSearchServer_cpp {

// The value of a query parameter of a request target, as sent (no decoding: the values are plain).
std::string queryValue(const std::string& target, const std::string& name)
{
    const std::size_t query = target.find('?');
    if (query == std::string::npos) {
        return {};
    }
    std::size_t at = query + 1;
    while (at < target.size()) {
        const std::size_t end = std::min(target.find('&', at), target.size());
        const std::string pair = target.substr(at, end - at);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) {
            return pair.substr(name.size() + 1);
        }
        at = end + 1;
    }
    return {};
}

std::string number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.7f", value);
    return text;
}

Reply json(const std::string& body)
{
    Reply reply = Reply::ok(body);
    reply.headerLines.push_back("Content-Type: application/json; charset=UTF-8");
    return reply;
}

ScriptedHTTPServer::Options options(const TestCertificateAuthority& authority, double lifetime)
{
    ScriptedHTTPServer::Options options;
    options.tls = true;
    // Valid for as long as the server serves (a long run outlives the default day).
    options.certificate = authority.issue({.commonName = "127.0.0.1",
                                           .ipAddresses = {"127.0.0.1"},
                                           .validForSeconds = std::max(24L * 3600, static_cast<long>(lifetime) + 3600)});
    options.lifetimeSeconds = lifetime;
    return options;
}

}  // namespace PlaceSearchServer_cpp
}  // namespace

PlaceSearchServer::PlaceSearchServer(const TestCertificateAuthority& authority, double lifetimeSeconds)
    : places_(fixturePlaces()), server_(PlaceSearchServer_cpp::options(authority, lifetimeSeconds))
{
    server_.setHandler([this](const RecordedRequest& request) { return answer(request); });
}

std::string PlaceSearchServer::hostPort() const
{
    return "127.0.0.1:" + std::to_string(server_.port());
}

void PlaceSearchServer::setStatus(const std::string& status)
{
    std::lock_guard hold(mutex_);
    status_ = status;
}

void PlaceSearchServer::setPlaces(std::vector<FixturePlace> places)
{
    std::lock_guard hold(mutex_);
    places_ = std::move(places);
}

std::vector<FixturePlace> PlaceSearchServer::fixturePlaces()
{
    return {
        {"人民广场", "黄浦区人民大道120号", 0.0012, -0.0021},
        {"上海博物馆", "黄浦区人民大道201号", -0.0018, 0.0009},
        {"来福士广场", "黄浦区西藏中路268号", 0.0031, 0.0024},
        {"南京东路步行街", "黄浦区南京东路", 0.0045, 0.0052},
        {"大世界", "黄浦区西藏南路1号", -0.0040, 0.0036},
        {"新世界城", "黄浦区南京西路2号", 0.0026, -0.0049},
    };
}

std::vector<FixturePlace> PlaceSearchServer::westLakePlaces()
{
    return {
        {"雷峰塔", "西湖区南山路15号", -0.0270, 0.0110},
        {"中国美术学院", "上城区南山路218号", 0.0050, 0.0210},
        {"柳浪闻莺", "上城区南山路", 0.0030, 0.0260},
        {"西湖天地", "上城区南山路147号", 0.0100, 0.0290},
        {"长桥公园", "上城区南山路", -0.0040, 0.0190},
    };
}

Reply PlaceSearchServer::answer(const RecordedRequest& request)
{
    using namespace PlaceSearchServer_cpp;
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (request.method != "GET" || path != "/maps/api/place/search/json") {
        return Reply::withStatus(404, "Not Found", "not found");
    }
    if (queryValue(request.target, "key").size() != 39) {
        return json(R"({"status":"REQUEST_DENIED","results":[]})");
    }
    const std::string location = queryValue(request.target, "location");
    const std::size_t comma = location.find(',');
    char* end = nullptr;
    const double lat = std::strtod(location.c_str(), &end);
    const bool readable = comma != std::string::npos && end == location.c_str() + comma;
    const double lng = readable ? std::strtod(location.c_str() + comma + 1, &end) : 0;
    if (!readable || *end != '\0') {
        return json(R"({"status":"INVALID_REQUEST","results":[]})");
    }
    std::lock_guard hold(mutex_);
    if (status_ != "OK") {
        return json(R"({"status":")" + status_ + R"(","results":[]})");
    }
    std::string results;
    for (const FixturePlace& place : places_) {
        results += (results.empty() ? "" : ",") + std::string(R"({"name":")") + place.name + R"(","vicinity":")" +
                   place.vicinity + R"(","geometry":{"location":{"lat":)" + number(lat + place.dLat) +
                   R"(,"lng":)" + number(lng + place.dLng) + R"(}},"types":["establishment"]})";
    }
    return json(R"({"status":"OK","results":[)" + results + "]}");
}

}  // namespace TestServers
