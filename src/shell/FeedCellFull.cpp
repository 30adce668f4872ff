#include "shell/FeedCellFull.h"

#include <algorithm>
#include <cmath>

#include "api/Categories.h"
#include "api/RecordAccessors.h"
#include "api/Tool.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "shell/FeedViews.h"
#include "shell/UploadControl.h"
#include "social/UIUserButton.h"

namespace {
namespace FeedCellFull_cpp {

constexpr CGFloat kHeadShift = 40;

// The sentence's width: 200 points beside the author's avatar, 250 without it.
int sentenceWidth(bool haveHead) { return haveHead ? 200 : 250; }
CGFloat sentenceX(bool haveHead) { return haveHead ? 100 : 50; }
// The rows under a video: their x and width, and the text width inside a row.
CGFloat rowX(bool haveHead) { return haveHead ? 90 : 50; }
CGFloat rowWidth(bool haveHead) { return haveHead ? 220 : 260; }
CGFloat rowTextWidth(bool haveHead) { return haveHead ? 170 : 210; }

CGRect shiftedLeftWithoutHead(CGRect frame, bool haveHead)
{
    if (!haveHead) {
        frame.origin.x -= kHeadShift;
    }
    return frame;
}

CGFloat bottom(const Ref<UIView>& view) { return CGRectGetMaxY(view->frame()); }

// The sentence's height: at least 35 points.
CGFloat sentenceHeight(const Value& text, bool haveHead)
{
    return std::max<CGFloat>(35, FeedCellFull::heightForText_width_font(text, sentenceWidth(haveHead), CommentFont()));
}

// A caption or comment row's text block: at least the avatar's 25 points, whole points.
CGFloat rowTextBlock(const Value& text, bool haveHead)
{
    const CGFloat measured = FeedCellFull::heightForText_width_font(text, rowTextWidth(haveHead), SubCommentFont()) +
                             SubCommentFont()->lineHeight();
    return std::floor(std::max<CGFloat>(25, measured));
}

std::string forwardText(const Value& item) { return stringWithFormat("转发 %@", item["content"]); }

Ref<UIImage> photoFrameImage(NSInteger leftCap, NSInteger topCap)
{
    const Ref<UIImage> image = UIImage::imageNamed("activity-photo-frame.png");
    return image ? image->stretchableImageWithLeftCapWidth_topCapHeight(leftCap, topCap) : nullptr;
}

}  // namespace FeedCellFull_cpp
}  // namespace

// ---- Layout functions -----------------------------------------------------------------------------------

CGRect FromUserFrame() { return CGRectMake(10, 10, 35, 35); }
CGRect ToUserBkgFrame() { return CGRectMake(58, 13, 30, 30); }
CGRect ToUserFrame() { return CGRectMake(61, 15, 24, 24); }
CGRect CommentFrameWithHead() { return CGRectMake(100, 10, 200, 37); }
CGRect CommentFrameNoHead() { return CGRectMake(50, 10, 250, 37); }
CGRect VLineFrameWithHead() { return CGRectMake(72, 0, 3, 55); }
CGRect ChannelPlayerFrameNoHead() { return CGRectMake(10, 10, 300, 208); }
Ref<UIFont> CommentFont() { return UIFont::boldSystemFontOfSize(13); }
Ref<UIFont> SubCommentFont() { return UIFont::boldSystemFontOfSize(13); }

// ---- Construction ------------------------------------------------------------------------------------------

Ref<FeedCellFull> FeedCellFull::myinit_andReuse(const Ref<UINavigationController>& navigationController,
                                                const std::string& reuseIdentifier)
{
    auto cell = std::make_shared<FeedCellFull>();
    cell->myinit_andReuseBody(navigationController, reuseIdentifier);
    return cell;
}

