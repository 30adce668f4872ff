#include "platform/foundation/NSException.h"

NSException::NSException(std::string name, std::string reason, Value userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)), what_(name_ + ": " + reason_)
{
}

void NSException::raise(std::string name, std::string reason)
{
    throw NSException(std::move(name), std::move(reason));
}
