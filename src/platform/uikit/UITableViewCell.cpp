#include "platform/uikit/UITableViewCell.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIGraphics.h"

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITableView.h"

namespace {

constexpr CGFloat kMargin = 10;
constexpr CGFloat kEditingIndent = 32;
constexpr CGFloat kStandardAccessoryWidth = 20;
constexpr CGFloat kDetailButtonWidth = 29;
constexpr CGFloat kValue2TextWidth = 67;

Ref<UIColor> value1DetailColor() { return UIColor::colorWithRed_green_blue_alpha(0.22, 0.33, 0.53, 1); }

void highlightTree(const Ref<UIView>& view, bool highlighted)
{
    for (const Ref<UIView>& sub : view->subviews()) {
        if (auto label = std::dynamic_pointer_cast<UILabel>(sub)) {
            label->setHighlighted(highlighted);
        } else if (auto image = std::dynamic_pointer_cast<UIImageView>(sub)) {
            image->setHighlighted(highlighted);
        }
        highlightTree(sub, highlighted);
    }
}

constexpr CGFloat kDeleteButtonHeight = 30;
constexpr CGFloat kDeleteButtonMinWidth = 64;

// The red round delete control in the editing indent: a bar across, turned upright while the row's
// delete button shows.
class UITableViewCellDeleteControl : public UIControl {
public:
    bool turned = false;
    void drawRect(CGRect) override
    {
        const CGContextRef c = UIGraphicsGetCurrentContext();
        const CGRect b = bounds();
        const CGFloat r = 10;
        const CGPoint mid = CGPointMake(std::round(CGRectGetMidX(b)), std::round(CGRectGetMidY(b)));
        c->saveGState();
        c->setFillColor(CGColor::createRGB(0.87, 0.16, 0.13, 1));
        c->fillEllipseInRect(CGRectMake(mid.x - r, mid.y - r, 2 * r, 2 * r));
        c->setFillColor(CGColor::createGray(1, 1));
        c->fillRect(turned ? CGRectMake(mid.x - 1.5, mid.y - 6, 3, 12) : CGRectMake(mid.x - 6, mid.y - 1.5, 12, 3));
        c->restoreGState();
    }
};

}  // namespace

Ref<UITableViewCell> UITableViewCell::initWithFrame_reuseIdentifier(CGRect frame, const std::string& reuseIdentifier)
{
    auto cell = makeWithStyle<UITableViewCell>(UITableViewCellStyleDefault, reuseIdentifier);
    cell->setFrame(frame);
    return cell;
}

void UITableViewCell::initWithFrameBody(CGRect frame)
{
    initWithStyle_reuseIdentifierBody(UITableViewCellStyleDefault, std::string());
    setFrame(frame);
}

void UITableViewCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier)
{
    UIView::initWithFrameBody(CGRectMake(0, 0, 320, 44));
    style_ = style;
    reuseIdentifier_ = reuseIdentifier;
    setAutoresizesSubviews(false);
    contentView_ = UITableViewCellContentView::initWithFrame(bounds());
    contentView_->setBackgroundColor(UIColor::clearColor());
    addSubview(contentView_);
}

