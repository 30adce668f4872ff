#pragma once
// Platform exceptions: a C++ exception type carrying the exception's name and reason (and optional
// user info), so callers catch NSException and tests check name() and reason().
#include <exception>
#include <string>

#include "platform/foundation/Value.h"

inline constexpr char NSGenericException[] = "NSGenericException";
inline constexpr char NSRangeException[] = "NSRangeException";
inline constexpr char NSInvalidArgumentException[] = "NSInvalidArgumentException";
inline constexpr char NSInternalInconsistencyException[] = "NSInternalInconsistencyException";
inline constexpr char NSMallocException[] = "NSMallocException";
inline constexpr char NSFileHandleOperationException[] = "NSFileHandleOperationException";

class NSException : public std::exception {
public:
    NSException(std::string name, std::string reason, Value userInfo = Value());

    static NSException exceptionWithName_reason_userInfo(std::string name, std::string reason, Value userInfo)
    {
        return NSException(std::move(name), std::move(reason), std::move(userInfo));
    }
    // Throws a new exception with this name and reason.
    [[noreturn]] static void raise(std::string name, std::string reason);
    // Throws this exception.
    [[noreturn]] void raise() const { throw *this; }

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const Value& userInfo() const { return userInfo_; }
    // "name: reason"
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::string name_;
    std::string reason_;
    Value userInfo_;
    std::string what_;
};

// The platform's assertion: when the condition fails, raises NSInternalInconsistencyException with
// the description (a stringWithFormat format and its arguments, see NSString.h).
#define NSAssert(condition, ...)                                                                           \
    do {                                                                                                   \
        if (!(condition)) {                                                                                \
            NSException::raise(NSInternalInconsistencyException, stringWithFormat(__VA_ARGS__));           \
        }                                                                                                  \
    } while (0)
#define NSParameterAssert(condition)                                                                       \
    do {                                                                                                   \
        if (!(condition)) {                                                                                \
            NSException::raise(NSInternalInconsistencyException, "Invalid parameter not satisfying: " #condition); \
        }                                                                                                  \
    } while (0)
