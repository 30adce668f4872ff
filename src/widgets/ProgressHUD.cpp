#include "widgets/ProgressHUD.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSThread.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"

Ref<ProgressHUD> ProgressHUD::initWithView(const Ref<UIView>& view)
{
    if (!view) {
        NSException::raise(ProgressHUDViewIsNillException, "The view used in the ProgressHUD initializer is nil.");
    }
    auto hud = makeWithFrame<ProgressHUD>(view->bounds());
    hud->setBackgroundColor(UIColor::clearColor());
    hud->setAlpha(0);
    // A dark rounded box in the middle with the text in its lower part.
    const CGRect bounds = view->bounds();
    auto box = UIView::initWithFrame(CGRectMake((bounds.size.width - 120) / 2, (bounds.size.height - 100) / 2, 120, 100));
    box->setBackgroundColor(UIColor::colorWithWhite_alpha(0.2, 0.8));
    box->layer()->setCornerRadius(10);
    hud->addSubview(box);
    hud->label_ = UILabel::initWithFrame(CGRectMake(8, 66, 104, 20));
    hud->label_->setBackgroundColor(UIColor::clearColor());
    hud->label_->setTextColor(UIColor::whiteColor());
    hud->label_->setFont(UIFont::boldSystemFontOfSize(16));
    hud->label_->setTextAlignment(UITextAlignmentCenter);
    box->addSubview(hud->label_);
    return hud;
}

void ProgressHUD::setLabelText(const std::string& text)
{
    if (!NSThread::isMainThread()) {
        Weak<ProgressHUD> weak = weakSelf<ProgressHUD>();
        dispatch_async(dispatch_get_main_queue(), [weak, text] {
            if (auto hud = weak.lock()) {
                hud->setLabelText(text);
            }
        });
        return;
    }
    labelText_ = text;
    label_->setText(text);
}

void ProgressHUD::show(bool animated)
{
    auto reveal = [weak = weakSelf<ProgressHUD>(), animated] {
        auto hud = weak.lock();
        if (!hud) {
            return;
        }
        hud->showing_ = true;
        if (animated) {
            UIView::animateWithDuration_animations(0.3, [hud] { hud->setAlpha(1); });
        } else {
            hud->setAlpha(1);
        }
    };
    if (graceTime_ > 0) {
        dispatch_after(dispatch_time(DISPATCH_TIME_NOW, int64_t(graceTime_ * NSEC_PER_SEC)), dispatch_get_main_queue(),
                       reveal);
    } else {
        reveal();
    }
}
