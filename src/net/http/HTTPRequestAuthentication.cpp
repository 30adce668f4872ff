// Authentication: credentials presented before a challenge, answers to 401 and 407 challenges, the
// session credential stores, the platform's credential storage, and asking the delegate or the dialog.
//
// Every step runs on the request's thread under its cancelledLock. One request at a time looks for or
// asks for credentials (delegateAuthenticationLock), so a request that waited for the lock finds the
// credentials another one has just stored in the session store instead of asking again.
#include <atomic>
#include <mutex>

#include "net/http/HTTPAuthenticationDialog.h"
#include "net/http/HTTPCacheDelegate.h"
#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestShared.h"
#include "platform/cfnetwork/NSURLCredentialStorage.h"
#include "platform/cfnetwork/NSURLProtectionSpace.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/Perform.h"

namespace {

// Host, port (absent or equal) and scheme: the place credentials belong to.
bool samePlace(const Ref<NSURL>& a, const Ref<NSURL>& b)
{
    return a && b && NSString::asciiLowercaseString(a->host()) == NSString::asciiLowercaseString(b->host()) && a->port() == b->port() &&
           NSString::asciiLowercaseString(a->scheme()) == NSString::asciiLowercaseString(b->scheme());
}

// The port a protection space names for a URL: its own, else the scheme's.
int spacePort(const Ref<NSURL>& url)
{
    if (auto port = url->port()) {
        return *port;
    }
    return NSString::asciiLowercaseString(url->scheme()) == "https" ? 443 : 80;
}

// The credentials dictionary; the account domain only for a challenge that needs one.
Value credentialDictionary(const std::string& user, const std::string& password, const std::string* domain)
{
    Value credentials = Value::dictionary({{kCFHTTPAuthenticationUsername, Value(user)},
                                           {kCFHTTPAuthenticationPassword, Value(password)}});
    if (domain) {
        credentials.setObject_forKey(Value(*domain), kCFHTTPAuthenticationAccountDomain);
    }
    return credentials;
}

// The account domain of an NTLM user name: the request's domain, else "DOMAIN\name" split at the
// backslash (the name then loses its domain part).
std::string splitAccountDomain(std::string& user, const std::string& domain)
{
    if (!domain.empty()) {
        return domain;
    }
    const size_t slash = user.find('\\');
    if (slash != std::string::npos && user.find('\\', slash + 1) == std::string::npos) {
        std::string accountDomain = user.substr(0, slash);
        user = user.substr(slash + 1);
        return accountDomain;
    }
    return std::string();
}

bool isBadCredentials(const CFStreamError& error)
{
    return error.domain == kCFStreamErrorDomainHTTP && (error.error == kCFStreamErrorHTTPAuthenticationBadUserName ||
                                                        error.error == kCFStreamErrorHTTPAuthenticationBadPassword);
}

// Adds an entry to a store. An entry holding the very same credentials object goes first, and so does
// one for the same place holding equal credentials, so requests that keep presenting the same user
// name and password do not grow the store without end.
void storeEntry(Value& store, const Value& entry, const char* placeKey)
{
    if (store.isNil()) {
        store = Value::array();
    }
    const Value credentials = entry["Credentials"];
    const Value place = entry[placeKey];
    Value kept = Value::array();
    for (const Value& old : store.arrayItems()) {
        const bool sameObject = old["Credentials"].isIdenticalTo(credentials);
        const bool sameValues = old["Credentials"].isEqual(credentials) && old[placeKey].isEqual(place) &&
                                old["Port"] == entry["Port"];
        if (!sameObject && !sameValues) {
            kept.addObject(old);
        }
    }
    kept.addObject(entry);
    store = kept;
}

void removeEntry(Value& store, const Value& credentials)
{
    if (store.isNil() || credentials.isNil()) {
        return;
    }
    const auto& items = store.arrayItems();
    for (NSUInteger i = 0; i < items.size(); ++i) {
        if (items[i]["Credentials"].isIdenticalTo(credentials)) {
            store.removeObjectAtIndex(i);
            return;
        }
    }
}

}  // namespace

