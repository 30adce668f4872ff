#pragma once
// NSError: a domain, a code and a user-info dictionary (description, failure reason, underlying error).
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

inline constexpr char NSLocalizedDescriptionKey[] = "NSLocalizedDescription";
inline constexpr char NSLocalizedFailureReasonErrorKey[] = "NSLocalizedFailureReason";
inline constexpr char NSUnderlyingErrorKey[] = "NSUnderlyingError";
inline constexpr char NSFilePathErrorKey[] = "NSFilePath";
inline constexpr char NSCocoaErrorDomain[] = "NSCocoaErrorDomain";
inline constexpr char NSPOSIXErrorDomain[] = "NSPOSIXErrorDomain";

class NSError : public NSObject {
public:
    static Ref<NSError> errorWithDomain_code_userInfo(std::string domain, NSInteger code, Value userInfo = Value());
    static Ref<NSError> initWithDomain_code_userInfo(std::string domain, NSInteger code, Value userInfo = Value())
    {
        return errorWithDomain_code_userInfo(std::move(domain), code, std::move(userInfo));
    }
    // An error of NSPOSIXErrorDomain for an errno value, with strerror's text as its description and
    // the path, when given, under NSFilePathErrorKey.
    static Ref<NSError> posixError(int error, const std::string& path = std::string());

    const std::string& domain() const { return domain_; }
    NSInteger code() const { return code_; }
    // Always a dictionary (empty when none was given).
    const Value& userInfo() const { return userInfo_; }
    // userInfo[NSLocalizedDescriptionKey], else "The operation couldn’t be completed. (domain error code.)"
    std::string localizedDescription() const;
    // userInfo[NSLocalizedFailureReasonErrorKey] or "".
    std::string localizedFailureReason() const;
    // userInfo[NSUnderlyingErrorKey] when it is an NSError.
    Ref<NSError> underlyingError() const;

    // "Error Domain=D Code=N "description" UserInfo={...}"
    std::string description() const override;
    // Same domain, code and user info.
    bool isEqual(const NSObject* other) const override;

private:
    std::string domain_;
    NSInteger code_ = 0;
    Value userInfo_;
};
