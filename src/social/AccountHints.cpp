#include "social/AccountHints.h"

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIAlertView.h"

std::string OmbriAcountHint(bool error)
{
    return stringWithFormat(error ? "用户名错误：%d-%d位英文、数字和下划线" : "%d-%d位英文、数字和下划线",
                            kAcountMinLength, kAcountMaxLength);
}

std::string OmbriPasswordHint(bool error)
{
    return stringWithFormat(error ? "密码错误：%d-%d位大小写英文、数字和符号" : "%d-%d位大小写英文、数字和符号",
                            kPasswordMinLength, kPasswordMaxLength);
}

std::optional<std::string> accountFormError(const std::string& account, const std::string& password)
{
    const auto accountLength = NSString::length(account);
    if (accountLength < NSUInteger(kAcountMinLength) || accountLength > NSUInteger(kAcountMaxLength)) {
        return OmbriAcountHint(true);
    }
    const auto passwordLength = NSString::length(password);
    if (passwordLength < NSUInteger(kPasswordMinLength) || passwordLength > NSUInteger(kPasswordMaxLength)) {
        return OmbriPasswordHint(true);
    }
    return std::nullopt;
}

void showPromptAlert(const std::string& message)
{
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", message, nullptr, "确定")
        ->show();
}