void FeedCellFull::myinit_andReuseBody(const Ref<UINavigationController>& navigationController,
                                       const std::string& reuseIdentifier)
{
    using namespace FeedCellFull_cpp;
    UITableViewCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyleDefault, reuseIdentifier);
    navigationController_ = navigationController;
    localProgress_ = std::make_shared<LocalProgress>();
    localProgress_->cell = weakSelf<FeedCellFull>();
    const Ref<UIView> content = contentView();

    head_ = UIUserButton::initWithFrame(FromUserFrame());
    content->addSubview(head_);
    head_->setHidden(true);
    SetImageView::setRoundRect(head_);

    toUserBkg_ = UIImageView::initWithFrame(ToUserBkgFrame());
    toUserBkg_->setImage(UIImage::imageNamed("round_head_small.png"));
    content->addSubview(toUserBkg_);

    toUserBtn_ = UIUserButton::initWithFrame(ToUserFrame());
    content->addSubview(toUserBtn_);
    toUserBtn_->setHidden(true);
    toUserBtn_->setClipsToBounds(true);
    SetImageView::setToRound(toUserBtn_);

    forwardFlag_ = UIButton::initWithFrame(ToUserFrame());
    content->addSubview(forwardFlag_);
    forwardFlag_->setHidden(true);
    forwardFlag_->setClipsToBounds(true);
    forwardFlag_->setBackgroundImage_forState(UIImage::imageNamed("player-action-button.png"), UIControlStateNormal);
    SetImageView::setToRound(forwardFlag_);

    shareContent_ = UILabel::initWithFrame(CGRectMake(100, 6, 209, 37));
    shareContent_->setNumberOfLines(0);
    shareContent_->setLineBreakMode(UILineBreakModeCharacterWrap);
    shareContent_->setHidden(true);
    shareContent_->setFont(CommentFont());
    shareContent_->setBackgroundColor(UIColor::clearColor());
    content->addSubview(shareContent_);

    playerBkg_ = UIImageView::create();
    content->addSubview(playerBkg_);
    playerBkg_->setHidden(true);

    makePlayer();

    adMain_ = UIView::create();
    adBkg_ = UIImageView::create();
    adMain_->addSubview(adBkg_);
    adBody_ = UIButton::buttonWithType(UIButtonTypeCustom);
    adMain_->addSubview(adBody_);
    adClose_ = UIButton::buttonWithType(UIButtonTypeCustom);
    adMain_->addSubview(adClose_);
    content->addSubview(adMain_);

    // The background: the cell pattern, a light top line, the time line and a dark bottom line.
    const CGRect bounds = this->bounds();
    const Ref<UIView> background = UIView::initWithFrame(bounds);
    background->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    background->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("cell_bkg")));
    const Ref<UIView> topLine = UIView::initWithFrame(CGRectMake(0, 0, 320, 1));
    topLine->setBackgroundColor(UIColor::colorWithWhite_alpha(1, 0.25));
    background->addSubview(topLine);
    vLine_ = UIImageView::initWithFrame(CGRectMake(72, 0, 3, bounds.size.height));
    vLine_->setImage(UIImage::imageNamed("timeline_in_cell.png"));
    vLine_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    background->addSubview(vLine_);
    specialBottomLine_ = UIView::initWithFrame(CGRectMake(0, bounds.size.height - 1, 320, 1));
    specialBottomLine_->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.04));
    background->addSubview(specialBottomLine_);
    setBackgroundView(background);

    localMediaUploadingCover_ = UIView::initWithFrame(content->frame());
    localMediaUploadingCover_->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.5));
    localMediaUploadingCover_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                                  UIViewAutoresizingFlexibleHeight);
    content->addSubview(localMediaUploadingCover_);

    registerFeedViews();
    const std::vector<Ref<NSObject>> commonViews = UINibRegistry::instantiate("CommonViews", nullptr);
    if (commonViews.size() > 6) {
        localUploadControl_ = std::dynamic_pointer_cast<UploadControl>(commonViews[6]);
    }
    if (localUploadControl_) {
        content->addSubview(localUploadControl_);
        localUploadControl_->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.8));
    }

    // Engine threads deliver "updateui": the handler touches only the shared progress state, never the
    // cell itself, so the cell is held (and released) on the main thread alone.
    std::shared_ptr<LocalProgress> progress = localProgress_;
    updateObserver_ = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
        "updateui", Value(), [progress](const Ref<NSNotification>&) { progressChangedFor(progress); });
    setSelectionStyle(UITableViewCellSelectionStyleNone);
}

FeedCellFull::~FeedCellFull()
{
    if (updateObserver_) {
        NSNotificationCenter::defaultCenter()->removeObserver(updateObserver_);
    }
    info_ = Value();
}

