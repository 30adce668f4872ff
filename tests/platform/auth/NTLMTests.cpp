// NTLM: MD4 and the version 2 responses against published values, the challenge message reader, the
// handshake state of an authentication object, and a handshake with a loopback server on one connection.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <list>
#include <mutex>

#include "../cfnetwork/StreamHarness.h"
#include "platform/cfnetwork/CFHTTPAuthentication.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Base64.h"
#include "servers/ScriptedHTTPServer.h"

using TestServers::RecordedRequest;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

std::string le16(uint16_t v)
{
    return bytes({v & 0xff, v >> 8});
}

std::string le32(uint32_t v)
{
    return le16(static_cast<uint16_t>(v & 0xffff)) + le16(static_cast<uint16_t>(v >> 16));
}

std::string utf16(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string avPair(uint16_t id, const std::string& value)
{
    return le16(id) + le16(static_cast<uint16_t>(value.size())) + value;
}

uint32_t read32(const std::string& in, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<uint8_t>(in[at + i]);
    }
    return v;
}

// Field `index` (0 LM, 1 NT, 2 domain, 3 user, 4 workstation) of an authenticate message.
std::string field(const std::string& message, int index)
{
    size_t at = 12 + 8 * index;
    uint32_t length = read32(message, at) & 0xffff;
    uint32_t offset = read32(message, at + 4);
    return message.substr(offset, length);
}

// A challenge message: flags, server challenge, target info.
std::string challengeMessage(uint32_t flags, const std::string& serverChallenge, const std::string& targetInfo)
{
    std::string out = std::string("NTLMSSP\0", 8) + le32(2);
    out += le16(0) + le16(0) + le32(56);  // no target name
    out += le32(flags) + serverChallenge + std::string(8, '\0');
    out += le16(static_cast<uint16_t>(targetInfo.size())) + le16(static_cast<uint16_t>(targetInfo.size())) + le32(56);
    out += std::string(8, '\0');  // version
    return out + targetInfo;
}

const std::string kServerChallenge = bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef});
const std::string kTargetInfo = avPair(2, utf16("Domain")) + avPair(1, utf16("Server")) + avPair(0, "");

std::string hex(const std::string& b)
{
    return CommonCrypto::hex(reinterpret_cast<const uint8_t*>(b.data()), b.size());
}

TEST(NTLM, MD4MatchesPublishedValues)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
        {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {"message digest", "d9130a8164549fe818874806e1c7014b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "e33b4ddc9c38f2199c3e7b164fcc0536"},
    };
    for (const auto& [text, digest] : cases) {
        EXPECT_EQ(CommonCrypto::hex(NTLM::md4(text)), digest) << text;
    }
}

TEST(NTLM, Version2ResponsesMatchThePublishedExample)
{
    EXPECT_EQ(CommonCrypto::hex(NTLM::ntowfv2("User", "Password", "Domain")), "0c868a403bfd7a93a3001ef22ef02e3f");
    auto challenge = NTLM::parseChallengeMessage(challengeMessage(0xe28a8233, kServerChallenge, kTargetInfo));
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->targetInfo, kTargetInfo);
    EXPECT_FALSE(challenge->timestamp);
    std::array<uint8_t, 8> client;
    client.fill(0xaa);
    std::string message = NTLM::authenticateMessage(*challenge, "User", "Password", "Domain", "COMPUTER", client, 0);
    ASSERT_EQ(message.substr(0, 12), std::string("NTLMSSP\0", 8) + le32(3));
    EXPECT_EQ(hex(field(message, 0)), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
    std::string nt = field(message, 1);
    EXPECT_EQ(hex(nt.substr(0, 16)), "68cd0ab851e51c96aabc927bebef6a1c");
    EXPECT_EQ(nt.substr(16), bytes({1, 1, 0, 0, 0, 0, 0, 0}) + std::string(8, '\0') + std::string(8, '\xaa') +
                                 std::string(4, '\0') + kTargetInfo + std::string(4, '\0'));
    EXPECT_EQ(field(message, 2), utf16("Domain"));
    EXPECT_EQ(field(message, 3), utf16("User"));
    EXPECT_EQ(field(message, 4), utf16("COMPUTER"));
    EXPECT_EQ(read32(message, 60) & 1u, 1u) << "Unicode";
}