// ---- Headers -------------------------------------------------------------------------------------------

std::string HTTPRequest::base64forData(const NSData& theData)
{
    return Base64::encode(theData.view());
}

void HTTPRequest::addBasicAuthenticationHeaderWithUsername_andPassword(const std::string& theUsername,
                                                                       const std::string& thePassword)
{
    const std::string pair = stringWithFormat("%@:%@", theUsername, thePassword);
    addRequestHeader_value("Authorization", stringWithFormat("Basic %@", Base64::encode(pair)));
    setAuthenticationScheme(kCFHTTPAuthenticationSchemeBasic);
}

void HTTPRequest::applyAuthorizationHeader()
{
    // Credentials belong to the place they were given for: a redirect to another host, port or scheme
    // does not take the request's user name, password or "Authorization" header along (credentials
    // given later, for the new place, stay with it).
    Ref<NSURL> theURL = url();
    Ref<NSURL> place = locked(credentialsPlace_);
    if (!place) {
        store(credentialsPlace_, theURL);
    } else if (theURL && !samePlace(place, theURL)) {
        store(credentialsPlace_, theURL);
        {
            std::lock_guard lock(propertyLock_);
            requestHeaders_.remove("Authorization");
            username_.clear();
            password_.clear();
            domain_.clear();
            requestCredentials_ = Value();
        }
        if (authenticationScheme() == kCFHTTPAuthenticationSchemeBasic) {
            setAuthenticationScheme(std::string());
        }
    }

    if (!shouldPresentCredentialsBeforeChallenge()) {
        return;
    }
    if (!requestHeaders().contains("Authorization")) {
        const std::string user = username();
        const std::string pass = password();
        if (!user.empty() && !pass.empty() && authenticationScheme() == kCFHTTPAuthenticationSchemeBasic) {
            addBasicAuthenticationHeaderWithUsername_andPassword(user, pass);
        } else if (useSessionPersistence()) {
            const Value credentials = findSessionAuthenticationCredentials();
            if (!credentials.isNil()) {
                if (auto authentication = credentials["Authentication"].object<CFHTTPAuthentication>()) {
                    if (request_ &&
                        CFHTTPMessageApplyCredentialDictionary(request_, authentication, credentials["Credentials"],
                                                               nullptr)) {
                        setAuthenticationScheme(credentials["AuthenticationScheme"].stringValue());
                    } else {
                        removeAuthenticationCredentialsFromSessionStore(credentials["Credentials"]);
                    }
                } else {
                    addBasicAuthenticationHeaderWithUsername_andPassword(
                        credentials["Credentials"][kCFHTTPAuthenticationUsername].stringValue(),
                        credentials["Credentials"][kCFHTTPAuthenticationPassword].stringValue());
                }
            }
        }
    }
    if (useSessionPersistence()) {
        const Value credentials = findSessionProxyAuthenticationCredentials();
        if (!credentials.isNil()) {
            auto authentication = credentials["Authentication"].object<CFHTTPAuthentication>();
            if (!authentication || !request_ ||
                !CFHTTPMessageApplyCredentialDictionary(request_, authentication, credentials["Credentials"],
                                                        nullptr)) {
                removeProxyAuthenticationCredentialsFromSessionStore(credentials["Credentials"]);
            }
        }
    }
}

void HTTPRequest::rememberPresentedBasicCredentials()
{
    if (authenticationNeeded() != 0 || requestAuthentication() || !useSessionPersistence() ||
        authenticationScheme() != kCFHTTPAuthenticationSchemeBasic) {
        return;
    }
    const std::string user = username();
    const std::string pass = password();
    Ref<NSURL> theURL = url();
    if (user.empty() || pass.empty() || !theURL) {
        return;
    }
    Value entry = Value::dictionary({{"Credentials", credentialDictionary(user, pass, nullptr)},
                                     {"URL", Value(theURL)},
                                     {"AuthenticationScheme", Value(kCFHTTPAuthenticationSchemeBasic)}});
    storeAuthenticationCredentialsInSessionStore(entry);
}

// ---- Session stores ------------------------------------------------------------------------------------