// ---- Showing a feed item ---------------------------------------------------------------------------------------

void FeedCellFull::hideAll()
{
    for (const Ref<UIView>& view : std::vector<Ref<UIView>>{adMain_, head_, playerViewAsView(), playerBkg_, forwardFlag_,
                                                           toUserBtn_, toUserBkg_, shareContent_, localUploadControl_,
                                                           localMediaUploadingCover_}) {
        if (view) {
            view->setHidden(true);
        }
    }
    const std::vector<Ref<UIView>> subviews = contentView()->subviews();
    for (const Ref<UIView>& view : subviews) {
        if (view->tag() > 9999) {
            view->removeFromSuperview();
        }
    }
}

void FeedCellFull::wireAvatar(const Ref<UIButton>& button)
{
    Control_removeAllTarget(button, "fromUserSelected:");
    button->addTarget_action_forControlEvents(self<FeedCellFull>(),
                                              UIControlAction::make("fromUserSelected:", &FeedCellFull::fromUserSelected),
                                              UIControlEventTouchUpInside);
}

void FeedCellFull::fullFillWithInfo_withHead_andNavigationController(
    const Value& info, bool haveHead, const Ref<UINavigationController>& navigationController)
{
    using namespace FeedCellFull_cpp;
    navigationController_ = navigationController;
    setInfo(info);
    hideAll();
    haveHead_ = haveHead;
    wireAvatar(head_);
    wireAvatar(toUserBtn_);

    const CGFloat contentHeight = contentView()->frame().size.height;
    vLine_->setFrame(CGRectMake(haveHead ? 72 : 32, 0, 3, contentHeight));

    const std::string type = info["type"].stringValue();
    const CGFloat width = sentenceWidth(haveHead);
    auto showAuthor = [&](const Value& user) {
        if (haveHead) {
            head_->setHidden(false);
            head_->setUserInfo(user);
            head_->setFrame(FromUserFrame());
        } else {
            head_->setHidden(true);
        }
    };
    auto showSentence = [&](const std::string& text, const Value& measured) {
        shareContent_->setHidden(false);
        shareContent_->setFrame(CGRectMake(sentenceX(haveHead), 10, width, sentenceHeight(measured, haveHead)));
        shareContent_->setText(text);
    };
    auto showSecondPerson = [&](const Value& user) {
        toUserBtn_->setHidden(false);
        toUserBkg_->setHidden(false);
        toUserBtn_->setUserInfo(user);
        toUserBtn_->setFrame(shiftedLeftWithoutHead(ToUserFrame(), haveHead));
        toUserBkg_->setFrame(shiftedLeftWithoutHead(ToUserBkgFrame(), haveHead));
    };

    if (type == "comment" || type == "follow") {
        const Value payload = info[type];
        showAuthor(payload["fromUser"]);
        showSecondPerson(payload["toUser"]);
        const std::string text =
            type == "comment" ? stringWithFormat("评论了%@的分享：“%@”", payload["toUser"]["nick"], payload["content"])
                              : stringWithFormat("关注了%@", payload["toUser"]["nick"]);
        // Both sentences are measured on the payload's feed text, as the row height is.
        showSentence(text, Value(Comment_getStringDisplayedInFeed(payload)));
    } else if (type == "channel") {
        const Value channel = info["channel"];
        showAuthor(Channel_getOwner(channel));
        showPlayerFor(channel, info["selfmark"], getPlayerViewRect_haveHead_channel(0, haveHead, channel));
    } else if (type == "forward") {
        const Value channel = info["channel"];
        showAuthor(info["user"]);
        const std::string text = forwardText(info);
        showSentence(text, Value(text));
        toUserBkg_->setHidden(false);
        forwardFlag_->setHidden(false);
        toUserBkg_->setFrame(shiftedLeftWithoutHead(ToUserBkgFrame(), haveHead));
        forwardFlag_->setFrame(shiftedLeftWithoutHead(ToUserFrame(), haveHead));
        Control_removeAllTarget(forwardFlag_, "forward");
        forwardFlag_->addTarget_action_forControlEvents(self<FeedCellFull>(),
                                                        UIControlAction::make("forward", &FeedCellFull::forward),
                                                        UIControlEventTouchUpInside);
        CGRect frame = getPlayerViewRect_haveHead_channel(0, haveHead, channel);
        frame.origin.y = bottom(shareContent_) + 10;
        showPlayerFor(channel, info["selfmark"], frame);
    } else if (type == "ad") {
        adMain_->setHidden(false);
        adMain_->setFrame(CGRectMake(5, 5, 310, 115));
        adBkg_->setFrame(adMain_->bounds());
        adBkg_->setImage(photoFrameImage(5, 5));
        const CGRect back = adBkg_->frame();
        adBody_->setFrame(CGRectMake(5, 5, back.size.width - 10, back.size.height - 10));
        SetImageView::setImageWithUrl(adBody_, info["pos"]["pic"]);
        Control_removeAllTarget(adBody_, "adClicked");
        adBody_->addTarget_action_forControlEvents(self<FeedCellFull>(),
                                                   UIControlAction::make("adClicked", &FeedCellFull::adClicked),
                                                   UIControlEventTouchUpInside);
        adClose_->setFrame(CGRectMake(adMain_->frame().size.width - 25, 10, 14, 14));
        adClose_->setBackgroundImage_forState(UIImage::imageNamed("delete_white.png"), UIControlStateNormal);
        Control_removeAllTarget(adClose_, "adCloseClicked");
        adClose_->addTarget_action_forControlEvents(self<FeedCellFull>(),
                                                    UIControlAction::make("adCloseClicked", &FeedCellFull::adCloseClicked),
                                                    UIControlEventTouchUpInside);
    }
    setLocalEntry(false, "");
}

