#include "platform/cfnetwork/NSURLCredential.h"

Ref<NSURLCredential> NSURLCredential::credentialWithUser_password_persistence(std::string user, std::string password,
                                                                             NSURLCredentialPersistence persistence)
{
    auto credential = std::make_shared<NSURLCredential>();
    credential->user_ = std::move(user);
    credential->password_ = std::move(password);
    credential->persistence_ = persistence;
    return credential;
}

bool NSURLCredential::isEqual(const NSObject* other) const
{
    auto* that = dynamic_cast<const NSURLCredential*>(other);
    return that && that->user_ == user_ && that->password_ == password_ && that->persistence_ == persistence_;
}

std::string NSURLCredential::description() const
{
    return NSObject::description() + ": " + user_;
}
