#include "platform/crypto/OpenSSLLifetime.h"

#include <openssl/crypto.h>

#include <mutex>

void OpenSSLLifetime::keepUntilExit()
{
    // Only the first initialisation decides whether the exit handler is installed.
    static std::once_flag once;
    std::call_once(once, [] { OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr); });
}
