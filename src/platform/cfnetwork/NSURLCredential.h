#pragma once
// A user name and password, and how long they may be kept.
//
//   +credentialWithUser:password:persistence:     NSURLCredential::credentialWithUser_password_persistence
//   -initWithUser:password:persistence:           NSURLCredential::initWithUser_password_persistence
//   -user, -password, -hasPassword, -persistence
#include <string>

#include "platform/foundation/NSObject.h"

enum NSURLCredentialPersistence {
    NSURLCredentialPersistenceNone = 0,        // used once, never stored
    NSURLCredentialPersistenceForSession = 1,  // kept in memory for the life of the process
    NSURLCredentialPersistencePermanent = 2,   // kept in the storage's file, when it has one
    NSURLCredentialPersistenceSynchronizable = 3,  // treated as permanent (there is nothing to synchronise with)
};

class NSURLCredential : public NSObject {
public:
    static Ref<NSURLCredential> credentialWithUser_password_persistence(std::string user, std::string password,
                                                                       NSURLCredentialPersistence persistence);
    static Ref<NSURLCredential> initWithUser_password_persistence(std::string user, std::string password,
                                                                 NSURLCredentialPersistence persistence)
    {
        return credentialWithUser_password_persistence(std::move(user), std::move(password), persistence);
    }

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    bool hasPassword() const { return true; }
    NSURLCredentialPersistence persistence() const { return persistence_; }

    // Equal user, password and persistence.
    bool isEqual(const NSObject* other) const override;
    // "<NSURLCredential: 0x...>: user" (never the password).
    std::string description() const override;

    NSURLCredential() = default;  // use the factories

private:
    std::string user_;
    std::string password_;
    NSURLCredentialPersistence persistence_ = NSURLCredentialPersistenceNone;
};