void FeedCellFull::showPlayerFor(const Value& channel, const Value& selfmark, CGRect photoFrame)
{
    using namespace FeedCellFull_cpp;
    playerBkg_->setHidden(false);
    playerBkg_->setFrame(photoFrame);
    playerBkg_->setImage(photoFrameImage(5, 6));
    fillPlayerWithChannel(CGRectZoomBy(photoFrame, 1), channel, selfmark.intValue());
    addCommentWith(channel);
}

void FeedCellFull::addCommentWith(const Value& channel)
{
    using namespace FeedCellFull_cpp;
    const Value rows = Channel_getMyComposedComment(channel);
    const size_t count = rows.count();
    Ref<UIView> previous = playerBkg_;
    if (count == 0) {
        return;
    }
    const bool haveHead = haveHead_;
    const CGFloat x = rowX(haveHead);
    const CGFloat width = rowWidth(haveHead);
    const CGFloat textWidth = rowTextWidth(haveHead);
    const Ref<UIView> content = contentView();

    const Ref<UIButton> header = UIButton::buttonWithType(UIButtonTypeCustom);
    header->setBackgroundImage_forState(UIImage::imageNamed("comment_cell_header.png"), UIControlStateNormal);
    header->setFrame(CGRectMake(x, bottom(previous), width, 13));
    header->setUserInteractionEnabled(false);
    header->setTag(kFeedRowHeaderTag);
    content->addSubview(header);
    previous = header;

    for (size_t index = 0; index < count; ++index) {
        const Value row = rows[index];
        const std::string type = row["type"].stringValue();
        const Value rowContent = row["content"];
        const Ref<UIButton> button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setAdjustsImageWhenHighlighted(false);
        button->addTarget_action_forControlEvents(self<FeedCellFull>(),
                                                  UIControlAction::make("fakeCellClicked:", &FeedCellFull::fakeCellClicked),
                                                  UIControlEventTouchUpInside);
        button->setTag(kFeedRowTagBase + NSInteger(index));
        const Ref<UIImage> background =
            UIImage::imageNamed(index + 1 == count ? "comment_cell_end.png" : "comment_cell_middle.png");
        if (background) {
            button->setBackgroundImage_forState(background->stretchableImageWithLeftCapWidth_topCapHeight(30, 3),
                                                UIControlStateNormal);
        }
        CGFloat height = 0;
        if (type == "mark") {
            for (size_t j = 0; j < rowContent.count(); ++j) {
                const Value mark = rowContent[j];
                const Ref<UIUserButton> avatar = UIUserButton::initWithFrame(CGRectMake(CGFloat(j) * 33 + 8, 0, 25, 25));
                button->addSubview(avatar);
                SetImageView::setRoundRect(avatar);
                avatar->setUserInfo(mark["user"]);
                wireAvatar(avatar);
                SetImageView::setEmotion(avatar, mark["mark"].intValue());
            }
            height = 33;
        } else if (type == "title_location_with" || type == "comment") {
            Value user;
            std::string time;
            std::string text;
            if (type == "title_location_with") {
                user = Channel_getOwner(channel);
                time = Channel_getFinishTime(channel);
                text = rowContent.isNilOrNull() ? std::string() : rowContent.stringValue();
            } else {
                user = rowContent["fromUser"];
                time = convertTime(rowContent["createTime"].doubleValue());
                text = stringWithFormat("%@:%@", user["nick"], rowContent["content"]);
            }
            const Ref<UIUserButton> avatar = UIUserButton::initWithFrame(CGRectMake(8, 8, 25, 25));
            button->addSubview(avatar);
            avatar->setUserInfo(user);
            SetImageView::setRoundRect(avatar);
            wireAvatar(avatar);
            const CGFloat textHeight = heightForText_width_font(Value(text), textWidth, SubCommentFont());
            const CGFloat lineHeight = SubCommentFont()->lineHeight();
            const Ref<UILabel> label = UILabel::initWithFrame(CGRectMake(41, 8, textWidth, textHeight));
            label->setNumberOfLines(0);
            label->setBackgroundColor(UIColor::clearColor());
            label->setFont(UIFont::boldSystemFontOfSize(12));
            label->setText(text);
            button->addSubview(label);
            const Ref<UILabel> timeLabel = UILabel::initWithFrame(CGRectMake(41, 8 + textHeight, textWidth, lineHeight));
            timeLabel->setTextColor(UIColor::lightGrayColor());
            timeLabel->setFont(UIFont::systemFontOfSize(10));
            timeLabel->setBackgroundColor(UIColor::clearColor());
            timeLabel->setText(time);
            button->addSubview(timeLabel);
            height = 8 + std::floor(std::max<CGFloat>(25, textHeight + lineHeight)) + 8;
        } else if (type == "read_more_title") {
            button->setTitle_forState(stringWithFormat("查看全部%d条评论...", Channel_getTotalComment(channel)),
                                      UIControlStateNormal);
            button->setTitleColor_forState(UIColor::blackColor(), UIControlStateNormal);
            button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(12));
            height = 30;
        }
        button->setFrame(CGRectMake(x, bottom(previous), width, height));
        content->addSubview(button);
        previous = button;
    }
}

