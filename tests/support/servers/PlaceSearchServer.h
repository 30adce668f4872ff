#pragma once
// A stand-in of the place search web service, over TLS on 127.0.0.1 with a certificate issued by the
// given authority (tests add the authority to the trusted anchors):
//
//   GET /maps/api/place/search/json?location=<lat>,<lng>&radius=<metres>&sensor=false&key=<39 chars>
//       &language=zh_cn
//   -> {"status":"OK","results":[{"name","vicinity","geometry":{"location":{"lat","lng"}},"types"}...]}
//
// The places are a fixture of Chinese places laid around the asked position (each at its own offset
// in degrees). A key that is not 39 characters answers {"status":"REQUEST_DENIED","results":[]}; a
// missing or unreadable location {"status":"INVALID_REQUEST","results":[]}; setStatus makes every
// reply carry another status (say "ZERO_RESULTS") with no results.
#include <string>
#include <vector>

#include "ScriptedHTTPServer.h"
#include "TestCertificates.h"

namespace TestServers {

struct FixturePlace {
    std::string name;
    std::string vicinity;
    double dLat = 0;  // offset from the asked position
    double dLng = 0;
};

class PlaceSearchServer {
public:
    explicit PlaceSearchServer(const TestCertificateAuthority& authority, double lifetimeSeconds = 30);

    // "127.0.0.1:<port>", for OMBRI_PLACE_SEARCH_HOST.
    std::string hostPort() const;
    std::vector<RecordedRequest> requests() const { return server_.requests(); }
    bool waitForRequests(size_t count, double timeoutSeconds = 5) const
    {
        return server_.waitForRequests(count, timeoutSeconds);
    }

    // Every later reply carries this status; "OK" gives the places again.
    void setStatus(const std::string& status);
    // The places of the reply (the fixture below until set).
    void setPlaces(std::vector<FixturePlace> places);
    static std::vector<FixturePlace> fixturePlaces();
    // Places by the West Lake in Hangzhou, where the application's phone stands (the local world's).
    static std::vector<FixturePlace> westLakePlaces();

private:
    Reply answer(const RecordedRequest& request);

    mutable std::mutex mutex_;
    std::string status_ = "OK";
    std::vector<FixturePlace> places_;
    ScriptedHTTPServer server_;
};

}  // namespace TestServers