Ref<UILabel> UITableViewCell::textLabel()
{
    if (!textLabel_) {
        textLabel_ = UILabel::create();
        textLabel_->setBackgroundColor(UIColor::clearColor());
        textLabel_->setHighlightedTextColor(UIColor::whiteColor());
        switch (style_) {
        case UITableViewCellStyleSubtitle:
            textLabel_->setFont(UIFont::boldSystemFontOfSize(18));
            break;
        case UITableViewCellStyleValue1:
            textLabel_->setFont(UIFont::boldSystemFontOfSize(17));
            break;
        case UITableViewCellStyleValue2:
            textLabel_->setFont(UIFont::boldSystemFontOfSize(12));
            textLabel_->setTextAlignment(UITextAlignmentRight);
            textLabel_->setTextColor(value1DetailColor());
            break;
        default:
            textLabel_->setFont(UIFont::boldSystemFontOfSize(20));
            break;
        }
        contentView_->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

Ref<UILabel> UITableViewCell::detailTextLabel()
{
    if (style_ == UITableViewCellStyleDefault) {
        return nullptr;
    }
    if (!detailTextLabel_) {
        detailTextLabel_ = UILabel::create();
        detailTextLabel_->setBackgroundColor(UIColor::clearColor());
        detailTextLabel_->setHighlightedTextColor(UIColor::whiteColor());
        switch (style_) {
        case UITableViewCellStyleSubtitle:
            detailTextLabel_->setFont(UIFont::systemFontOfSize(14));
            detailTextLabel_->setTextColor(UIColor::grayColor());
            break;
        case UITableViewCellStyleValue1:
            detailTextLabel_->setFont(UIFont::systemFontOfSize(17));
            detailTextLabel_->setTextColor(value1DetailColor());
            detailTextLabel_->setTextAlignment(UITextAlignmentRight);
            break;
        default:
            detailTextLabel_->setFont(UIFont::boldSystemFontOfSize(15));
            break;
        }
        contentView_->addSubview(detailTextLabel_);
        setNeedsLayout();
    }
    return detailTextLabel_;
}

Ref<UIImageView> UITableViewCell::imageView()
{
    if (!imageView_) {
        imageView_ = UIImageView::create();
        contentView_->addSubview(imageView_);
        setNeedsLayout();
    }
    return imageView_;
}

void UITableViewCell::setBackgroundView(const Ref<UIView>& view)
{
    if (backgroundView_) {
        backgroundView_->removeFromSuperview();
    }
    backgroundView_ = view;
    if (view) {
        insertSubview_atIndex(view, 0);
    }
    setNeedsLayout();
    applyHighlight();
}

void UITableViewCell::setSelectedBackgroundView(const Ref<UIView>& view)
{
    if (selectedBackgroundView_) {
        selectedBackgroundView_->removeFromSuperview();
    }
    selectedBackgroundView_ = view;
    setNeedsLayout();
    applyHighlight();
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type)
{
    accessoryType_ = type;
    updateAccessory();
}

void UITableViewCell::setAccessoryView(const Ref<UIView>& view)
{
    accessoryView_ = view;
    updateAccessory();
}

void UITableViewCell::accessoryButtonTapped()
{
    Ref<UITableView> table = tableView_.lock();
    if (!table) {
        return;
    }
    if (Ref<NSIndexPath> path = table->indexPathForCell(self<UITableViewCell>())) {
        table->simulateAccessoryButtonTapOnRowAtIndexPath(path);
    }
}

void UITableViewCell::setRowEditingStyle(UITableViewCellEditingStyle style)
{
    if (rowEditingStyle_ != style) {
        rowEditingStyle_ = style;
        updateEditingControls();
    }
}

void UITableViewCell::setDeleteConfirmationTitle(const std::string& title)
{
    deleteTitle_ = title;
    if (deleteButton_) {
        deleteButton_->setTitle_forState(title, UIControlStateNormal);
        setNeedsLayout();
    }
}

Ref<UIView> UITableViewCell::deleteControl() const
{
    return deleteControl_ && deleteControl_->superview() ? deleteControl_ : nullptr;
}

Ref<UIButton> UITableViewCell::deleteConfirmationButton() const
{
    return deleteButton_ && deleteButton_->superview() ? deleteButton_ : nullptr;
}

void UITableViewCell::deleteControlTapped()
{
    if (Ref<UITableView> table = tableView_.lock()) {
        table->cellDeleteControlTapped(self<UITableViewCell>());
    }
}

void UITableViewCell::deleteButtonTapped()
{
    if (Ref<UITableView> table = tableView_.lock()) {
        table->cellDeleteButtonTapped(self<UITableViewCell>());
    }
}

// The delete control shows while editing a row whose style is delete; the delete button while the
// deletion waits for confirmation.
void UITableViewCell::updateEditingControls()
{
    Weak<UITableViewCell> weak = self<UITableViewCell>();
    const bool control = editing_ && rowEditingStyle_ == UITableViewCellEditingStyleDelete;
    if (control && !deleteControl_) {
        deleteControl_ = makeWithFrame<UITableViewCellDeleteControl>(CGRectZero);
        deleteControl_->setBackgroundColor(UIColor::clearColor());
        deleteControl_->addTarget_action_forControlEvents(
            self<UITableViewCell>(),
            UIControlAction::block("deleteControlTapped:",
                                   [weak](const Ref<UIControl>&, const Ref<UIEvent>&) {
                                       if (auto cell = weak.lock()) cell->deleteControlTapped();
                                   }),
            UIControlEventTouchUpInside);
    }
    if (deleteControl_) {
        if (control && !deleteControl_->superview()) {
            addSubview(deleteControl_);
        } else if (!control && deleteControl_->superview()) {
            deleteControl_->removeFromSuperview();
        }
        auto drawn = std::static_pointer_cast<UITableViewCellDeleteControl>(deleteControl_);
        if (drawn->turned != showingDeleteConfirmation_) {
            drawn->turned = showingDeleteConfirmation_;
            drawn->setNeedsDisplay();
        }
    }
    if (showingDeleteConfirmation_ && !deleteButton_) {
        deleteButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
        deleteButton_->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.87, 0.16, 0.13, 1));
        deleteButton_->layer()->setCornerRadius(6);
        deleteButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(15));
        deleteButton_->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
        deleteButton_->setTitle_forState(deleteTitle_, UIControlStateNormal);
        deleteButton_->addTarget_action_forControlEvents(
            self<UITableViewCell>(),
            UIControlAction::block("deleteButtonTapped:",
                                   [weak](const Ref<UIControl>&, const Ref<UIEvent>&) {
                                       if (auto cell = weak.lock()) cell->deleteButtonTapped();
                                   }),
            UIControlEventTouchUpInside);
    }
    if (deleteButton_) {
        if (showingDeleteConfirmation_ && !deleteButton_->superview()) {
            addSubview(deleteButton_);
        } else if (!showingDeleteConfirmation_ && deleteButton_->superview()) {
            deleteButton_->removeFromSuperview();
        }
    }
    setNeedsLayout();
}

