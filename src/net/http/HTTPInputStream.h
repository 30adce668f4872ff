#pragma once
// HTTPInputStream: the stream a request's connection reads the request body from. It stands in front of
// an ordinary input stream over the body (a file, or bytes in memory) and passes everything through to
// it - opening, closing, status, errors, the run loop and the events - except reading: every read is
// counted towards the process-wide bandwidth meter and, while the bandwidth throttle is on, cut to the
// allowance of the moment and preceded by the request's throttling step.
//
//   auto body = HTTPInputStream::inputStreamWithFileAtPath_request(path, request);
//   auto stream = CFReadStream::createForStreamedHTTPRequest(message, body);
//
// Reads happen on the request's thread. The throttling step and the counting of every body stream of
// the process take turns under one lock; the read from the inner stream runs outside it.
#include <string>

#include "platform/cfnetwork/CFStream.h"
#include "platform/foundation/NSData.h"

class HTTPRequest;

class HTTPInputStream : public CFReadStream {
public:
    static Ref<HTTPInputStream> inputStreamWithFileAtPath_request(const std::string& path,
                                                                  const Ref<HTTPRequest>& request);
    static Ref<HTTPInputStream> inputStreamWithData_request(const NSData& data, const Ref<HTTPRequest>& request);

    // The stream over the body (owned). Replacing it hands the scheduling and the events over to the new
    // stream.
    Ref<CFReadStream> stream() const { return stream_; }
    void setStream(const Ref<CFReadStream>& newStream);
    // The request whose body this is (not owned: the request outlives its body stream).
    Ref<HTTPRequest> request() const { return request_.lock(); }
    void setRequest(const Weak<HTTPRequest>& newRequest) { request_ = newRequest; }

    bool open() override;
    // Reads at most `length` bytes, fewer while the throttle is on (at least 1); the inner stream's
    // answer (0 at the end, negative on error).
    CFIndex read(uint8_t* buffer, CFIndex length) override;
    bool hasBytesAvailable() override;
    void close() override;
    CFStreamStatus getStatus() const override;
    CFStreamError getError() const override;
    std::optional<uint64_t> knownLength() const override;
    // The inner stream's delegate and properties: the body stream has none of its own.
    Ref<NSStreamDelegate> delegate() const override;
    void setDelegate(Weak<NSStreamDelegate> delegate) override;
    Value propertyForKey(const std::string& key) const override;
    bool setProperty_forKey(const Value& property, const std::string& key) override;

    HTTPInputStream() = default;  // use the factories

protected:
    void schedulingChanged() override;

private:
    Ref<CFReadStream> stream_;
    Weak<HTTPRequest> request_;
    // Where the inner stream is scheduled (a mirror of this stream's own scheduling).
    Weak<NSRunLoop> innerLoop_;
    std::set<std::string> innerModes_;
};