Value HTTPRequest::sessionCredentialsStore()
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    if (s.sessionCredentialsStore.isNil()) {
        s.sessionCredentialsStore = Value::array();
    }
    return s.sessionCredentialsStore.copy();  // a snapshot: the store itself only changes under its lock
}

Value HTTPRequest::sessionProxyCredentialsStore()
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    if (s.sessionProxyCredentialsStore.isNil()) {
        s.sessionProxyCredentialsStore = Value::array();
    }
    return s.sessionProxyCredentialsStore.copy();  // a snapshot: the store itself only changes under its lock
}

void HTTPRequest::storeAuthenticationCredentialsInSessionStore(const Value& credentials)
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    storeEntry(s.sessionCredentialsStore, credentials, "URL");
}

void HTTPRequest::storeProxyAuthenticationCredentialsInSessionStore(const Value& credentials)
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    storeEntry(s.sessionProxyCredentialsStore, credentials, "Host");
}

void HTTPRequest::removeAuthenticationCredentialsFromSessionStore(const Value& credentials)
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    removeEntry(s.sessionCredentialsStore, credentials);
}

void HTTPRequest::removeProxyAuthenticationCredentialsFromSessionStore(const Value& credentials)
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    removeEntry(s.sessionProxyCredentialsStore, credentials);
}

void HTTPRequest::clearSession()
{
    Shared& s = shared();
    {
        std::lock_guard lock(*s.sessionCredentialsLock);
        s.sessionCredentialsStore = Value::array();
    }
    setSessionCookies({});
    if (Ref<HTTPCacheDelegate> cache = defaultCache()) {
        cache->clearCachedResponsesForStoragePolicy(CacheForSessionDurationStoragePolicy);
    }
}

Value HTTPRequest::findSessionAuthenticationCredentials()
{
    Ref<NSURL> theURL = url();
    if (!theURL) {
        return Value();
    }
    const std::string realm = authenticationRealm();
    const std::string user = username();
    const std::string pass = password();
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    if (s.sessionCredentialsStore.isNil()) {
        return Value();
    }
    Value closeMatch;
    for (const Value& entry : s.sessionCredentialsStore.arrayItems()) {
        if (!realm.empty() && entry["AuthenticationRealm"].stringValue() != realm) {
            continue;
        }
        if (!user.empty() && !pass.empty()) {
            const Value credentials = entry["Credentials"];
            if (credentials[kCFHTTPAuthenticationUsername].stringValue() != user ||
                credentials[kCFHTTPAuthenticationPassword].stringValue() != pass) {
                continue;
            }
        }
        Ref<NSURL> entryURL = entry["URL"].object<NSURL>();
        if (entryURL && entryURL->isEqual(theURL)) {
            return entry;
        }
        if (closeMatch.isNil() && samePlace(entryURL, theURL)) {
            closeMatch = entry;
        }
    }
    return closeMatch;
}

Value HTTPRequest::findSessionProxyAuthenticationCredentials()
{
    const std::string host = proxyHost();
    const int port = proxyPort();
    if (host.empty()) {
        return Value();
    }
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCredentialsLock);
    if (s.sessionProxyCredentialsStore.isNil()) {
        return Value();
    }
    for (const Value& entry : s.sessionProxyCredentialsStore.arrayItems()) {
        if (NSString::asciiLowercaseString(entry["Host"].stringValue()) == NSString::asciiLowercaseString(host) && entry["Port"].intValue() == port) {
            return entry;
        }
    }
    return Value();
}

// ---- The platform's credential storage -----------------------------------------------------------------

