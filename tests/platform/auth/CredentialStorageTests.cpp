// The credential store: protection spaces, credentials by space and user, defaults, what persistence
// keeps where, and the owner-only file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/cfnetwork/NSURLCredentialStorage.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace {

Ref<NSURLProtectionSpace> server(std::string host, int port = 443, std::string protocol = NSURLProtectionSpaceHTTPS,
                                 std::string realm = "r", std::string method = NSURLAuthenticationMethodDefault)
{
    return NSURLProtectionSpace::initWithHost_port_protocol_realm_authenticationMethod(host, port, protocol, realm,
                                                                                        method);
}

Ref<NSURLCredential> credential(std::string user, std::string password,
                                NSURLCredentialPersistence persistence = NSURLCredentialPersistencePermanent)
{
    return NSURLCredential::credentialWithUser_password_persistence(user, password, persistence);
}

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "auth-store-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (std::filesystem::path(path) / name).string(); }
    std::string path;
};

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 0777;
}

TEST(ProtectionSpace, EqualityAndSecurity)
{
    auto base = server("Example.org", 443, "https", "realm", NSURLAuthenticationMethodHTTPBasic);
    struct Case {
        const char* what;
        Ref<NSURLProtectionSpace> other;
        bool equal;
    };
    const Case cases[] = {
        {"same, host case aside", server("example.ORG", 443, "https", "realm", NSURLAuthenticationMethodHTTPBasic), true},
        {"other port", server("example.org", 8443, "https", "realm", NSURLAuthenticationMethodHTTPBasic), false},
        {"other protocol", server("example.org", 443, "http", "realm", NSURLAuthenticationMethodHTTPBasic), false},
        {"other realm", server("example.org", 443, "https", "Realm", NSURLAuthenticationMethodHTTPBasic), false},
        {"no realm", server("example.org", 443, "https", "", NSURLAuthenticationMethodHTTPBasic), false},
        {"other method", server("example.org", 443, "https", "realm", NSURLAuthenticationMethodDefault), false},
        {"a proxy of the same name",
         NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod(
             "example.org", 443, NSURLProtectionSpaceHTTPSProxy, "realm", NSURLAuthenticationMethodHTTPBasic),
         false},
        // A realm or host that runs into the next field cannot alias another space.
        {"fields cannot run together", server("example.org4", 43, "https", "realm", NSURLAuthenticationMethodHTTPBasic),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(base->isEqual(c.other.get()), c.equal);
        EXPECT_EQ(base->key() == c.other->key(), c.equal);
    }
    EXPECT_EQ(server("h", 80, "http", "", "")->authenticationMethod(), NSURLAuthenticationMethodDefault);
    EXPECT_TRUE(base->receivesCredentialSecurely());
    EXPECT_FALSE(server("h", 80, "http", "r", NSURLAuthenticationMethodHTTPBasic)->receivesCredentialSecurely());
    EXPECT_TRUE(server("h", 80, "http", "r", NSURLAuthenticationMethodHTTPDigest)->receivesCredentialSecurely());
    auto proxy = NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod(
        "p", 3128, NSURLProtectionSpaceHTTPProxy, "", "");
    EXPECT_TRUE(proxy->isProxy());
    EXPECT_EQ(proxy->proxyType(), "http");
    EXPECT_EQ(proxy->protocol(), "");
    EXPECT_FALSE(proxy->receivesCredentialSecurely());
}

TEST(CredentialStorage, CredentialsBySpaceAndUserWithADefault)
{
    auto storage = NSURLCredentialStorage::create();
    int changes = 0;
    auto observer = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
        NSURLCredentialStorageChangedNotification, Value(storage), [&](const Ref<NSNotification>&) { ++changes; });

    auto space = server("example.org");
    auto other = server("example.org", 443, "https", "other realm");
    storage->setCredential_forProtectionSpace(credential("ann", "one"), space);
    storage->setCredential_forProtectionSpace(credential("bob", "two", NSURLCredentialPersistenceForSession), space);
    storage->setCredential_forProtectionSpace(credential("ann", "three"), other);
    // Never stored.
    storage->setCredential_forProtectionSpace(credential("eve", "x", NSURLCredentialPersistenceNone), space);
    EXPECT_EQ(changes, 3);

    auto found = storage->credentialsForProtectionSpace(server("EXAMPLE.org"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found["ann"]->password(), "one");
    EXPECT_EQ(found["bob"]->password(), "two");
    EXPECT_EQ(storage->credentialsForProtectionSpace(other)["ann"]->password(), "three");
    EXPECT_TRUE(storage->credentialsForProtectionSpace(server("example.org", 8443)).empty());
    EXPECT_EQ(storage->allCredentials().size(), 2u);

    // The same user again replaces; the default is one of them.
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(space));
    storage->setDefaultCredential_forProtectionSpace(credential("ann", "four"), space);
    EXPECT_EQ(storage->defaultCredentialForProtectionSpace(space)->password(), "four");
    EXPECT_EQ(storage->credentialsForProtectionSpace(space).size(), 2u);
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(other));

    // Removing the default's user removes the default too.
    storage->removeCredential_forProtectionSpace(credential("ann", "whatever"), space);
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(space));
    EXPECT_EQ(storage->credentialsForProtectionSpace(space).size(), 1u);
    storage->removeCredential_forProtectionSpace(credential("bob", ""), space);
    EXPECT_TRUE(storage->credentialsForProtectionSpace(space).empty());
    EXPECT_EQ(storage->allCredentials().size(), 1u);
    NSNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST(CredentialStorage, PermanentCredentialsLiveInAnOwnerOnlyFile)
{
    TemporaryFolder folder;
    std::string path = folder.file("credentials.plist");
    mode_t previous = ::umask(0);  // the most permissive umask: the file must still be the owner's only
    auto storage = NSURLCredentialStorage::storageWithFile(path);
    ASSERT_TRUE(storage);
    auto space = server("example.org");
    auto proxy = NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod(
        "proxy.example.org", 3128, NSURLProtectionSpaceHTTPProxy, "", NSURLAuthenticationMethodHTTPBasic);
    storage->setDefaultCredential_forProtectionSpace(credential("ann", "p\"<&>w"), space);
    storage->setCredential_forProtectionSpace(credential("bob", "session", NSURLCredentialPersistenceForSession), space);
    storage->setCredential_forProtectionSpace(credential("pia", "proxy", NSURLCredentialPersistenceSynchronizable),
                                              proxy);
    ::umask(previous);
    EXPECT_TRUE(storage->lastWriteSucceeded());
    EXPECT_EQ(modeOf(path), 0600u);
    for (const auto& entry : std::filesystem::directory_iterator(folder.path)) {
        EXPECT_EQ(entry.path().string(), path) << "no temporary file is left behind";
    }

    // A new storage on the file sees the permanent credentials, not the session one.
    auto reopened = NSURLCredentialStorage::storageWithFile(path);
    ASSERT_TRUE(reopened);
    auto found = reopened->credentialsForProtectionSpace(space);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found["ann"]->password(), "p\"<&>w");
    EXPECT_EQ(found["ann"]->persistence(), NSURLCredentialPersistencePermanent);
    EXPECT_EQ(reopened->defaultCredentialForProtectionSpace(space)->user(), "ann");
    EXPECT_EQ(reopened->credentialsForProtectionSpace(proxy)["pia"]->password(), "proxy");

    // Removal reaches the file.
    reopened->removeCredential_forProtectionSpace(credential("ann", ""), space);
    EXPECT_TRUE(NSURLCredentialStorage::storageWithFile(path)->credentialsForProtectionSpace(space).empty());
}

