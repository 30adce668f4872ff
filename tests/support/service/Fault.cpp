#include "service/Fault.h"

#include <utility>

namespace standin {

Fault Fault::status(int code, std::string body)
{
    Fault fault;
    fault.kind = Kind::Status;
    fault.code = code;
    fault.body = std::move(body);
    return fault;
}

Fault Fault::emptyBody()
{
    Fault fault;
    fault.kind = Kind::EmptyBody;
    fault.code = 200;
    return fault;
}

Fault Fault::notJson()
{
    Fault fault;
    fault.kind = Kind::NotJson;
    fault.code = 200;
    fault.body = "<html><body>The service is busy, try again later.</body></html>";
    return fault;
}

Fault Fault::closeWithoutAnswer()
{
    Fault fault;
    fault.kind = Kind::CloseWithoutAnswer;
    return fault;
}

Fault Fault::hang(std::chrono::milliseconds delay)
{
    Fault fault;
    fault.kind = Kind::Hang;
    fault.delay = delay;
    return fault;
}

Fault Fault::hangUntilStopped()
{
    Fault fault;
    fault.kind = Kind::HangUntilStopped;
    return fault;
}

Fault Fault::dropAfterBytes(std::size_t bytes)
{
    Fault fault;
    fault.kind = Kind::DropAfterBytes;
    fault.bytes = bytes;
    return fault;
}

Fault Fault::statusOnNth(std::uint64_t nth, int code)
{
    Fault fault;
    fault.kind = Kind::StatusOnNth;
    fault.nth = nth == 0 ? 1 : nth;
    fault.code = code;
    return fault;
}

Fault Fault::drip(std::size_t bytes, std::chrono::milliseconds delay)
{
    Fault fault;
    fault.kind = Kind::Drip;
    fault.bytes = bytes == 0 ? 1 : bytes;
    fault.delay = delay;
    return fault;
}

Fault Fault::persistent() const
{
    Fault copy = *this;
    copy.isPersistent = true;
    return copy;
}

std::string Fault::describe() const
{
    switch (kind) {
    case Kind::Status: return "status " + std::to_string(code);
    case Kind::EmptyBody: return "empty body";
    case Kind::NotJson: return "not JSON";
    case Kind::CloseWithoutAnswer: return "close without answer";
    case Kind::Hang: return "hang " + std::to_string(delay.count()) + " ms";
    case Kind::HangUntilStopped: return "hang until stopped";
    case Kind::DropAfterBytes: return "drop after " + std::to_string(bytes) + " bytes";
    case Kind::StatusOnNth: return "status " + std::to_string(code) + " on request " + std::to_string(nth);
    case Kind::Drip:
        return "drip " + std::to_string(bytes) + " bytes every " + std::to_string(delay.count()) + " ms";
    }
    return "?";
}

} // namespace standin