namespace {

Ref<NSURLProtectionSpace> serverSpace(const std::string& host, int port, const std::string& protocol,
                                      const std::string& realm)
{
    return NSURLProtectionSpace::initWithHost_port_protocol_realm_authenticationMethod(
        host, port, NSString::asciiLowercaseString(protocol), realm, NSURLAuthenticationMethodDefault);
}

Ref<NSURLProtectionSpace> proxySpace(const std::string& host, int port, const std::string& realm)
{
    return NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod(
        host, port, NSURLProtectionSpaceHTTPProxy, realm, NSURLAuthenticationMethodDefault);
}

void saveDefault(const Ref<NSURLCredential>& credentials, const Ref<NSURLProtectionSpace>& space)
{
    if (!credentials) {
        return;
    }
    auto permanent = NSURLCredential::credentialWithUser_password_persistence(
        credentials->user(), credentials->password(), NSURLCredentialPersistencePermanent);
    NSURLCredentialStorage::sharedCredentialStorage()->setDefaultCredential_forProtectionSpace(permanent, space);
}

void removeDefault(const Ref<NSURLProtectionSpace>& space)
{
    Ref<NSURLCredentialStorage> storage = NSURLCredentialStorage::sharedCredentialStorage();
    if (Ref<NSURLCredential> credential = storage->defaultCredentialForProtectionSpace(space)) {
        storage->removeCredential_forProtectionSpace(credential, space);
    }
}

}  // namespace

void HTTPRequest::saveCredentials_forHost_port_protocol_realm(const Ref<NSURLCredential>& credentials,
                                                              const std::string& host, int port,
                                                              const std::string& protocol, const std::string& realm)
{
    saveDefault(credentials, serverSpace(host, port, protocol, realm));
}

void HTTPRequest::saveCredentials_forProxy_port_realm(const Ref<NSURLCredential>& credentials,
                                                      const std::string& host, int port, const std::string& realm)
{
    saveDefault(credentials, proxySpace(host, port, realm));
}

Ref<NSURLCredential> HTTPRequest::savedCredentialsForHost_port_protocol_realm(const std::string& host, int port,
                                                                              const std::string& protocol,
                                                                              const std::string& realm)
{
    return NSURLCredentialStorage::sharedCredentialStorage()->defaultCredentialForProtectionSpace(
        serverSpace(host, port, protocol, realm));
}

Ref<NSURLCredential> HTTPRequest::savedCredentialsForProxy_port_protocol_realm(const std::string& host, int port,
                                                                               const std::string&,
                                                                               const std::string& realm)
{
    return NSURLCredentialStorage::sharedCredentialStorage()->defaultCredentialForProtectionSpace(
        proxySpace(host, port, realm));
}

void HTTPRequest::removeCredentialsForHost_port_protocol_realm(const std::string& host, int port,
                                                               const std::string& protocol, const std::string& realm)
{
    removeDefault(serverSpace(host, port, protocol, realm));
}

void HTTPRequest::removeCredentialsForProxy_port_realm(const std::string& host, int port, const std::string& realm)
{
    removeDefault(proxySpace(host, port, realm));
}

// ---- The two sides of authentication -------------------------------------------------------------------

// What sets a proxy's challenge (407) apart from the server's (401). The steps that are the same for
// both read the side's fields, properties and functions from here; where the two really differ (which
// session entries match, where credentials come from and are kept) the side names its own function.
struct HTTPRequest::AuthenticationSide {
    Ref<CFHTTPAuthentication> HTTPRequest::*authentication;  // the challenge object kept for the side
    std::string (HTTPRequest::*scheme)() const;
    void (HTTPRequest::*setScheme)(const std::string&);
    void (HTTPRequest::*setRealm)(const std::string&);
    std::atomic<int> HTTPRequest::*retryCount;  // credentials applied for the side so far
    // The credentials last applied for the side.
    Value (HTTPRequest::*credentials)() const;
    void (HTTPRequest::*setCredentials)(const Value&);
    void (*removeFromSessionStore)(const Value&);
    // The request's own user name, password and account domain for the side (also read from the
    // network queue's main request).
    std::string (HTTPRequest::*username)() const;
    std::string (HTTPRequest::*password)() const;
    std::string (HTTPRequest::*domain)() const;
    // The keychain's credentials for the side's place (nullptr when none).
    Ref<NSURLCredential> (*savedCredentials)(const HTTPRequest&);
    Value (HTTPRequest::*findSessionCredentials)();
    Value (HTTPRequest::*findCredentials)();
    bool (HTTPRequest::*applyCredentials)(const Value&);
    // Whom to ask: the delegate's or queue's message, else the block; then the dialog when allowed.
    const char* authenticationNeededSelector;
    BasicBlock HTTPRequest::*authenticationNeededBlock;
    bool (HTTPRequest::*shouldPresentDialog)() const;
    const char* applyFailure;  // the description of code 7 when credentials cannot be applied
};

