#pragma once
// The address book: the people of the device's contacts, each with a composite name and phone numbers
// in their stored order, and the user's answer to the question whether the application may read them.
// There is no address book on this machine: the people are a fixture that the application or a test
// installs (setPeople), and the authorisation answer is configured (setAuthorizationStatus). Safe from
// any thread.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

enum ABAuthorizationStatus : int {
    kABAuthorizationStatusNotDetermined = 0,
    kABAuthorizationStatusRestricted = 1,
    kABAuthorizationStatusDenied = 2,
    kABAuthorizationStatusAuthorized = 3,
};

struct ABPerson {
    std::string compositeName;             // ABRecordCopyCompositeName
    std::vector<std::string> phoneNumbers; // kABPersonPhoneProperty, as typed
};

class ABAddressBook : public NSObject {
public:
    // A view of the address book (ABAddressBookCreate); every view reads the one installed fixture.
    static Ref<ABAddressBook> create();

    // ABAddressBookGetAuthorizationStatus.
    static ABAuthorizationStatus authorizationStatus();
    // ABAddressBookRequestAccessWithCompletion: a question not yet answered takes the configured answer
    // for a not-determined status (granted unless set otherwise); the completion runs on the caller's
    // thread with the outcome.
    void requestAccessWithCompletion(const std::function<void(bool granted)>& completion);
    // Every person, in stored order; nobody unless access is authorised.
    std::vector<ABPerson> copyArrayOfAllPeople() const;

    // --- The fixture ---
    static void setPeople(std::vector<ABPerson> people);
    static void setAuthorizationStatus(ABAuthorizationStatus status);
    // What a not-determined question is answered with (true by default).
    static void setAnswerToAccessRequest(bool grant);
    // No people, not determined, requests granted.
    static void reset();

    ABAddressBook() = default;  // use create()
};

// ---- The shared fixture every view reads ------------------------------------------------------------


namespace ABAddressBookFixture {

struct Book {
    std::mutex mutex;
    std::vector<ABPerson> people;
    ABAuthorizationStatus status = kABAuthorizationStatusNotDetermined;
    bool grant = true;
};

// Lives for the whole process.
inline Book& book()
{
    static Book& shared = *new Book;
    return shared;
}

}  // namespace ABAddressBookFixture

inline Ref<ABAddressBook> ABAddressBook::create()
{
    return std::make_shared<ABAddressBook>();
}

inline ABAuthorizationStatus ABAddressBook::authorizationStatus()
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    std::lock_guard lock(shared.mutex);
    return shared.status;
}

inline void ABAddressBook::requestAccessWithCompletion(const std::function<void(bool granted)>& completion)
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    bool granted = false;
    {
        std::lock_guard lock(shared.mutex);
        if (shared.status == kABAuthorizationStatusNotDetermined) {
            shared.status = shared.grant ? kABAuthorizationStatusAuthorized : kABAuthorizationStatusDenied;
        }
        granted = shared.status == kABAuthorizationStatusAuthorized;
    }
    if (completion) {
        completion(granted);
    }
}

inline std::vector<ABPerson> ABAddressBook::copyArrayOfAllPeople() const
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    std::lock_guard lock(shared.mutex);
    if (shared.status != kABAuthorizationStatusAuthorized) {
        return {};
    }
    return shared.people;
}

inline void ABAddressBook::setPeople(std::vector<ABPerson> people)
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    std::lock_guard lock(shared.mutex);
    shared.people = std::move(people);
}

inline void ABAddressBook::setAuthorizationStatus(ABAuthorizationStatus status)
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    std::lock_guard lock(shared.mutex);
    shared.status = status;
}

inline void ABAddressBook::setAnswerToAccessRequest(bool grant)
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    std::lock_guard lock(shared.mutex);
    shared.grant = grant;
}

inline void ABAddressBook::reset()
{
    ABAddressBookFixture::Book& shared = ABAddressBookFixture::book();
    std::lock_guard lock(shared.mutex);
    shared.people.clear();
    shared.status = kABAuthorizationStatusNotDetermined;
    shared.grant = true;
}
