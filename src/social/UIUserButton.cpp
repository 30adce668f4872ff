#include "social/UIUserButton.h"

#include "api/Categories.h"

void UIUserButton::setUserInfo(const Value& userInfo)
{
    // Take the new record before the old one goes: the caller may pass the record it got from us.
    Value kept = userInfo;
    userInfo_ = kept;
    SetImageView::setImageWithUrl(self<UIButton>(), userInfo_["icon"]);
}