namespace {

Ref<NSURLCredential> savedServerCredentials(const HTTPRequest& request)
{
    Ref<NSURL> theURL = request.url();
    if (!theURL) {
        return nullptr;
    }
    return HTTPRequest::savedCredentialsForHost_port_protocol_realm(theURL->host(), spacePort(theURL), theURL->scheme(),
                                                                    request.authenticationRealm());
}

Ref<NSURLCredential> savedProxyCredentials(const HTTPRequest& request)
{
    return HTTPRequest::savedCredentialsForProxy_port_protocol_realm(request.proxyHost(), request.proxyPort(), "http",
                                                                     request.proxyAuthenticationRealm());
}

// Credentials as the keychain keeps them.
Ref<NSURLCredential> permanentCredential(const Value& credentials)
{
    return NSURLCredential::credentialWithUser_password_persistence(
        credentials[kCFHTTPAuthenticationUsername].stringValue(),
        credentials[kCFHTTPAuthenticationPassword].stringValue(), NSURLCredentialPersistencePermanent);
}

}  // namespace

const HTTPRequest::AuthenticationSide HTTPRequest::kServerSide{
    .authentication = &HTTPRequest::requestAuthentication_,
    .scheme = &HTTPRequest::authenticationScheme,
    .setScheme = &HTTPRequest::setAuthenticationScheme,
    .setRealm = &HTTPRequest::setAuthenticationRealm,
    .retryCount = &HTTPRequest::authenticationRetryCount_,
    .credentials = &HTTPRequest::requestCredentials,
    .setCredentials = &HTTPRequest::setRequestCredentials,
    .removeFromSessionStore = &HTTPRequest::removeAuthenticationCredentialsFromSessionStore,
    .username = &HTTPRequest::username,
    .password = &HTTPRequest::password,
    .domain = &HTTPRequest::domain,
    .savedCredentials = &savedServerCredentials,
    .findSessionCredentials = &HTTPRequest::findSessionAuthenticationCredentials,
    .findCredentials = &HTTPRequest::findCredentials,
    .applyCredentials = &HTTPRequest::applyCredentials,
    .authenticationNeededSelector = kHTTPAuthenticationNeededSelector,
    .authenticationNeededBlock = &HTTPRequest::authenticationNeededBlock_,
    .shouldPresentDialog = &HTTPRequest::shouldPresentAuthenticationDialog,
    .applyFailure = "Failed to apply credentials to request",
};

const HTTPRequest::AuthenticationSide HTTPRequest::kProxySide{
    .authentication = &HTTPRequest::proxyAuthentication_,
    .scheme = &HTTPRequest::proxyAuthenticationScheme,
    .setScheme = &HTTPRequest::setProxyAuthenticationScheme,
    .setRealm = &HTTPRequest::setProxyAuthenticationRealm,
    .retryCount = &HTTPRequest::proxyAuthenticationRetryCount_,
    .credentials = &HTTPRequest::proxyCredentials,
    .setCredentials = &HTTPRequest::setProxyCredentials,
    .removeFromSessionStore = &HTTPRequest::removeProxyAuthenticationCredentialsFromSessionStore,
    .username = &HTTPRequest::proxyUsername,
    .password = &HTTPRequest::proxyPassword,
    .domain = &HTTPRequest::proxyDomain,
    .savedCredentials = &savedProxyCredentials,
    .findSessionCredentials = &HTTPRequest::findSessionProxyAuthenticationCredentials,
    .findCredentials = &HTTPRequest::findProxyCredentials,
    .applyCredentials = &HTTPRequest::applyProxyCredentials,
    .authenticationNeededSelector = kHTTPProxyAuthenticationNeededSelector,
    .authenticationNeededBlock = &HTTPRequest::proxyAuthenticationNeededBlock_,
    .shouldPresentDialog = &HTTPRequest::shouldPresentProxyAuthenticationDialog,
    .applyFailure = "Failed to apply proxy credentials to request",
};

