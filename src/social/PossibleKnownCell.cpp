#include "social/PossibleKnownCell.h"

#include "api/Tool.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "shell/FeedVC.h"

Ref<PossibleKnownCell> PossibleKnownCell::create(const std::string& reuseIdentifier)
{
    return makeWithStyle<PossibleKnownCell>(UITableViewCellStyleDefault, reuseIdentifier);
}

void PossibleKnownCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyle style,
                                                          const std::string& reuseIdentifier)
{
    UITableViewCell::initWithStyle_reuseIdentifierBody(style, reuseIdentifier);
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    head_ = UIUserButton::initWithFrame(CGRectMake(8, 7, 40, 40));
    title_ = UILabel::initWithFrame(CGRectMake(58, 8, 200, 20));
    title_->setFont(UIFont::boldSystemFontOfSize(15));
    title_->setBackgroundColor(UIColor::clearColor());
    detail_ = UILabel::initWithFrame(CGRectMake(58, 30, 200, 16));
    detail_->setFont(UIFont::systemFontOfSize(12));
    detail_->setTextColor(UIColor::darkGrayColor());
    detail_->setBackgroundColor(UIColor::clearColor());
    contentView()->addSubview(head_);
    contentView()->addSubview(title_);
    contentView()->addSubview(detail_);
}

void PossibleKnownCell::fullfillWithVisitInfo_andNavi(const Value& info, const Ref<UINavigationController>& navigation)
{
    navigationController_ = navigation;
    const Value user = info["user"];
    title_->setText(user["nick"].stringValue());
    Control_removeAllTarget(head_, "viewProfile:");
    head_->addTarget_action_forControlEvents(self<NSObject>(),
                                             UIControlAction::make("viewProfile:", &PossibleKnownCell::viewProfile),
                                             UIControlEventTouchUpInside);
    head_->setUserInfo(user);
    detail_->setText("来过这里" + std::to_string(info["count"].intValue()) + "次");
}

void PossibleKnownCell::viewProfile(const Ref<UIUserButton>& sender)
{
    auto navigation = navigationController_.lock();
    if (!sender || !navigation) {
        return;
    }
    navigation->pushViewController_animated(FeedVC::myinitWithType_andSuid(10, sender->userInfo()["suid"]), true);
}
