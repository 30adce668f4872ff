#include "social/PossibleKnownCell.h"

#include "api/Categories.h"
#include "api/Tool.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "shell/FeedVC.h"

std::string applicationDisplayName()
{
    return NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleDisplayName").stringValue();
}

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
    // The missing-avatar picture stands in until the person's avatar has arrived.
    head_->setTag(kAvatarButtonTag);
    // Rounded once here: every fill shows a rounded avatar, and rounding adds an overlay each time.
    SetImageView::setRoundRect(head_);
    title_ = UILabel::initWithFrame(CGRectMake(58, 8, 184, 20));
    title_->setFont(UIFont::boldSystemFontOfSize(15));
    title_->setBackgroundColor(UIColor::clearColor());
    detail_ = UILabel::initWithFrame(CGRectMake(58, 30, 184, 16));
    detail_->setFont(UIFont::systemFontOfSize(12));
    detail_->setTextColor(UIColor::darkGrayColor());
    detail_->setBackgroundColor(UIColor::clearColor());
    add_ = UIButton::buttonWithType(UIButtonTypeCustom);
    add_->setFrame(CGRectMake(250, 13, 60, 28));
    add_->setHidden(true);
    contentView()->addSubview(head_);
    contentView()->addSubview(title_);
    contentView()->addSubview(detail_);
    contentView()->addSubview(add_);
}

void PossibleKnownCell::fullfillWithInfo(const Value& info)
{
    const Value user = info["user"];
    title_->setText(user["nick"].stringValue());
    const std::string message = info["msg"].stringValue();
    detail_->setText(!message.empty() ? message : stringWithFormat("%@个粉丝", user["fansCnt"]));
    head_->setUserInfo(user);
    head_->setUserInteractionEnabled(false);
    Tool::setButtonStatus_withRelation(add_, info["relation"].intValue());
}

void PossibleKnownCell::fullfillWithInfoOutside(const Value& info)
{
    const Value weibo = info["weibo"];
    title_->setText(weibo["nick"].stringValue());
    SetImageView::setImageWithUrl(head_, weibo["icon"]);
    head_->setUserInteractionEnabled(false);
    const int relation = info["relation"].intValue();
    Tool::setButtonStatus_withRelation(add_, relation);
    const std::string name = applicationDisplayName();
    if (relation == -1) {
        detail_->setText(stringWithFormat("还没注册%@账号", name));
    } else if (info["user"].isDictionary()) {
        detail_->setText(info["user"]["nick"].stringValue());
    } else {
        detail_->setText(stringWithFormat("已经在使用%@", name));
    }
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
    head_->setUserInteractionEnabled(true);
    head_->setUserInfo(user);
    add_->setHidden(true);
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