// ---- Finding and applying credentials ------------------------------------------------------------------

Value HTTPRequest::findCredentials()
{
    Ref<NSURL> theURL = url();
    if (!theURL) {
        return Value();
    }
    // A user name written into the URL comes before the main request's and the request's own.
    return findCredentials(kServerSide, theURL->user(), theURL->password());
}

Value HTTPRequest::findProxyCredentials()
{
    return findCredentials(kProxySide, std::string(), std::string());
}

Value HTTPRequest::findCredentials(const AuthenticationSide& side, std::string user, std::string pass)
{
    Ref<HTTPRequest> theMainRequest = mainRequest();
    if (user.empty()) {
        if (theMainRequest && !((*theMainRequest).*side.username)().empty()) {
            user = ((*theMainRequest).*side.username)();
            pass = ((*theMainRequest).*side.password)();
        } else {
            user = (this->*side.username)();
            pass = (this->*side.password)();
        }
    }
    if ((user.empty() || pass.empty()) && useKeychainPersistence()) {
        if (Ref<NSURLCredential> saved = side.savedCredentials(*this)) {
            user = saved->user();
            pass = saved->password();
        }
    }
    std::string accountDomain;
    Ref<CFHTTPAuthentication> authentication = locked(this->*side.authentication);
    const bool needsDomain = authentication && authentication->requiresAccountDomain();
    if (needsDomain) {
        const std::string domainGiven = theMainRequest ? ((*theMainRequest).*side.domain)() : (this->*side.domain)();
        accountDomain = splitAccountDomain(user, domainGiven);
    }
    if (user.empty() || pass.empty()) {
        return Value();
    }
    return credentialDictionary(user, pass, needsDomain ? &accountDomain : nullptr);
}

Ref<CFHTTPAuthentication> HTTPRequest::applyCredentialsToMessage(const AuthenticationSide& side,
                                                                 const Value& newCredentials)
{
    ++(this->*side.retryCount);
    Ref<CFHTTPAuthentication> authentication = locked(this->*side.authentication);
    if (newCredentials.isNil() || !authentication || !request_) {
        return nullptr;
    }
    if (!CFHTTPMessageApplyCredentialDictionary(request_, authentication, newCredentials, nullptr)) {
        side.removeFromSessionStore(newCredentials);
        return nullptr;
    }
    return authentication;
}

bool HTTPRequest::applyCredentials(const Value& newCredentials)
{
    Ref<CFHTTPAuthentication> authentication = applyCredentialsToMessage(kServerSide, newCredentials);
    if (!authentication) {
        return false;
    }
    Ref<NSURL> theURL = url();
    const std::string realm = authenticationRealm();
    if (useKeychainPersistence()) {
        saveCredentials_forHost_port_protocol_realm(permanentCredential(newCredentials), theURL->host(),
                                                    spacePort(theURL), theURL->scheme(), realm);
    }
    if (useSessionPersistence()) {
        Value entry = Value::dictionary({{"Authentication", Value(authentication)},
                                         {"Credentials", newCredentials},
                                         {"URL", Value(theURL)},
                                         {"AuthenticationScheme", Value(authenticationScheme())}});
        if (!realm.empty()) {
            entry.setObject_forKey(Value(realm), "AuthenticationRealm");
        }
        storeAuthenticationCredentialsInSessionStore(entry);
    }
    setRequestCredentials(newCredentials);
    return true;
}

