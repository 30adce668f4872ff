#include "social/MessageCell.h"

#include <algorithm>
#include <cmath>

#include "api/Categories.h"
#include "api/RecordAccessors.h"
#include "net/webimage/UIImageViewWebCache.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIStringDrawing.h"
#include "shell/FeedVC.h"

namespace {
namespace MessageCell_cpp {

constexpr CGRect kHeadFrame = {{10, 10}, {35, 35}};
// The text wraps beside the cover when there is one.
constexpr CGFloat kTextWidthWithCover = 175;
constexpr CGFloat kTextWidth = 240;
constexpr CGFloat kUnlimitedHeight = 2147483648.0;

bool hasCover(const Value& info)
{
    return !Message_getCover(info).isNilOrNull();
}

CGSize textSize(const Value& info)
{
    const CGFloat width = hasCover(info) ? kTextWidthWithCover : kTextWidth;
    return UIStringDrawing::sizeWithFont_constrainedToSize(Message_getContent(info).stringValue(), getContentFont(),
                                                           CGSizeMake(width, kUnlimitedHeight));
}

}  // namespace MessageCell_cpp
}  // namespace

Ref<UIFont> getContentFont()
{
    return UIFont::boldSystemFontOfSize(14);
}

Ref<UIFont> getTextFont()
{
    return UIFont::systemFontOfSize(12);
}

Ref<MessageCell> MessageCell::initWithStyle_reuseIdentifier(UITableViewCellStyle style,
                                                            const std::string& reuseIdentifier)
{
    return makeWithStyle<MessageCell>(style, reuseIdentifier);
}

void MessageCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier)
{
    using namespace MessageCell_cpp;
    UITableViewCell::initWithStyle_reuseIdentifierBody(style, reuseIdentifier);
    const Ref<UIView> root = contentView();

    head_ = UIButton::buttonWithType(UIButtonTypeCustom);
    head_->setFrame(kHeadFrame);
    // The avatar button's placeholder is the missing avatar.
    head_->setTag(1001);
    // Rounded once: the rounding lays a frame picture over the button, which every refill would
    // otherwise stack again.
    SetImageView::setRoundRect(head_);
    root->addSubview(head_);

    content_ = UILabel::initWithFrame(CGRectZero);
    content_->setFont(getContentFont());
    content_->setNumberOfLines(0);
    content_->setBackgroundColor(UIColor::clearColor());
    root->addSubview(content_);

    time_ = UILabel::initWithFrame(CGRectZero);
    time_->setFont(getTextFont());
    time_->setTextColor(UIColor::grayColor());
    time_->setBackgroundColor(UIColor::clearColor());
    root->addSubview(time_);

    const Ref<UIImage> frame = UIImage::imageNamed("activity-photo-frame.png");  // missing in a damaged install
    videoCoverBkg_ = UIImageView::initWithImage(frame ? frame->stretchableImageWithLeftCapWidth_topCapHeight(4, 4) : nullptr);
    root->addSubview(videoCoverBkg_);

    videoCover_ = UIImageView::initWithFrame(CGRectZero);
    root->addSubview(videoCover_);
}

CGFloat MessageCell::getHeight(const Value& info)
{
    const CGSize size = MessageCell_cpp::textSize(info);
    return std::floor(10 + std::max(size.height + 15, CGFloat(35))) + 10;
}

void MessageCell::fullfillWithInfo_andNavi(const Value& info, const Ref<UINavigationController>& navi)
{
    using namespace MessageCell_cpp;
    navigationController_ = navi;
    information_ = info;

    head_->setFrame(kHeadFrame);
    SetImageView::setImageWithUrl(head_, info["user"]["icon"]);
    head_->addTarget_action_forControlEvents(self<MessageCell>(),
                                             UIControlAction::make("viewMainpage", &MessageCell::viewMainpage),
                                             UIControlEventTouchUpInside);
    if (info["mark"].isNilOrNull()) {
        SetImageView::setEmotionHidden(head_);
    } else {
        SetImageView::setEmotion2(head_, Message_getMark(info));
    }

    const CGSize size = textSize(info);
    const CGRect headFrame = head_->frame();
    NSLog("%f", headFrame.origin.y + 5);
    content_->setFrame(CGRectMake(headFrame.origin.x + headFrame.size.width + 10, headFrame.origin.y + 5,
                                  size.width, size.height));
    content_->setText(Message_getContent(info).stringValue());
    const CGRect text = content_->frame();
    time_->setFrame(CGRectMake(text.origin.x, text.origin.y + text.size.height, 100, 15));
    time_->setText(Message_getCreateTime(info));

    const Value channel = info["channel"];
    const bool landscape = channel["ext"]["w"].doubleValue() > channel["ext"]["h"].doubleValue();
    const int width = landscape ? 40 : 30;
    const int height = landscape ? 30 : 40;
    const Value cover = Message_getCover(info);
    if (cover.isNilOrNull()) {
        videoCover_->setHidden(true);
        videoCoverBkg_->setHidden(true);
        WebCache::cancelCurrentImageLoad(videoCover_);
        return;
    }
    videoCover_->setHidden(false);
    videoCoverBkg_->setHidden(false);
    const CGPoint centre = CGPointMake(290 - width / 2, getHeight(info) / 2);
    videoCover_->setBounds(CGRectMake(0, 0, width, height));
    videoCover_->setCenter(centre);
    WebCache::setImageWithURL(videoCover_, NSURL::URLWithString(cover.stringValue()));
    videoCoverBkg_->setBounds(CGRectMake(0, 0, width + 8, height + 8));
    videoCoverBkg_->setCenter(centre);
}

void MessageCell::viewMainpage()
{
    const Ref<UINavigationController> navigation = navigationController();
    if (!navigation) {
        return;
    }
    navigation->pushViewController_animated(FeedVC::myinitWithType_andSuid(FeedTypeUser, information_["user"]["suid"]),
                                            true);
}

void MessageCell::setSelected_animated(bool selected, bool animated)
{
    UITableViewCell::setSelected_animated(selected, animated);
}
