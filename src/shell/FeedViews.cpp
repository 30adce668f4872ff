#include "shell/FeedViews.h"

#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIProgressView.h"
#include "shell/FeedbackPopupView.h"
#include "shell/HeaderView.h"
#include "shell/UploadControl.h"

namespace {
namespace FeedViews_cpp {

constexpr char kCommonViews[] = "CommonViews";

Ref<UILabel> whiteLabel(UINibBuilder& nib, CGRect frame, const Ref<UIFont>& font)
{
    const Ref<UILabel> label = nib.view<UILabel>(frame);
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextColor(UIColor::whiteColor());
    label->setFont(font);
    return label;
}

Ref<UIButton> customButton(UINibBuilder& nib, CGRect frame)
{
    const Ref<UIButton> button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    button->setFrame(frame);
    return button;
}

// The header as laid out for a person's page, 320 x 320: the cover above, the avatar straddling the
// cover's lower edge at the left, nick and counts over the cover beside it, the follow button and the
// sign panel below. The home feed moves the avatar, refresh button and fans strip itself.
Ref<NSObject> makeHeader(UINibBuilder& nib)
{
    const Ref<HeaderView> header = nib.view<HeaderView>(CGRectMake(0, 0, 320, 320));
    header->setBackgroundColor(UIColor::clearColor());

    header->bkgimgv = nib.view<UIImageView>(CGRectMake(0, 0, 320, 253));
    header->addSubview(header->bkgimgv);
    header->bkgbtn = customButton(nib, CGRectMake(0, 0, 320, 253));
    header->addSubview(header->bkgbtn);
    header->top_side_line = nib.view<UIImageView>(CGRectMake(0, 252, 320, 1));
    header->top_side_line->setBackgroundColor(UIColor::colorWithWhite_alpha(1, 0.35));
    header->addSubview(header->top_side_line);
    // The start of the cells' time line under the avatar: a 3-point line in the middle of its frame.
    header->timeLine = nib.view<UIImageView>(CGRectMake(28, 292, 10, 28));
    const Ref<UIView> line = nib.view<UIView>(CGRectMake(3.5, 0, 3, 28));
    line->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.22, 0.45, 0.78, 1));
    line->setAutoresizingMask(UIViewAutoresizingFlexibleHeight | UIViewAutoresizingFlexibleLeftMargin |
                              UIViewAutoresizingFlexibleRightMargin);
    header->timeLine->addSubview(line);
    header->addSubview(header->timeLine);
    header->headRing = nib.view<UIImageView>(CGRectMake(9, 229, 47, 47));
    header->headRing->setImage(UIImage::imageNamed("round_head_small.png"));
    header->addSubview(header->headRing);
    header->head = customButton(nib, CGRectMake(9, 229, 47, 47));
    header->head->setTag(1001);
    header->addSubview(header->head);

    header->username = whiteLabel(nib, CGRectMake(64, 206, 246, 22), UIFont::boldSystemFontOfSize(17));
    header->addSubview(header->username);
    header->otherInfo = whiteLabel(nib, CGRectMake(64, 230, 246, 18), UIFont::systemFontOfSize(12));
    header->addSubview(header->otherInfo);
    header->followOrUnfollow = customButton(nib, CGRectMake(250, 262, 60, 28));
    header->addSubview(header->followOrUnfollow);
    header->refresh = customButton(nib, CGRectMake(270, 10, 30, 30));
    header->refresh->setImage_forState(UIImage::imageNamed("pull-to-refresh-arrow.png"), UIControlStateNormal);
    header->addSubview(header->refresh);