bool HTTPRequest::applyProxyCredentials(const Value& newCredentials)
{
    Ref<CFHTTPAuthentication> authentication = applyCredentialsToMessage(kProxySide, newCredentials);
    if (!authentication) {
        return false;
    }
    if (useKeychainPersistence()) {
        saveCredentials_forProxy_port_realm(permanentCredential(newCredentials), proxyHost(), proxyPort(),
                                            proxyAuthenticationRealm());
    }
    if (useSessionPersistence()) {
        Value entry = Value::dictionary({{"Authentication", Value(authentication)},
                                         {"Credentials", newCredentials},
                                         {"Host", Value(proxyHost())},
                                         {"Port", Value(static_cast<long long>(proxyPort()))},
                                         {"AuthenticationScheme", Value(proxyAuthenticationScheme())}});
        storeProxyAuthenticationCredentialsInSessionStore(entry);
    }
    setProxyCredentials(newCredentials);
    return true;
}

// ---- Answering a challenge -----------------------------------------------------------------------------

void HTTPRequest::attemptToApplyCredentialsAndResume()
{
    auto keep = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    if (error() || cancelledFlag_) {
        return;
    }
    attemptToApplyCredentialsAndResume(authenticationNeeded() == 2 ? kProxySide : kServerSide);
}

void HTTPRequest::attemptToApplyCredentialsAndResume(const AuthenticationSide& side)
{
    Ref<CFHTTPReadStream> stream = readStream();
    Ref<CFHTTPAuthentication> authentication = locked(this->*side.authentication);
    if (!authentication) {
        Ref<CFHTTPMessage> response = stream ? stream->copyResponseHeader() : nullptr;
        authentication = response ? CFHTTPAuthentication::createFromResponse(response) : nullptr;
        if (!authentication) {
            cancelLoad();
            failWithError(HTTPRequestError(HTTPErrorApplyingCredentials,
                                           "Failed to get authentication object from response headers"));
            return;
        }
        store(this->*side.authentication, authentication);
        (this->*side.setScheme)(authentication->copyMethod());
    }
    (this->*side.setRealm)(std::string());
    if (!authentication->requiresAccountDomain()) {
        (this->*side.setRealm)(authentication->copyRealm());
    }

    Shared& s = shared();
    CFStreamError validity;
    if (!authentication->isValid(&validity)) {
        store(this->*side.authentication, nullptr);
        if (isBadCredentials(validity)) {
            std::unique_lock delegateLock(*s.delegateAuthenticationLock);
            // The credentials just presented are wrong: nobody may use them again.
            side.removeFromSessionStore((this->*side.credentials)());
            (this->*side.setCredentials)(Value());
            if (error() || cancelledFlag_) {
                return;
            }
            if (useSessionPersistence()) {
                const Value credentials = (this->*side.findSessionCredentials)();
                if (!credentials.isNil()) {
                    // Other credentials that worked meanwhile, answered with a fresh object for this
                    // challenge (the refused one can apply nothing).
                    Ref<CFHTTPMessage> response = stream ? stream->copyResponseHeader() : nullptr;
                    store(this->*side.authentication,
                          response ? CFHTTPAuthentication::createFromResponse(response) : nullptr);
                    if ((this->*side.applyCredentials)(credentials["Credentials"])) {
                        delegateLock.unlock();
                        cancelLoad();
                        startRequest();
                        return;
                    }
                    store(this->*side.authentication, nullptr);
                }
            }
            setLastActivityTime(std::nullopt);
            // While someone is asked, the request counts as running, so a cancel still ends it.
            complete_ = false;
            if (willAskDelegateForCredentials(side) || showAuthenticationDialog(side)) {
                return;  // the lock is released; the answer comes through retryUsingSuppliedCredentials
            }
        }
        cancelLoad();
        failWithError(HTTPAuthenticationError());
        return;
    }

    cancelLoad();
    const Value applied = (this->*side.credentials)();
    if (applied.isNil()) {
        if (!authentication->requiresUserNameAndPassword()) {
            // Nothing can be asked for such a challenge: it ends the request like one nobody answers.
            failWithError(HTTPAuthenticationError());
            return;
        }
        std::unique_lock delegateLock(*s.delegateAuthenticationLock);
        if (error() || cancelledFlag_) {
            return;
        }
        if (useSessionPersistence()) {
            const Value credentials = (this->*side.findSessionCredentials)();
            if (!credentials.isNil() && (this->*side.applyCredentials)(credentials["Credentials"])) {
                delegateLock.unlock();
                startRequest();
                return;
            }
        }
        const Value newCredentials = (this->*side.findCredentials)();
        if (!newCredentials.isNil()) {
            if ((this->*side.applyCredentials)(newCredentials)) {
                delegateLock.unlock();
                startRequest();
                return;
            }
            delegateLock.unlock();
            failWithError(HTTPRequestError(HTTPErrorApplyingCredentials, side.applyFailure));
            return;
        }
        setLastActivityTime(std::nullopt);
        // While someone is asked, the request counts as running, so a cancel still ends it.
        complete_ = false;
        if (willAskDelegateForCredentials(side) || showAuthenticationDialog(side)) {
            return;
        }
        delegateLock.unlock();
        failWithError(HTTPAuthenticationError());
        return;
    }

    const bool ntlm = (this->*side.scheme)() == kCFHTTPAuthenticationSchemeNTLM;
    if (!(ntlm && this->*side.retryCount >= 2)) {
        if ((this->*side.applyCredentials)(applied)) {
            startRequest();
            return;
        }
    }
    if (ntlm && this->*side.retryCount == 2) {
        failWithError(HTTPAuthenticationError());
        return;
    }
    failWithError(HTTPRequestError(HTTPErrorApplyingCredentials, side.applyFailure));
}

