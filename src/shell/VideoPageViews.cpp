#include "shell/VideoPageViews.h"

#include "platform/foundation/NSString.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"
#include "shell/CommentCell.h"
#include "shell/FeedbackPopupView.h"
#include "shell/VideoMainPage.h"

namespace {
namespace VideoPageViews_cpp {

constexpr char kCommonViews[] = "CommonViews";

Ref<UIButton> customButton(UINibBuilder& nib, CGRect frame)
{
    const Ref<UIButton> button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    button->setFrame(frame);
    return button;
}

// A dark button with a white title, as the bars' buttons are.
Ref<UIButton> titledButton(UINibBuilder& nib, CGRect frame, const std::string& title)
{
    const Ref<UIButton> button = customButton(nib, frame);
    if (const Ref<UIImage> back = UIImage::imageNamed("black-button-bg.png")) {
        button->setBackgroundImage_forState(back->stretchableImageWithLeftCapWidth_topCapHeight(9, 0), UIControlStateNormal);
    }
    button->setTitle_forState(title, UIControlStateNormal);
    button->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(14));
    return button;
}

// The comment cell, 320 x 55: the avatar at the left, the text beside it (250 points wide, as the
// heights are measured) and the time under the text, on a light card.
Ref<NSObject> makeCommentCell(UINibBuilder& nib)
{
    const Ref<CommentCell> cell =
        nib.add(UITableViewCell::makeWithStyle<CommentCell>(UITableViewCellStyleDefault, kCommentCellReuseIdentifier));
    cell->setFrame(CGRectMake(0, 0, 320, 55));
    cell->setBackgroundColor(UIColor::clearColor());
    cell->contentView()->setBackgroundColor(UIColor::clearColor());
    const Ref<UIImageView> card = nib.view<UIImageView>(CGRectMake(5, 0, 310, 55));
    if (const Ref<UIImage> middle = UIImage::imageNamed("comment_cell_middle.png")) {
        card->setImage(middle->stretchableImageWithLeftCapWidth_topCapHeight(10, 4));
    }
    card->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    cell->contentView()->addSubview(card);

    cell->head = customButton(nib, CGRectMake(10, 10, 35, 35));
    cell->head->setTag(1001);
    cell->contentView()->addSubview(cell->head);

    cell->content = nib.view<UILabel>(CGRectMake(55, 10, 250, 17));
    cell->content->setNumberOfLines(0);
    cell->content->setBackgroundColor(UIColor::clearColor());
    cell->content->setTextColor(UIColor::colorWithWhite_alpha(0.2, 1));
    cell->content->setFont(CommentStrFont());
    cell->contentView()->addSubview(cell->content);

    cell->time = nib.view<UILabel>(CGRectMake(55, 27, 250, 16));
    cell->time->setBackgroundColor(UIColor::clearColor());
    cell->time->setFont(CommentTimeStrFont());
    cell->contentView()->addSubview(cell->time);
    return cell;
}

// The panel: a clear cover of the window that closes it when tapped, and the 200 x 172 bubble with
// the viewer count, the avatar pages and their page control, the five emotions and the three actions.
Ref<NSObject> makeFeedbackPanel(UINibBuilder& nib)
{
    const Ref<FeedbackPopupView> panel = nib.view<FeedbackPopupView>(CGRectMake(0, 0, 320, 480));
    panel->setBackgroundColor(UIColor::clearColor());
    panel->dismissControl = nib.view<UIControl>(CGRectMake(0, 0, 320, 480));
    panel->dismissControl->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    panel->dismissControl->addTarget_action_forControlEvents(
        panel, UIControlAction::make("dismissSelf:", &FeedbackPopupView::dismissSelf), UIControlEventTouchUpInside);
    panel->addSubview(panel->dismissControl);

    panel->popView = nib.view<UIView>(CGRectMake(0, 0, 200, 172));
    panel->popView->setBackgroundColor(UIColor::colorWithWhite_alpha(0.08, 0.88));
    panel->popView->layer()->setCornerRadius(8);
    panel->addSubview(panel->popView);

    panel->numberOfSeeThisVideo = nib.view<UILabel>(CGRectMake(10, 6, 180, 18));
    panel->numberOfSeeThisVideo->setBackgroundColor(UIColor::clearColor());
    panel->numberOfSeeThisVideo->setTextColor(UIColor::whiteColor());
    panel->numberOfSeeThisVideo->setFont(UIFont::boldSystemFontOfSize(13));
    panel->popView->addSubview(panel->numberOfSeeThisVideo);

    panel->visitedScrollView = nib.view<UIScrollView>(CGRectMake(10, 28, kVisitedPageWidth, 55));
    panel->popView->addSubview(panel->visitedScrollView);
    panel->pageCtrl = nib.view<UIPageControl>(CGRectMake(10, 84, kVisitedPageWidth, 12));
    panel->pageCtrl->addTarget_action_forControlEvents(
        panel, UIControlAction::make("changePage:", &FeedbackPopupView::changePage), UIControlEventValueChanged);
    panel->popView->addSubview(panel->pageCtrl);

    panel->feedback = nib.view<UIView>(CGRectMake(0, 98, 200, 74));
    panel->feedback->setBackgroundColor(UIColor::clearColor());
    panel->popView->addSubview(panel->feedback);
    for (int emotion = 1; emotion <= 5; ++emotion) {
        const Ref<UIButton> button = customButton(nib, CGRectMake(12 + (emotion - 1) * 37, 2, 30, 30));
        button->setImage_forState(UIImage::imageNamed(stringWithFormat("emotion%d.png", emotion)), UIControlStateNormal);
        button->setTag(emotion);
        button->addTarget_action_forControlEvents(
            panel, UIControlAction::make("tagEmotion:", &FeedbackPopupView::tagEmotion), UIControlEventTouchUpInside);
        panel->feedback->addSubview(button);
        panel->emotionButtons.push_back(button);
    }
    panel->shareButton = titledButton(nib, CGRectMake(10, 38, 56, 28), "分享");
    panel->shareButton->addTarget_action_forControlEvents(
        panel, UIControlAction::make("share:", &FeedbackPopupView::share), UIControlEventTouchUpInside);
    panel->commentButton = titledButton(nib, CGRectMake(72, 38, 56, 28), "评论");
    panel->commentButton->addTarget_action_forControlEvents(
        panel, UIControlAction::make("addComment:", &FeedbackPopupView::addComment), UIControlEventTouchUpInside);
    panel->deleteButton = titledButton(nib, CGRectMake(134, 38, 56, 28), "删除");
    panel->deleteButton->addTarget_action_forControlEvents(
        panel, UIControlAction::make("deleteIt:", &FeedbackPopupView::deleteIt), UIControlEventTouchUpInside);
    for (const Ref<UIButton>& button : {panel->shareButton, panel->commentButton, panel->deleteButton}) {
        panel->feedback->addSubview(button);
    }
    return panel;
}

// The page's file: the list above the bottom bar (field and send button), and the viewers block (the
// strip and the emotion button) that the header takes in once the record has arrived.
std::vector<Ref<NSObject>> makeVideoPage(UINibBuilder& nib)
{
    const Ref<UIView> root = nib.view<UIView>(CGRectMake(0, 0, 320, 416));
    const Ref<UITableView> table = nib.add(UITableView::initWithFrame_style(CGRectMake(0, 0, 320, kVideoPageBarTop),
                                                                          UITableViewStylePlain));
    table->setBackgroundColor(UIColor::clearColor());
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    root->addSubview(table);

    // The bar around the field and the list's empty part below the rows are the page's background: a
    // touch there puts the keyboard away.
    const Ref<UIControl> listBackground = nib.view<UIControl>(table->bounds());
    table->setBackgroundView(listBackground);
    const Ref<UIControl> bar = nib.view<UIControl>(CGRectMake(0, kVideoPageBarTop, 320, kVideoPageBarHeight));
    root->addSubview(bar);
    // The bar's pattern is narrower than the screen; one stretched copy over it keeps its edge whole.
    const Ref<UIImageView> barFace = nib.view<UIImageView>(bar->bounds());
    if (const Ref<UIImage> face = UIImage::imageNamed("comment_bkg.png")) {
        barFace->setImage(face->stretchableImageWithLeftCapWidth_topCapHeight(12, 12));
    }
    bar->addSubview(barFace);
    const Ref<UIImageView> fieldBack = nib.view<UIImageView>(CGRectMake(8, 7, 242, 30));
    bar->addSubview(fieldBack);
    const Ref<UITextField> field = nib.view<UITextField>(CGRectMake(16, 7, 228, 30));
    field->setFont(UIFont::systemFontOfSize(14));
    field->setPlaceholder("说点什么吧");
    field->setBorderStyle(UITextBorderStyleNone);
    bar->addSubview(field);
    const Ref<UIButton> send = titledButton(nib, CGRectMake(256, 7, 56, 30), "发送");
    bar->addSubview(send);

    const Ref<UIView> seen = nib.view<UIView>(CGRectMake(0, 0, 320, 33));
    const Ref<UIScrollView> strip = nib.view<UIScrollView>(CGRectMake(50, 0, 210, 33));
    seen->addSubview(strip);
    const Ref<UIButton> mark = customButton(nib, CGRectMake(262, 3, 44, 27));
    mark->setBackgroundImage_forState(UIImage::imageNamed("tag-emotion.png"), UIControlStateNormal);
    mark->setImage_forState(UIImage::imageNamed("emotion1.png"), UIControlStateNormal);
    seen->addSubview(mark);

    if (const Ref<VideoMainPage> page = nib.owner<VideoMainPage>()) {
        page->setView(root);
        page->setTable(table);
        page->inputBkg = bar;
        page->inputTextField_bkg = fieldBack;
        page->input = field;
        page->send = send;
        page->whoSeedView = seen;
        page->scrollSubView = strip;
        page->emotionButton = mark;
        mark->addTarget_action_forControlEvents(
            page, UIControlAction::make("tagVideoWithEmotion:", &VideoMainPage::tagVideoWithEmotion),
            UIControlEventTouchUpInside);        for (const Ref<UIControl>& background : {listBackground, bar}) {
            background->addTarget_action_forControlEvents(
                page, UIControlAction::make("backgroundTouched:", &VideoMainPage::backgroundTouched),
                UIControlEventTouchDown);
        }
    }
    return {root, seen};
}

}  // namespace VideoPageViews_cpp
}  // namespace

void registerVideoPageViews()
{
    UINibRegistry::registerObject(VideoPageViews_cpp::kCommonViews, kCommentCellNibIndex,
                                  VideoPageViews_cpp::makeCommentCell);
    UINibRegistry::registerObject(VideoPageViews_cpp::kCommonViews, kFeedbackPanelNibIndex,
                                  VideoPageViews_cpp::makeFeedbackPanel);
    UINibRegistry::registerNib("VideoMainPage", VideoPageViews_cpp::makeVideoPage);
}