void UITableViewCell::updateAccessory()
{
    Ref<UIView> wanted = accessoryView_;
    if (!wanted && accessoryType_ != UITableViewCellAccessoryNone) {
        if (!standardAccessory_ || standardAccessoryType_ != accessoryType_) {
            if (accessoryType_ == UITableViewCellAccessoryDetailDisclosureButton) {
                auto button = UIButton::buttonWithType(UIButtonTypeDetailDisclosure);
                button->setFrame(CGRectMake(0, 0, kDetailButtonWidth, 31));
                Weak<UITableViewCell> weak = self<UITableViewCell>();
                button->addTarget_action_forControlEvents(
                    self<UITableViewCell>(),
                    UIControlAction::block("accessoryButtonTapped:",
                                           [weak](const Ref<UIControl>&, const Ref<UIEvent>&) {
                                               if (auto cell = weak.lock()) cell->accessoryButtonTapped();
                                           }),
                    UIControlEventTouchUpInside);
                standardAccessory_ = button;
            } else {
                standardAccessory_ =
                    UIView::initWithFrame(CGRectMake(0, 0, kStandardAccessoryWidth, kStandardAccessoryWidth));
                standardAccessory_->setUserInteractionEnabled(false);
            }
            standardAccessoryType_ = accessoryType_;
        }
        wanted = standardAccessory_;
    }
    if (shownAccessory_ != wanted) {
        if (shownAccessory_) {
            shownAccessory_->removeFromSuperview();
        }
        shownAccessory_ = wanted;
        if (wanted) {
            addSubview(wanted);
        }
    }
    setNeedsLayout();
}

void UITableViewCell::setSelectionStyle(UITableViewCellSelectionStyle style)
{
    selectionStyle_ = style;
    applyHighlight();
}

void UITableViewCell::applyHighlight()
{
    const bool on = (selected_ || highlighted_) && selectionStyle_ != UITableViewCellSelectionStyleNone;
    highlightTree(contentView_, on);
    if (!selectedBackgroundView_) {
        return;
    }
    const bool shown = selectedBackgroundView_->superview().get() == this;
    if (on && !shown) {
        if (backgroundView_ && backgroundView_->superview().get() == this) {
            insertSubview_aboveSubview(selectedBackgroundView_, backgroundView_);
        } else {
            insertSubview_atIndex(selectedBackgroundView_, 0);
        }
        selectedBackgroundView_->setFrame(bounds());
    } else if (!on && shown) {
        selectedBackgroundView_->removeFromSuperview();
    }
}

void UITableViewCell::setSelected_animated(bool selected, bool animated)
{
    selected_ = selected;
    applyHighlight();
}

void UITableViewCell::setHighlighted_animated(bool highlighted, bool animated)
{
    highlighted_ = highlighted;
    applyHighlight();
}

UITableViewCellStateMask UITableViewCell::stateMask() const
{
    UITableViewCellStateMask mask = UITableViewCellStateDefaultMask;
    if (editing_) mask |= UITableViewCellStateShowingEditControlMask;
    if (showingDeleteConfirmation_) mask |= UITableViewCellStateShowingDeleteConfirmationMask;
    return mask;
}

void UITableViewCell::setEditing_animated(bool editing, bool animated)
{
    if (editing_ == editing) {
        return;
    }
    UITableViewCellStateMask next = stateMask();
    next = editing ? (next | UITableViewCellStateShowingEditControlMask)
                   : (next & ~UITableViewCellStateShowingEditControlMask);
    willTransitionToState(next);
    editing_ = editing;
    if (!editing) {
        showingDeleteConfirmation_ = false;
    }
    updateEditingControls();
    setNeedsLayout();
    layoutIfNeeded();
    didTransitionToState(next);
}