TEST(NTLM, AServerTimestampReplacesTheClockAndTheLMResponse)
{
    std::string info = avPair(7, bytes({1, 2, 3, 4, 5, 6, 7, 8})) + avPair(0, "");
    auto challenge = NTLM::parseChallengeMessage(challengeMessage(0x00088201, kServerChallenge, info));
    ASSERT_TRUE(challenge && challenge->timestamp);
    EXPECT_EQ(*challenge->timestamp, 0x0807060504030201ull);
    std::array<uint8_t, 8> client{};
    std::string message = NTLM::authenticateMessage(*challenge, "u", "p", "", "", client, 99);
    EXPECT_EQ(field(message, 0), std::string(24, '\0'));
    EXPECT_EQ(field(message, 1).substr(24, 8), bytes({1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(NTLM, MalformedChallengeMessagesAreRefused)
{
    std::string good = challengeMessage(0x00088201, kServerChallenge, kTargetInfo);
    ASSERT_TRUE(NTLM::parseChallengeMessage(good));
    std::string wrongType = good;
    wrongType[8] = 3;
    std::string outOfBounds = good;
    outOfBounds[44] = 0x70;  // target info offset past the end
    std::string overrun = challengeMessage(0x00088201, kServerChallenge, le16(2) + le16(40) + "short");
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"short", good.substr(0, 20)},
        {"signature", "NTLMSSQ" + good.substr(7)},
        {"type", wrongType},
        {"target info out of bounds", outOfBounds},
        {"AV pair overruns", overrun},
    };
    for (const auto& [what, message] : cases) {
        EXPECT_FALSE(NTLM::parseChallengeMessage(message)) << what;
    }
}

Ref<CFHTTPMessage> ntlmResponse(const std::string& line)
{
    auto message = CFHTTPMessage::createResponse(401, "Unauthorized", kCFHTTPVersion1_1);
    message->addReceivedHeaderField("WWW-Authenticate", line);
    message->markHeaderComplete();
    return message;
}

TEST(NTLM, TheObjectWalksTheHandshake)
{
    auto auth = CFHTTPAuthentication::createFromResponse(ntlmResponse("NTLM"));
    ASSERT_TRUE(auth);
    EXPECT_TRUE(auth->requiresAccountDomain());
    auto message = CFHTTPMessage::createRequest("GET", NSURL::URLWithString("http://h/x"), kCFHTTPVersion1_1);
    Value credentials = Value::dictionary({{kCFHTTPAuthenticationUsername, Value("name")},
                                           {kCFHTTPAuthenticationPassword, Value("secret")},
                                           {kCFHTTPAuthenticationAccountDomain, Value("DOM")}});
    ASSERT_TRUE(CFHTTPMessageApplyCredentialDictionary(message, auth, credentials, nullptr));
    EXPECT_EQ(message->copyHeaderFieldValue("Authorization"), "NTLM " + Base64::encode(NTLM::negotiateMessage()));

    // The challenge message is the next step, not a refusal.
    std::string type2 = challengeMessage(0x00088201, kServerChallenge, kTargetInfo);
    CFHTTPAuthentication::noteResponse(message, ntlmResponse("NTLM " + Base64::encode(type2)));
    ASSERT_TRUE(auth->isValid());
    ASSERT_TRUE(CFHTTPMessageApplyCredentialDictionary(message, auth, credentials, nullptr));
    auto type3 = Base64::decode(message->copyHeaderFieldValue("Authorization")->substr(5));
    ASSERT_TRUE(type3);
    EXPECT_EQ(field(*type3, 2), utf16("DOM"));
    EXPECT_EQ(field(*type3, 3), utf16("name"));

    // Challenged again after the answer: the credentials were wrong.
    CFHTTPAuthentication::noteResponse(message, ntlmResponse("NTLM"));
    CFStreamError error;
    EXPECT_FALSE(auth->isValid(&error));
    EXPECT_EQ(error.error, kCFStreamErrorHTTPAuthenticationBadPassword);
}

TEST(NTLM, HandshakeWithALoopbackServerOnOneConnection)
{
    std::mutex mutex;
    size_t challengeConnection = 0;
    std::string seenUser;
    std::string seenDomain;
    ScriptedHTTPServer server;
    const std::string type2 = challengeMessage(0xe2898215, kServerChallenge, kTargetInfo);
    server.setHandler([&](const RecordedRequest& request) {
        std::lock_guard lock(mutex);
        std::string header = request.header("Authorization");
        Reply challenge = Reply::withStatus(401, "Unauthorized");
        if (header.rfind("NTLM ", 0) != 0) {
            challenge.headerLines.push_back("WWW-Authenticate: NTLM");
            return challenge;
        }
        auto message = Base64::decode(header.substr(5)).value_or("");
        if (read32(message, 8) == 1) {
            challengeConnection = request.connection;
            challenge.headerLines.push_back("WWW-Authenticate: NTLM " + Base64::encode(type2));
            return challenge;
        }
        seenUser = field(message, 3);
        seenDomain = field(message, 2);
        // Check the proof as a server does: HMAC-MD5 under NTOWFv2 of the server challenge and the blob.
        std::string nt = field(message, 1);
        auto key = NTLM::ntowfv2("name", "secret", "DOM");
        unsigned char proof[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        std::string data = kServerChallenge + nt.substr(16);
        HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
             data.size(), proof, &length);
        bool ok = nt.size() > 16 && nt.substr(0, 16) == std::string(reinterpret_cast<char*>(proof), 16) &&
                  request.connection == challengeConnection;
        if (!ok) {
            challenge.headerLines.push_back("WWW-Authenticate: NTLM");
            return challenge;
        }
        return Reply::ok("hello DOM\\name");
    });

    // As a client's pool does: each attempt opens a stream with the same connection id, and the stream
    // that parked the connection stays open until the next one has taken it.
    auto message = StreamHarness::get(server.url("/ntlm"));
    std::list<StreamHarness> attempts;
    auto send = [&] {
        StreamHarness& h = attempts.emplace_back(CFReadStream::createForHTTPRequest(message));
        h.stream->setAttemptPersistentConnection(true);
        h.stream->setHTTPStreamID(41);
        h.start();
        EXPECT_TRUE(h.run());
        return std::make_pair(h.status(), h.body);
    };
    EXPECT_EQ(send().first, 401);
    auto auth = CFHTTPAuthentication::createFromResponse(attempts.back().stream->copyResponseHeader());
    ASSERT_TRUE(auth);
    ASSERT_EQ(auth->copyMethod(), kCFHTTPAuthenticationSchemeNTLM);

    Value credentials = Value::dictionary({{kCFHTTPAuthenticationUsername, Value("name")},
                                           {kCFHTTPAuthenticationPassword, Value("secret")},
                                           {kCFHTTPAuthenticationAccountDomain, Value("DOM")}});
    ASSERT_TRUE(CFHTTPMessageApplyCredentialDictionary(message, auth, credentials, nullptr));
    EXPECT_EQ(send().first, 401);
    ASSERT_TRUE(auth->isValid());
    ASSERT_TRUE(CFHTTPMessageApplyCredentialDictionary(message, auth, credentials, nullptr));
    auto [status, body] = send();
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, "hello DOM\\name");
    std::lock_guard lock(mutex);
    EXPECT_EQ(seenUser, utf16("name"));
    EXPECT_EQ(seenDomain, utf16("DOM"));
    EXPECT_EQ(server.connectionCount(), 1u);
    attempts.clear();
    CFHTTPReadStream::closeIdleConnections();
}

}  // namespace