TEST(CredentialStorage, FilesThatOthersCouldReadAreNarrowedAndUnreadableFilesRefused)
{
    TemporaryFolder folder;
    std::string path = folder.file("credentials.plist");
    {
        auto storage = NSURLCredentialStorage::storageWithFile(path);
        storage->setCredential_forProtectionSpace(credential("ann", "one"), server("h"));
    }
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    auto reopened = NSURLCredentialStorage::storageWithFile(path);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(reopened->credentialsForProtectionSpace(server("h")).size(), 1u);

    // A file that is not a credential file is neither read nor overwritten.
    std::string garbage = folder.file("garbage.plist");
    std::ofstream(garbage) << "not a property list";
    EXPECT_FALSE(NSURLCredentialStorage::storageWithFile(garbage));
    auto memory = NSURLCredentialStorage::create();
    memory->setCredential_forProtectionSpace(credential("ann", "one"), server("h"));
    EXPECT_FALSE(memory->setPermanentStoragePath(garbage));
    EXPECT_EQ(memory->permanentStoragePath(), "");
    std::ifstream in(garbage);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "not a property list");
}

TEST(CredentialStorage, MovingToAFileMergesWithWhatItHolds)
{
    TemporaryFolder folder;
    std::string path = folder.file("credentials.plist");
    {
        auto storage = NSURLCredentialStorage::storageWithFile(path);
        storage->setCredential_forProtectionSpace(credential("ann", "old"), server("h"));
        storage->setCredential_forProtectionSpace(credential("cy", "kept"), server("h"));
    }
    auto memory = NSURLCredentialStorage::create();
    memory->setCredential_forProtectionSpace(credential("ann", "new"), server("h"));
    ASSERT_TRUE(memory->setPermanentStoragePath(path));
    auto found = NSURLCredentialStorage::storageWithFile(path)->credentialsForProtectionSpace(server("h"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found["ann"]->password(), "new");
    EXPECT_EQ(found["cy"]->password(), "kept");
}

TEST(CredentialStorage, SharedStorageIsOneObject)
{
    EXPECT_EQ(NSURLCredentialStorage::sharedCredentialStorage(), NSURLCredentialStorage::sharedCredentialStorage());
    EXPECT_EQ(NSURLCredentialStorage::sharedCredentialStorage()->permanentStoragePath(), "");
}

TEST(Credential, EqualityNeverShowsThePassword)
{
    auto a = credential("ann", "secret");
    EXPECT_TRUE(a->isEqual(credential("ann", "secret").get()));
    EXPECT_FALSE(a->isEqual(credential("ann", "other").get()));
    EXPECT_FALSE(a->isEqual(credential("ann", "secret", NSURLCredentialPersistenceForSession).get()));
    EXPECT_EQ(a->description().find("secret"), std::string::npos);
    EXPECT_NE(a->description().find("ann"), std::string::npos);
}

}  // namespace