void UITableViewCell::setShowingDeleteConfirmation(bool showing)
{
    if (showingDeleteConfirmation_ == showing) {
        return;
    }
    UITableViewCellStateMask next = stateMask();
    next = showing ? (next | UITableViewCellStateShowingDeleteConfirmationMask)
                   : (next & ~UITableViewCellStateShowingDeleteConfirmationMask);
    willTransitionToState(next);
    showingDeleteConfirmation_ = showing;
    updateEditingControls();
    layoutIfNeeded();
    didTransitionToState(next);
}

void UITableViewCell::layoutSubviews()
{
    const CGRect b = bounds();
    CGFloat right = b.size.width;
    if (deleteControl_ && deleteControl_->superview()) {
        deleteControl_->setFrame(CGRectMake(0, 0, kEditingIndent, b.size.height));
    }
    if (showingDeleteConfirmation_ && deleteButton_) {
        // The delete button takes the accessory's place.
        const CGFloat width = std::max(
            kDeleteButtonMinWidth, std::ceil(UIStringDrawing::sizeWithFont(deleteTitle_, deleteButton_->titleLabel()->font()).width) + 24);
        const CGFloat x = b.size.width - kMargin - width;
        deleteButton_->setFrame(CGRectMake(x, std::round((b.size.height - kDeleteButtonHeight) / 2), width,
                                           kDeleteButtonHeight));
        if (shownAccessory_ && !shownAccessory_->isHidden()) {
            shownAccessory_->setHidden(true);
            accessoryHiddenForDelete_ = true;
        }
        right = x - 4;
    } else if (shownAccessory_) {
        if (accessoryHiddenForDelete_) {
            shownAccessory_->setHidden(false);
            accessoryHiddenForDelete_ = false;
        }
        const CGSize size = shownAccessory_->frame().size;
        const CGFloat x = b.size.width - kMargin - size.width;
        shownAccessory_->setFrame(CGRectMake(x, std::round((b.size.height - size.height) / 2), size.width, size.height));
        right = x - kMargin;
    }
    CGFloat left = CGFloat(indentationLevel_) * indentationWidth_;
    if (editing_ && shouldIndentWhileEditing_) {
        left += kEditingIndent;
    }
    contentView_->setFrame(CGRectMake(left, 0, std::max<CGFloat>(0, right - left), b.size.height));
    if (backgroundView_) backgroundView_->setFrame(b);
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);

    const CGRect content = contentView_->bounds();
    CGFloat x = kMargin;
    if (imageView_ && imageView_->image()) {
        const CGSize size = imageView_->image()->size();
        imageView_->setFrame(CGRectMake(kMargin, std::round((content.size.height - size.height) / 2), size.width,
                                        size.height));
        x = kMargin + size.width + kMargin;
    } else if (imageView_) {
        imageView_->setFrame(CGRectZero);
    }
    const CGFloat width = std::max<CGFloat>(0, content.size.width - x - kMargin);
    const CGFloat height = content.size.height;
    switch (style_) {
    case UITableViewCellStyleSubtitle: {
        const CGFloat textHeight = textLabel_ ? std::ceil(textLabel_->font()->lineHeight()) : 0;
        const CGFloat detailHeight =
            detailTextLabel_ && !detailTextLabel_->text().empty() ? std::ceil(detailTextLabel_->font()->lineHeight()) : 0;
        const CGFloat top = std::round((height - textHeight - detailHeight) / 2);
        if (textLabel_) textLabel_->setFrame(CGRectMake(x, top, width, textHeight));
        if (detailTextLabel_) detailTextLabel_->setFrame(CGRectMake(x, top + textHeight, width, detailHeight));
        break;
    }
    case UITableViewCellStyleValue1: {
        CGFloat detailWidth = 0;
        if (detailTextLabel_) {
            detailWidth = std::min(width, UIStringDrawing::sizeWithFont(detailTextLabel_->text(), detailTextLabel_->font()).width);
            detailTextLabel_->setFrame(CGRectMake(x + width - detailWidth, 0, detailWidth, height));
        }
        if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, std::max<CGFloat>(0, width - detailWidth), height));
        break;
    }
    case UITableViewCellStyleValue2: {
        if (textLabel_) textLabel_->setFrame(CGRectMake(kMargin, 0, kValue2TextWidth, height));
        const CGFloat detailX = kMargin + kValue2TextWidth + 6;
        if (detailTextLabel_) {
            detailTextLabel_->setFrame(
                CGRectMake(detailX, 0, std::max<CGFloat>(0, content.size.width - detailX - kMargin), height));
        }
        break;
    }
    default:
        if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, width, height));
        break;
    }
}