    header->videoSign = nib.view<UIView>(CGRectMake(64, 258, 176, 44));
    header->videoSign->setBackgroundColor(UIColor::clearColor());
    std::vector<Ref<UIButton>> signs;
    std::vector<Ref<UIButton>> deletes;
    for (int index = 0; index < 4; ++index) {
        // An empty slot shows nothing of its own: a sign's player or the own page's "add" picture
        // fills it, and on someone else's page a slot without a sign stays out of sight.
        const Ref<UIButton> sign = customButton(nib, CGRectMake(index * 44, 4, 38, 38));
        sign->setBackgroundColor(UIColor::clearColor());
        header->videoSign->addSubview(sign);
        signs.push_back(sign);
    }
    for (int index = 0; index < 4; ++index) {
        const Ref<UIButton> remove = customButton(nib, CGRectMake(index * 44 + 28, 0, 14, 14));
        remove->setBackgroundImage_forState(UIImage::imageNamed("delete_white.png"), UIControlStateNormal);
        remove->setTag(index);
        remove->setHidden(true);
        header->videoSign->addSubview(remove);
        deletes.push_back(remove);
    }
    header->sign1 = signs[0], header->sign2 = signs[1], header->sign3 = signs[2], header->sign4 = signs[3];
    header->delete1 = deletes[0], header->delete2 = deletes[1], header->delete3 = deletes[2], header->delete4 = deletes[3];
    header->addSubview(header->videoSign);

    header->fansRemindView = nib.view<UIView>(CGRectMake(100, 57, 220, 46));
    header->fansRemindView->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.55));
    header->fansRemindView->layer()->setCornerRadius(6);
    header->fansRemindView->setHidden(true);
    header->headerMsg_userHead = nib.view<UIImageView>(CGRectMake(6, 6, 34, 34));
    header->headerMsg_userHead->setClipsToBounds(true);
    header->headerMsg_userHead->layer()->setCornerRadius(5);
    header->fansRemindView->addSubview(header->headerMsg_userHead);
    header->headerMsg_title = whiteLabel(nib, CGRectMake(48, 4, 166, 38), UIFont::systemFontOfSize(12));
    header->headerMsg_title->setNumberOfLines(2);
    header->fansRemindView->addSubview(header->headerMsg_title);
    header->fansRemind = customButton(nib, CGRectMake(0, 0, 220, 46));
    header->fansRemindView->addSubview(header->fansRemind);
    header->addSubview(header->fansRemindView);

    header->headerMsg = customButton(nib, CGRectMake(0, 0, 0, 0));
    header->headerMsg->setHidden(true);
    header->addSubview(header->headerMsg);
    header->clock = whiteLabel(nib, CGRectMake(0, 0, 0, 0), UIFont::systemFontOfSize(10));
    header->clock->setHidden(true);
    header->addSubview(header->clock);
    return header;
}

// The upload control, 288 x 36: pause-or-resume at the left, the bar in the middle, delete at the right.
Ref<NSObject> makeUploadControl(UINibBuilder& nib)
{
    const Ref<UploadControl> control = nib.view<UploadControl>(CGRectMake(0, 0, 288, UploadControl::kHeight));
    auto button = [&](CGRect frame, const std::string& title) {
        const Ref<UIButton> made = customButton(nib, frame);
        const Ref<UIImage> back = UIImage::imageNamed("black-button-bg.png");
        if (back) {
            made->setBackgroundImage_forState(back->stretchableImageWithLeftCapWidth_topCapHeight(9, 0),
                                              UIControlStateNormal);
        }
        made->setTitle_forState(title, UIControlStateNormal);
        made->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
        made->titleLabel()->setFont(UIFont::boldSystemFontOfSize(13));
        made->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin);
        control->addSubview(made);
        return made;
    };
    control->setUpload_pause(button(CGRectMake(6, 4, 52, 28), "暂停"));
    const Ref<UIProgressView> progress = nib.view<UIProgressView>(CGRectMake(66, 14, 156, 9));
    progress->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    control->addSubview(progress);
    control->setProgress(progress);
    const Ref<UIButton> remove = button(CGRectMake(230, 4, 52, 28), "删除");
    remove->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    control->setUpload_delete(remove);
    return control;
}

}  // namespace FeedViews_cpp
}  // namespace

void registerFeedViews()
{
    UINibRegistry::registerObject(FeedViews_cpp::kCommonViews, 0, FeedViews_cpp::makeHeader);
    UINibRegistry::registerObject(FeedViews_cpp::kCommonViews, 6, FeedViews_cpp::makeUploadControl);
    // The players of feed items and headers open the video panel from their feedback button.
    installFeedbackPanel();
}
