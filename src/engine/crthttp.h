#pragma once
// The engine's sockets and its small blocking HTTP/1.1 client.
//
// Hooks filled by the socket and HTTP client work (crthttp.cpp); until then they do nothing.

namespace crtfun {

// Sets the client's "User-Agent" text (copied).
void setupuseragent(const char* text);

}  // namespace crtfun
