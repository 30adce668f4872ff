// Sockets and the HTTP/1.1 client.
//
// To be filled by the socket and HTTP client work; until then the user agent is not kept.
#include "engine/crthttp.h"

namespace crtfun {

void setupuseragent(const char* text)
{
    (void)text;
}

}  // namespace crtfun
