#include "platform/foundation/NSError.h"

#include <cstring>

#include "platform/foundation/NSString.h"

Ref<NSError> NSError::errorWithDomain_code_userInfo(std::string domain, NSInteger code, Value userInfo)
{
    auto error = std::make_shared<NSError>();
    error->initBody();
    error->domain_ = std::move(domain);
    error->code_ = code;
    // The error keeps its own dictionary, as the platform copies the one it is given.
    error->userInfo_ = userInfo.isDictionary() ? userInfo.copy() : Value::dictionary();
    return error;
}

Ref<NSError> NSError::posixError(int error, const std::string& path)
{
    Value info = Value::dictionary({{NSLocalizedDescriptionKey, std::strerror(error)}});
    if (!path.empty()) {
        info.setObject_forKey(path, NSFilePathErrorKey);
    }
    return errorWithDomain_code_userInfo(NSPOSIXErrorDomain, error, info);
}

std::string NSError::localizedDescription() const
{
    const Value description = userInfo_[NSLocalizedDescriptionKey];
    if (description.isString()) {
        return description.string();
    }
    return stringWithFormat("The operation couldn’t be completed. (%@ error %ld.)", domain_, code_);
}

std::string NSError::localizedFailureReason() const
{
    return userInfo_[NSLocalizedFailureReasonErrorKey].stringValue();
}

Ref<NSError> NSError::underlyingError() const
{
    return userInfo_[NSUnderlyingErrorKey].object<NSError>();
}

std::string NSError::description() const
{
    std::string text = stringWithFormat("Error Domain=%@ Code=%ld \"%@\"", domain_, code_, localizedDescription());
    if (userInfo_.count() > 0) {
        text += " UserInfo={";
        bool first = true;
        for (const auto& [key, value] : userInfo_.dictionaryItems()) {
            text += first ? "" : ", ";
            text += key + "=" + value.description();
            first = false;
        }
        text += "}";
    }
    return text;
}

bool NSError::isEqual(const NSObject* other) const
{
    const auto* error = dynamic_cast<const NSError*>(other);
    return error != nullptr && error->domain_ == domain_ && error->code_ == code_ &&
           (error->userInfo_.isEqual(userInfo_) || (error->userInfo_.count() == 0 && userInfo_.count() == 0));
}
