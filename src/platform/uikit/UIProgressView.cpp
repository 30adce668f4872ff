#include "platform/uikit/UIProgressView.h"

#include <algorithm>
#include <cmath>

Ref<UIProgressView> UIProgressView::initWithProgressViewStyle(UIProgressViewStyle style)
{
    auto view = std::make_shared<UIProgressView>();
    view->style_ = style;
    view->initWithFrameBody(CGRectMake(0, 0, 0, view->barHeight()));
    return view;
}

void UIProgressView::setProgressViewStyle(UIProgressViewStyle style)
{
    style_ = style;
    setFrame(frame());
}

void UIProgressView::setProgress(float progress)
{
    progress_ = std::isnan(progress) ? 0.0f : std::clamp(progress, 0.0f, 1.0f);
    setNeedsDisplay();
}

void UIProgressView::setFrame(CGRect frame)
{
    UIView::setFrame(CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, barHeight()));
}

CGSize UIProgressView::sizeThatFits(CGSize size) const { return {size.width, barHeight()}; }
