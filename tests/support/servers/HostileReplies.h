#pragma once
// Replies of a server that means harm: bodies that are small on the wire and enormous once inflated.
#include <cstddef>
#include <string>

#include "ScriptedHTTPServer.h"

namespace TestServers {

// A gzip member whose content is `inflatedLength` zero bytes, compressed as tightly as zlib can (about
// 1 KiB per MiB). Built once per length for the process.
const std::string& gzipBomb(size_t inflatedLength);

// "200 OK" with "Content-Encoding: gzip" and gzipBomb(inflatedLength) as its body.
Reply gzipBombReply(size_t inflatedLength);

}  // namespace TestServers