// ---- Showing a local entry -------------------------------------------------------------------------------------

void FeedCellFull::fullFillWithLocalInfo_andParentController(const Value& info, const Ref<FeedVC>& parent)
{
    NSLog("local video %@", info);
    setInfo(info);
    parent_ = parent;
    localUploadControl_->setHidden(false);
    localMediaUploadingCover_->setHidden(false);
    playerBkg_->setFrame(ChannelPlayerFrameNoHead());
    playerBkg_->setHidden(false);
    playerBkg_->setImage(FeedCellFull_cpp::photoFrameImage(5, 6));
    setLocalEntry(true, info["guid"].stringValue());
    const CGRect playerFrame = CGRectMake(16, 15, 288, 195);
    fillPlayerWithLocalMovie(playerFrame, info["fn"].stringValue(), info["pic"].stringValue());

    const CGFloat controlHeight = localUploadControl_->frame().size.height;
    localUploadControl_->setFrame(CGRectMake(playerFrame.origin.x, CGRectGetMaxY(playerFrame) - controlHeight,
                                             playerFrame.size.width, controlHeight));
    const int status = info["status"].intValue();
    const Ref<UIButton> pause = localUploadControl_->upload_pause();
    pause->setTitle_forState(status == 1 || status == 2 ? "暂停" : status == 4 ? "继续" : "*", UIControlStateNormal);
    NSLog("progress %f", info["upprocess"].doubleValue());
    localUploadControl_->progress()->setProgress(float(info["upprocess"].doubleValue() / 100));

    Control_removeAllTarget(pause, "localVideoContine_Pause:");
    pause->addTarget_action_forControlEvents(
        self<FeedCellFull>(), UIControlAction::make("localVideoContine_Pause:", &FeedCellFull::localVideoContine_Pause),
        UIControlEventTouchUpInside);
    const Ref<UIButton> remove = localUploadControl_->upload_delete();
    Control_removeAllTarget(remove, "localVideoDelete");
    remove->addTarget_action_forControlEvents(self<FeedCellFull>(),
                                              UIControlAction::make("localVideoDelete", &FeedCellFull::localVideoDelete),
                                              UIControlEventTouchUpInside);
}