// ---- Asking someone ------------------------------------------------------------------------------------

bool HTTPRequest::willAskDelegateForCredentials(const AuthenticationSide& side)
{
    if (isSynchronous()) {
        return false;  // nobody can answer while the caller's thread waits
    }
    Ref<HTTPRequestDelegate> receiver = delegate();
    if (!receiver) {
        receiver = queue();
    }
    bool hasBlock = false;
    {
        std::lock_guard lock(receiversLock_);
        hasBlock = static_cast<bool>(this->*side.authenticationNeededBlock);
    }
    if ((receiver && receiver->respondsToSelector(side.authenticationNeededSelector)) || hasBlock) {
        auto request = self<HTTPRequest>();
        const AuthenticationSide* asked = &side;  // the sides live for the whole process
        performSelectorOnMainThread([request, asked] { request->askDelegateForCredentials(*asked); }, false);
        return true;
    }
    return false;
}

void HTTPRequest::askDelegateForCredentials(const AuthenticationSide& side)
{
    Ref<HTTPRequestDelegate> receiver = delegate();
    if (!receiver) {
        receiver = queue();
    }
    if (receiver && receiver->respondsToSelector(side.authenticationNeededSelector)) {
        receiver->performRequestSelector(side.authenticationNeededSelector, self<HTTPRequest>(), {});
        return;
    }
    BasicBlock block;
    {
        std::lock_guard lock(receiversLock_);
        block = this->*side.authenticationNeededBlock;
    }
    if (block) {
        block();
        return;
    }
    // Whoever was to answer has gone meanwhile (delegates cleared): nobody ever will.
    cancelAuthentication();
}

bool HTTPRequest::showAuthenticationDialog(const AuthenticationSide& side)
{
    if (isSynchronous() || !(this->*side.shouldPresentDialog)()) {
        return false;
    }
    auto request = self<HTTPRequest>();
    performSelectorOnMainThread([request] { HTTPAuthenticationDialog::presentAuthenticationDialogForRequest(request); },
                                NSThread::isMainThread());
    return true;
}

void HTTPRequest::retryUsingSuppliedCredentials()
{
    performOnRequestThread([](HTTPRequest& request) {
        std::lock_guard lock(*request.cancelledLock_);
        if (request.error() || request.cancelledFlag_) {
            return;
        }
        if (!request.request_) {
            request.main();  // the URL changed meanwhile: a new message is needed
        } else {
            request.attemptToApplyCredentialsAndResume();
        }
    });
}

void HTTPRequest::cancelAuthentication()
{
    performOnRequestThread([](HTTPRequest& request) {
        std::lock_guard lock(*request.cancelledLock_);
        if (request.error() || request.cancelledFlag_) {
            return;
        }
        request.cancelLoad();
        request.failWithError(HTTPAuthenticationError());
    });
}
