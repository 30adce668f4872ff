#pragma once
// The process keeps the crypto library set up until it has really ended. By default the library
// tears itself down in an exit handler, while detached workers (disk writes of the image cache,
// network threads) may still hash or read a socket during exit; they would then use freed locks.
// Called from a static initialiser of every file that uses the library, so it runs before any use.
namespace OpenSSLLifetime {
void keepUntilExit();
}