// ---- Layout ------------------------------------------------------------------------------------------------------

void FeedCellFull::layoutSubviews()
{
    UITableViewCell::layoutSubviews();
    specialBottomLine_->setFrame(CGRectMake(0, frame().size.height - 1, 320, 1));
}

void FeedCellFull::setSelected_animated(bool selected, bool animated)
{
    UITableViewCell::setSelected_animated(selected, animated);
}

// ---- Heights -----------------------------------------------------------------------------------------------------

CGFloat FeedCellFull::heightForText_width_font(const Value& text, CGFloat width, const Ref<UIFont>& font)
{
    return Tool::heightForText_width_font(text, width, font);
}

CGSize FeedCellFull::getVideoSize_withFixedWidth(CGSize size, int width)
{
    // A record without a usable size would divide by zero; it is shown as 4:3.
    if (!(size.width > 0) || !(size.height > 0) || !std::isfinite(size.width) || !std::isfinite(size.height)) {
        return CGSizeMake(width, CGFloat(width) * 3 / 4);
    }
    return CGSizeMake(width, CGFloat(width) * size.height / size.width);
}

CGRect FeedCellFull::getPlayerViewRect_haveHead_channel(int, bool haveHead, const Value& channel)
{
    CGRect frame = ChannelPlayerFrameNoHead();
    if (haveHead) {
        frame.origin.x += FeedCellFull_cpp::kHeadShift;
        frame.size.width -= FeedCellFull_cpp::kHeadShift;
    }
    const CGSize video = getVideoSize_withFixedWidth(Channel_getSize(channel), int(frame.size.width));
    // Very tall records are bounded before the conversion, which would be undefined beyond int's range.
    frame.size.height = CGFloat(int(std::min<CGFloat>(video.height, 100000)));
    return frame;
}

CGFloat FeedCellFull::getCommentTableHeight_haveHead(const Value& channel, bool haveHead)
{
    using namespace FeedCellFull_cpp;
    CGFloat height = 13;
    const Value rows = Channel_getMyComposedComment(channel);
    for (size_t index = 0; index < rows.count(); ++index) {
        const Value row = rows[index];
        const std::string type = row["type"].stringValue();
        if (type == "mark") {
            height += 41;
        } else if (type == "title_location_with") {
            height += 8 + rowTextBlock(row["content"], haveHead) + 8;
        } else if (type == "comment") {
            const Value comment = row["content"];
            const std::string text = stringWithFormat("%@：%@", comment["fromUser"]["nick"], comment["content"]);
            height += 8 + rowTextBlock(Value(text), haveHead) + 8;
        } else if (type == "read_more_title") {
            height += 30;
        }
    }
    return height;
}

CGFloat FeedCellFull::getHeight_haveHead(const Value& info, bool haveHead)
{
    using namespace FeedCellFull_cpp;
    if (info.isDictionary() && info.objectForKey("fn").isNil() == false) {
        return 208 + 10 + 10;
    }
    CGFloat height = 10;
    const std::string type = info["type"].stringValue();
    if (type == "channel") {
        const Value channel = info["channel"];
        height += getPlayerViewRect_haveHead_channel(0, haveHead, channel).size.height +
                  getCommentTableHeight_haveHead(channel, haveHead);
    } else if (type == "forward") {
        const Value channel = info["channel"];
        height += sentenceHeight(Value(forwardText(info)), haveHead) + 10 +
                  getPlayerViewRect_haveHead_channel(0, haveHead, channel).size.height +
                  getCommentTableHeight_haveHead(channel, haveHead);
    } else if (type == "comment") {
        height += sentenceHeight(Value(Comment_getStringDisplayedInFeed(info["comment"])), haveHead);
    } else if (type == "follow") {
        height += 35;
    } else if (type == "ad") {
        height += 108;
    } else {
        height += 50;
    }
    height += 10;
    return std::floor(height);
}
