#include "platform/uikit/UITableView.h"

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UITouch.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITouch.h"

namespace {

// A sideways swipe on a row that shows its delete button.
constexpr CGFloat kSwipeToDeleteDistance = 10;

constexpr CGFloat kGroupedSectionHeight = 10;
constexpr CGFloat kGroupedTitleHeight = 36;

// Sets a flag for a scope, clearing it however the scope ends.
struct FlagScope {
    bool& flag;
    explicit FlagScope(bool& f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};

// A section's title: the text kept off the table's edge as the rows' text is, the background across
// the whole width.
class SectionTitleLabel : public UILabel {
public:
    CGFloat inset = 10;
    void drawTextInRect(CGRect rect) override
    {
        UILabel::drawTextInRect(CGRectMake(rect.origin.x + inset, rect.origin.y, std::max<CGFloat>(0, rect.size.width - 2 * inset),
                                           rect.size.height));
    }
};

bool intersects(CGRect rect, CGRect visible)
{
    return rect.size.height > 0 && rect.origin.y < CGRectGetMaxY(visible) && CGRectGetMaxY(rect) > visible.origin.y;
}

}  // namespace

CGFloat UITableView::Section::height() const
{
    CGFloat h = headerHeight + footerHeight;
    for (CGFloat row : rowHeights) {
        h += row;
    }
    return h;
}

void UITableView::initWithFrameBody(CGRect frame) { initWithFrame_styleBody(frame, UITableViewStylePlain); }

// A sideways swipe on a row whose data source commits deletions: recognised once the finger went
// kSwipeToDeleteDistance across (and less than half as far down), it opens the row's delete button.
class UITableViewSwipeToDelete : public UIGestureRecognizer {
public:
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
    {
        Ref<UITableView> table = std::dynamic_pointer_cast<UITableView>(view());
        Ref<UITouch> touch = touches.anyObject();
        Ref<UITableViewDataSource> dataSource = table ? table->dataSource_.lock() : nullptr;
        if (!touch || !dataSource || !dataSource->respondsToCommitEditingStyle() || table->editing_ ||
            table->confirming_) {
            setState(UIGestureRecognizerStateFailed);
            return;
        }
        start_ = touch->locationInView(table);
        row_ = table->indexPathForRowAtPoint(start_);
        if (!row_) {
            setState(UIGestureRecognizerStateFailed);
        }
    }
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
    {
        Ref<UITableView> table = std::dynamic_pointer_cast<UITableView>(view());
        Ref<UITouch> touch = touches.anyObject();
        if (!table || !touch) return;
        const CGPoint at = touch->locationInView(table);
        const CGFloat dx = std::fabs(at.x - start_.x);
        const CGFloat dy = std::fabs(at.y - start_.y);
        if (dy >= kSwipeToDeleteDistance || (dx >= kSwipeToDeleteDistance && dy * 2 > dx)) {
            setState(UIGestureRecognizerStateFailed);
        } else if (dx >= kSwipeToDeleteDistance) {
            if (!table->canDeleteRow(row_)) {
                setState(UIGestureRecognizerStateFailed);
                return;
            }
            setState(UIGestureRecognizerStateEnded);
            table->showDeleteConfirmation(row_, true);
        }
    }
    void touchesEnded_withEvent(const UITouchSet&, const Ref<UIEvent>&) override
    {
        if (state() == UIGestureRecognizerStatePossible) setState(UIGestureRecognizerStateFailed);
    }

private:
    CGPoint start_;
    Ref<NSIndexPath> row_;
};

void UITableView::initWithFrame_styleBody(CGRect frame, UITableViewStyle style)
{
    UIScrollView::initWithFrameBody(frame);
    style_ = style;
    if (style == UITableViewStyleGrouped) {
        sectionHeaderHeight_ = kGroupedSectionHeight;
        sectionFooterHeight_ = kGroupedSectionHeight;
        setBackgroundColor(UIColor::groupTableViewBackgroundColor());
    } else {
        setBackgroundColor(UIColor::whiteColor());
    }
    setAlwaysBounceVertical(true);
    setSeparatorColor(UIColor::colorWithWhite_alpha(0.88, 1));
    swipeToDelete_ = UIGestureRecognizer::makeWithTarget<UITableViewSwipeToDelete>(nullptr, UISelector());
    swipeToDelete_->setView(self<UIView>());
}

UITableView::~UITableView() = default;

void UITableView::setDataSource(const Ref<UITableViewDataSource>& dataSource)
{
    dataSource_ = dataSource;
    loaded_ = false;
    setNeedsLayout();
}

void UITableView::setDelegate(const Ref<UIScrollViewDelegate>& delegate)
{
    UIScrollView::setDelegate(delegate);
    delegate_ = std::dynamic_pointer_cast<UITableViewDelegate>(delegate);
    if (loaded_) {
        setNeedsLayout();
    }
}

void UITableView::setBackgroundView(const Ref<UIView>& view)
{
    if (backgroundView_) {
        backgroundView_->removeFromSuperview();
    }
    backgroundView_ = view;
    if (view) {
        insertSubview_atIndex(view, 0);
        placeFixedViews();
    }
}

void UITableView::setTableHeaderView(const Ref<UIView>& view)
{
    if (tableHeaderView_) {
        tableHeaderView_->removeFromSuperview();
    }
    tableHeaderView_ = view;
    if (view) {
        addSubview(view);
    }
    placeSections();
    if (loaded_) {
        tile();
    }
}

void UITableView::setTableFooterView(const Ref<UIView>& view)
{
    if (tableFooterView_) {
        tableFooterView_->removeFromSuperview();
    }
    tableFooterView_ = view;
    if (view) {
        addSubview(view);
    }
    placeSections();
    if (loaded_) {
        tile();
    }
}

// --- Structure ---

CGFloat UITableView::headerHeight(NSInteger section, bool footer)
{
    Ref<UITableView> me = self<UITableView>();
    Ref<UITableViewDelegate> delegate = delegate_.lock();
    Ref<UITableViewDataSource> dataSource = dataSource_.lock();
    CGFloat height = UITableViewDefaultHeight;
    if (delegate) {
        height = footer ? delegate->tableView_heightForFooterInSection(me, section)
                        : delegate->tableView_heightForHeaderInSection(me, section);
    }
    if (height >= 0) {
        return height;
    }
    Ref<UIView> view;
    if (delegate) {
        view = footer ? delegate->tableView_viewForFooterInSection(me, section)
                      : delegate->tableView_viewForHeaderInSection(me, section);
    }
    if (view) {
        return view->frame().size.height;
    }
    std::string title;
    if (dataSource) {
        title = footer ? dataSource->tableView_titleForFooterInSection(me, section)
                       : dataSource->tableView_titleForHeaderInSection(me, section);
    }
    const CGFloat standard = footer ? sectionFooterHeight_ : sectionHeaderHeight_;
    if (!title.empty()) {
        return style_ == UITableViewStyleGrouped ? kGroupedTitleHeight : standard;
    }
    return style_ == UITableViewStyleGrouped ? standard : 0;
}

void UITableView::queryStructure()
{
    Ref<UITableView> me = self<UITableView>();
    Ref<UITableViewDataSource> dataSource = dataSource_.lock();
    Ref<UITableViewDelegate> delegate = delegate_.lock();
    sections_.clear();
    if (!dataSource) {
        return;
    }
    const NSInteger count = std::max<NSInteger>(0, dataSource->numberOfSectionsInTableView(me));
    std::vector<Section> sections(static_cast<size_t>(count));
    for (NSInteger s = 0; s < count; ++s) {
        Section& section = sections[size_t(s)];
        section.headerHeight = headerHeight(s, false);
        section.footerHeight = headerHeight(s, true);
        section.rows = std::max<NSInteger>(0, dataSource->tableView_numberOfRowsInSection(me, s));
        section.rowHeights.resize(size_t(section.rows));
        for (NSInteger r = 0; r < section.rows; ++r) {
            CGFloat height = UITableViewDefaultHeight;
            if (delegate) {
                height = delegate->tableView_heightForRowAtIndexPath(me, NSIndexPath::indexPathForRow_inSection(r, s));
            }
            section.rowHeights[size_t(r)] = height >= 0 ? height : rowHeight_;
        }
    }
    sections_ = std::move(sections);
}

void UITableView::placeSections()
{
    const CGFloat width = bounds().size.width;
    CGFloat y = 0;
    if (tableHeaderView_) {
        const CGFloat h = tableHeaderView_->frame().size.height;
        tableHeaderView_->setFrame(CGRectMake(0, 0, width, h));
        y = h;
    }
    for (Section& section : sections_) {
        section.y = y;
        y += section.headerHeight;
        section.rowY.resize(section.rowHeights.size());
        for (size_t r = 0; r < section.rowHeights.size(); ++r) {
            section.rowY[r] = y;
            y += section.rowHeights[r];
        }
        y += section.footerHeight;
    }
    if (tableFooterView_) {
        const CGFloat h = tableFooterView_->frame().size.height;
        tableFooterView_->setFrame(CGRectMake(0, y, width, h));
        y += h;
    }
    setContentSize(CGSizeMake(width, y));
}

void UITableView::placeFixedViews()
{
    if (backgroundView_) {
        backgroundView_->setFrame(bounds());
    }
}

void UITableView::enqueue(const Ref<UITableViewCell>& cell)
{
    cell->removeFromSuperview();
    if (!cell->reuseIdentifier().empty()) {
        reuse_[cell->reuseIdentifier()].push_back(cell);
    }
}

Ref<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(const std::string& identifier)
{
    auto it = reuse_.find(identifier);
    if (it == reuse_.end() || it->second.empty()) {
        return nullptr;
    }
    Ref<UITableViewCell> cell = it->second.back();
    it->second.pop_back();
    cell->setSelected(false);
    cell->setHighlighted(false);
    cell->setShowingDeleteConfirmation(false);
    cell->prepareForReuse();
    return cell;
}

size_t UITableView::reusableCellCount(const std::string& identifier) const
{
    auto it = reuse_.find(identifier);
    return it == reuse_.end() ? 0 : it->second.size();
}

Ref<UIView> UITableView::makeHeaderView(NSInteger section, bool footer)
{
    Ref<UITableView> me = self<UITableView>();
    Ref<UIView> view;
    if (Ref<UITableViewDelegate> delegate = delegate_.lock()) {
        view = footer ? delegate->tableView_viewForFooterInSection(me, section)
                      : delegate->tableView_viewForHeaderInSection(me, section);
    }
    if (view) {
        return view;
    }
    std::string title;
    if (Ref<UITableViewDataSource> dataSource = dataSource_.lock()) {
        title = footer ? dataSource->tableView_titleForFooterInSection(me, section)
                       : dataSource->tableView_titleForHeaderInSection(me, section);
    }
    if (title.empty()) {
        return nullptr;
    }
    auto label = makeWithFrame<SectionTitleLabel>(CGRectZero);
    label->setText(title);
    if (style_ == UITableViewStyleGrouped) {
        label->setFont(footer ? UIFont::systemFontOfSize(15) : UIFont::boldSystemFontOfSize(17));
        label->setBackgroundColor(UIColor::clearColor());
    } else {
        label->setFont(UIFont::boldSystemFontOfSize(18));
        label->setTextColor(UIColor::whiteColor());
        label->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.57, 0.62, 0.67, 0.9));
    }
    return label;
}

void UITableView::clearHeaders()
{
    for (Section& section : sections_) {
        if (section.header) {
            section.header->removeFromSuperview();
            section.header = nullptr;
        }
        if (section.footer) {
            section.footer->removeFromSuperview();
            section.footer = nullptr;
        }
    }
}

void UITableView::tile()
{
    if (tiling_) {
        return;
    }
    FlagScope guard(tiling_);
    Ref<UITableView> me = self<UITableView>();
    placeFixedViews();
    const CGRect visible = bounds();
    const CGFloat width = visible.size.width;

    CellMap keep;
    for (auto& [path, cell] : visible_) {
        const NSInteger s = path->section();
        const NSInteger r = path->row();
        const bool valid = s < NSInteger(sections_.size()) && r < sections_[size_t(s)].rows;
        if (valid) {
            const Section& section = sections_[size_t(s)];
            const CGRect rect = CGRectMake(0, section.rowY[size_t(r)], width, section.rowHeights[size_t(r)]);
            if (intersects(rect, visible)) {
                cell->setFrame(rect);
                keep[path] = cell;
                continue;
            }
        }
        enqueue(cell);
    }
    visible_.clear();

    Ref<UITableViewDataSource> dataSource = dataSource_.lock();
    for (size_t s = 0; s < sections_.size() && dataSource; ++s) {
        Section& section = sections_[s];
        if (section.y >= CGRectGetMaxY(visible) || section.y + section.height() <= visible.origin.y) {
            continue;
        }
        for (NSInteger r = 0; r < section.rows; ++r) {
            const CGRect rect = CGRectMake(0, section.rowY[size_t(r)], width, section.rowHeights[size_t(r)]);
            if (!intersects(rect, visible)) {
                continue;
            }
            Ref<NSIndexPath> path = NSIndexPath::indexPathForRow_inSection(r, NSInteger(s));
            if (keep.count(path) != 0) {
                continue;
            }
            Ref<UITableViewCell> cell = dataSource->tableView_cellForRowAtIndexPath(me, path);
            if (!cell) {
                NSException::raise(NSInternalInconsistencyException,
                                   "UITableView dataSource must return a cell from tableView:cellForRowAtIndexPath:");
            }
            cell->setFrame(rect);
            cell->setTableView(me);
            configureEditing(cell, path);
            cell->setEditing(editing_);
            if (NSIndexPathEqual(path, confirming_)) {
                cell->setShowingDeleteConfirmation(true);
            }
            cell->setSelected(NSIndexPathEqual(path, selected_));
            if (cell->superview().get() != this) {
                insertSubview_atIndex(cell, backgroundView_ ? 1 : 0);
            }
            cell->layoutIfNeeded();  // a shown cell's subviews are in place at once
            keep[path] = cell;
            if (Ref<UITableViewDelegate> delegate = delegate_.lock()) {
                delegate->tableView_willDisplayCell_forRowAtIndexPath(me, cell, path);
            }
        }
    }
    visible_ = std::move(keep);

    for (size_t s = 0; s < sections_.size(); ++s) {
        for (bool footer : {false, true}) {
            Section& section = sections_[s];
            Ref<UIView>& view = footer ? section.footer : section.header;
            const CGRect rect = footer ? rectForFooterInSection(NSInteger(s)) : rectForHeaderInSection(NSInteger(s));
            if (intersects(rect, visible)) {
                if (!view) {
                    view = makeHeaderView(NSInteger(s), footer);
                }
                if (view) {
                    view->setFrame(rect);
                    if (view->superview().get() != this) {
                        addSubview(view);
                    }
                }
            } else if (view) {
                view->removeFromSuperview();
                view = nullptr;
            }
        }
    }
}

void UITableView::reloadData()
{
    Ref<UITableView> me = self<UITableView>();
    for (auto& [path, cell] : visible_) {
        enqueue(cell);
    }
    visible_.clear();
    clearHeaders();
    loaded_ = true;
    selected_ = nullptr;
    confirming_ = nullptr;
    queryStructure();
    placeSections();
    tile();
}

void UITableView::layoutSubviews()
{
    UIScrollView::layoutSubviews();
    if (!loaded_) {
        if (dataSource_.lock()) {
            reloadData();
        }
        return;
    }
    placeSections();
    tile();
}

void UITableView::contentOffsetDidChange()
{
    if (loaded_) {
        tile();
    } else {
        placeFixedViews();
    }
}

NSInteger UITableView::numberOfRowsInSection(NSInteger section) const
{
    if (section < 0 || section >= NSInteger(sections_.size())) {
        return 0;
    }
    return sections_[size_t(section)].rows;
}

// --- Geometry ---

void UITableView::checkIndexPath(const Ref<NSIndexPath>& path, const char* what) const
{
    if (!path || path->section() < 0 || path->section() >= NSInteger(sections_.size()) || path->row() < 0 ||
        path->row() >= sections_[size_t(path->section())].rows) {
        NSException::raise(NSRangeException,
                           stringWithFormat("-[UITableView %s]: invalid index path %@", what,
                                            path ? path->description() : std::string("(null)")));
    }
}

CGRect UITableView::rectForSection(NSInteger section) const
{
    if (section < 0 || section >= NSInteger(sections_.size())) {
        return CGRectZero;
    }
    const Section& s = sections_[size_t(section)];
    return CGRectMake(0, s.y, bounds().size.width, s.height());
}

CGRect UITableView::rectForHeaderInSection(NSInteger section) const
{
    if (section < 0 || section >= NSInteger(sections_.size())) {
        return CGRectZero;
    }
    const Section& s = sections_[size_t(section)];
    return CGRectMake(0, s.y, bounds().size.width, s.headerHeight);
}

CGRect UITableView::rectForFooterInSection(NSInteger section) const
{
    if (section < 0 || section >= NSInteger(sections_.size())) {
        return CGRectZero;
    }
    const Section& s = sections_[size_t(section)];
    return CGRectMake(0, s.y + s.height() - s.footerHeight, bounds().size.width, s.footerHeight);
}

CGRect UITableView::rectForRowAtIndexPath(const Ref<NSIndexPath>& path) const
{
    checkIndexPath(path, "rectForRowAtIndexPath:");
    const Section& s = sections_[size_t(path->section())];
    return CGRectMake(0, s.rowY[size_t(path->row())], bounds().size.width, s.rowHeights[size_t(path->row())]);
}

Ref<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint point) const
{
    for (size_t s = 0; s < sections_.size(); ++s) {
        const Section& section = sections_[s];
        for (size_t r = 0; r < section.rowY.size(); ++r) {
            if (point.y >= section.rowY[r] && point.y < section.rowY[r] + section.rowHeights[r]) {
                return NSIndexPath::indexPathForRow_inSection(NSInteger(r), NSInteger(s));
            }
        }
    }
    return nullptr;
}

std::vector<Ref<NSIndexPath>> UITableView::indexPathsForRowsInRect(CGRect rect) const
{
    std::vector<Ref<NSIndexPath>> paths;
    for (size_t s = 0; s < sections_.size(); ++s) {
        const Section& section = sections_[s];
        for (size_t r = 0; r < section.rowY.size(); ++r) {
            if (intersects(CGRectMake(0, section.rowY[r], 1, section.rowHeights[r]), rect)) {
                paths.push_back(NSIndexPath::indexPathForRow_inSection(NSInteger(r), NSInteger(s)));
            }
        }
    }
    return paths;
}

Ref<UITableViewCell> UITableView::cellForRowAtIndexPath(const Ref<NSIndexPath>& path) const
{
    if (!path) {
        return nullptr;
    }
    auto it = visible_.find(path);
    return it == visible_.end() ? nullptr : it->second;
}

Ref<NSIndexPath> UITableView::indexPathForCell(const Ref<UITableViewCell>& cell) const
{
    for (const auto& [path, shown] : visible_) {
        if (shown == cell) {
            return path;
        }
    }
    return nullptr;
}

std::vector<Ref<UITableViewCell>> UITableView::visibleCells() const
{
    std::vector<Ref<UITableViewCell>> cells;
    for (const auto& [path, cell] : visible_) {
        cells.push_back(cell);
    }
    return cells;
}

std::vector<Ref<NSIndexPath>> UITableView::indexPathsForVisibleRows() const
{
    std::vector<Ref<NSIndexPath>> paths;
    for (const auto& [path, cell] : visible_) {
        paths.push_back(path);
    }
    return paths;
}

Ref<UIView> UITableView::headerViewForSection(NSInteger section) const
{
    return section >= 0 && section < NSInteger(sections_.size()) ? sections_[size_t(section)].header : nullptr;
}

Ref<UIView> UITableView::footerViewForSection(NSInteger section) const
{
    return section >= 0 && section < NSInteger(sections_.size()) ? sections_[size_t(section)].footer : nullptr;
}

void UITableView::scrollToRowAtIndexPath_atScrollPosition_animated(const Ref<NSIndexPath>& path,
                                                                   UITableViewScrollPosition position, bool animated)
{
    const CGRect rect = rectForRowAtIndexPath(path);
    const CGFloat height = bounds().size.height;
    if (position == UITableViewScrollPositionNone) {
        scrollRectToVisible_animated(rect, animated);
        return;
    }
    CGFloat y = rect.origin.y;
    if (position == UITableViewScrollPositionMiddle) {
        y = CGRectGetMidY(rect) - height / 2;
    } else if (position == UITableViewScrollPositionBottom) {
        y = CGRectGetMaxY(rect) - height;
    }
    setContentOffset_animated(CGPointMake(contentOffset().x, clampedContentOffset(CGPointMake(0, y)).y), animated);
}

void UITableView::scrollToNearestSelectedRowAtScrollPosition_animated(UITableViewScrollPosition position,
                                                                      bool animated)
{
    if (selected_) {
        scrollToRowAtIndexPath_atScrollPosition_animated(selected_, position, animated);
    }
}

// --- Selection ---

void UITableView::selectRowAtIndexPath_animated_scrollPosition(const Ref<NSIndexPath>& path, bool animated,
                                                               UITableViewScrollPosition position)
{
    if (!path) {
        if (selected_) {
            deselectRowAtIndexPath_animated(selected_, animated);
        }
        return;
    }
    checkIndexPath(path, "selectRowAtIndexPath:animated:scrollPosition:");
    if (selected_ && !NSIndexPathEqual(selected_, path)) {
        deselectRowAtIndexPath_animated(selected_, animated);
    }
    selected_ = NSIndexPath::indexPathForRow_inSection(path->row(), path->section());
    if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(path)) {
        cell->setSelected_animated(true, animated);
    }
    if (position != UITableViewScrollPositionNone) {
        scrollToRowAtIndexPath_atScrollPosition_animated(path, position, animated);
    }
}

void UITableView::deselectRowAtIndexPath_animated(const Ref<NSIndexPath>& path, bool animated)
{
    if (!path) {
        return;
    }
    if (NSIndexPathEqual(path, selected_)) {
        selected_ = nullptr;
    }
    if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(path)) {
        cell->setSelected_animated(false, animated);
    }
}

void UITableView::selectByUser(const Ref<NSIndexPath>& path)
{
    Ref<UITableView> me = self<UITableView>();
    Ref<UITableViewDelegate> delegate = delegate_.lock();
    Ref<NSIndexPath> target = delegate ? delegate->tableView_willSelectRowAtIndexPath(me, path) : path;
    if (!target) {
        return;
    }
    if (selected_ && !NSIndexPathEqual(selected_, target)) {
        Ref<NSIndexPath> old = selected_;
        Ref<NSIndexPath> deselect = delegate ? delegate->tableView_willDeselectRowAtIndexPath(me, old) : old;
        if (deselect) {
            deselectRowAtIndexPath_animated(deselect, false);
            if (delegate) {
                delegate->tableView_didDeselectRowAtIndexPath(me, deselect);
            }
        }
    }
    selectRowAtIndexPath_animated_scrollPosition(target, false, UITableViewScrollPositionNone);
    if (delegate) {
        delegate->tableView_didSelectRowAtIndexPath(me, target);
    }
}

bool UITableView::simulateTapOnRowAtIndexPath(const Ref<NSIndexPath>& path)
{
    checkIndexPath(path, "simulateTapOnRowAtIndexPath:");
    if (!allowsSelection_ || (editing_ && !allowsSelectionDuringEditing_)) {
        return false;
    }
    Ref<NSIndexPath> before = selected_;
    selectByUser(path);
    return selected_ != before || (selected_ && NSIndexPathEqual(selected_, path));
}

void UITableView::simulateAccessoryButtonTapOnRowAtIndexPath(const Ref<NSIndexPath>& path)
{
    checkIndexPath(path, "simulateAccessoryButtonTapOnRowAtIndexPath:");
    if (Ref<UITableViewDelegate> delegate = delegate_.lock()) {
        delegate->tableView_accessoryButtonTappedForRowWithIndexPath(self<UITableView>(), path);
    }
}

// --- Touches: a touch that begins and ends on one row selects it (a drag cancels it first) ---

void UITableView::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITouch> touch = touches.anyObject();
    touchedRow_ = nullptr;
    // A touch beside an open delete button only closes it.
    touchHidConfirmation_ = confirming_ != nullptr;
    if (touchHidConfirmation_) {
        hideDeleteConfirmation();
        return;
    }
    touchedRow_ = touch ? indexPathForRowAtPoint(touch->locationInView(self<UIView>())) : nullptr;
    if (touchedRow_ && allowsSelection_ && (!editing_ || allowsSelectionDuringEditing_)) {
        if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(touchedRow_)) {
            cell->setHighlighted(true);
        }
    }
}

void UITableView::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITouch> touch = touches.anyObject();
    if (!touch || !touchedRow_ || touchHidConfirmation_) {
        return;
    }
    if (!NSIndexPathEqual(indexPathForRowAtPoint(touch->locationInView(self<UIView>())), touchedRow_)) {
        if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(touchedRow_)) {
            cell->setHighlighted(false);
        }
        touchedRow_ = nullptr;
    }
}

void UITableView::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<NSIndexPath> row = touchedRow_;
    touchedRow_ = nullptr;
    Ref<UITouch> touch = touches.anyObject();
    if (touchHidConfirmation_ || !row || !touch) {
        touchHidConfirmation_ = false;
        return;
    }
    if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(row)) {
        cell->setHighlighted(false);
    }
    if (NSIndexPathEqual(indexPathForRowAtPoint(touch->locationInView(self<UIView>())), row) && allowsSelection_ &&
        (!editing_ || allowsSelectionDuringEditing_)) {
        selectByUser(row);
    }
}

void UITableView::touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    // (a drag of the content or a swipe cancels the touch: it selects nothing)
    touchHidConfirmation_ = false;
    if (touchedRow_) {
        if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(touchedRow_)) {
            cell->setHighlighted(false);
        }
        touchedRow_ = nullptr;
    }
}

// --- Editing ---

void UITableView::setEditing_animated(bool editing, bool animated)
{
    hideDeleteConfirmation();
    editing_ = editing;
    for (auto& [path, cell] : visible_) {
        configureEditing(cell, path);
        cell->setEditing_animated(editing, animated);
    }
}

void UITableView::configureEditing(const Ref<UITableViewCell>& cell, const Ref<NSIndexPath>& path)
{
    // Asked only while editing, as the phone does: out of it nothing shows the style.
    UITableViewCellEditingStyle style = UITableViewCellEditingStyleDelete;
    if (editing_) {
        Ref<UITableView> me = self<UITableView>();
        Ref<UITableViewDataSource> dataSource = dataSource_.lock();
        Ref<UITableViewDelegate> delegate = delegate_.lock();
        if (dataSource && !dataSource->tableView_canEditRowAtIndexPath(me, path)) {
            style = UITableViewCellEditingStyleNone;
        } else if (delegate) {
            style = delegate->tableView_editingStyleForRowAtIndexPath(me, path);
        }
    }
    cell->setRowEditingStyle(style);
}

bool UITableView::canDeleteRow(const Ref<NSIndexPath>& path)
{
    Ref<UITableView> me = self<UITableView>();
    Ref<UITableViewDataSource> dataSource = dataSource_.lock();
    Ref<UITableViewDelegate> delegate = delegate_.lock();
    if (!dataSource || !dataSource->tableView_canEditRowAtIndexPath(me, path)) {
        return false;
    }
    const UITableViewCellEditingStyle style =
        delegate ? delegate->tableView_editingStyleForRowAtIndexPath(me, path) : UITableViewCellEditingStyleDelete;
    return style == UITableViewCellEditingStyleDelete;
}

void UITableView::showDeleteConfirmation(const Ref<NSIndexPath>& path, bool swipe)
{
    hideDeleteConfirmation();
    Ref<UITableView> me = self<UITableView>();
    Ref<UITableViewDelegate> delegate = delegate_.lock();
    if (swipe && delegate) {
        delegate->tableView_willBeginEditingRowAtIndexPath(me, path);
    }
    confirming_ = path;
    confirmingBySwipe_ = swipe;
    if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(path)) {
        cell->setDeleteConfirmationTitle(
            delegate ? delegate->tableView_titleForDeleteConfirmationButtonForRowAtIndexPath(me, path) : "删除");
        cell->setShowingDeleteConfirmation(true);
    }
}

void UITableView::hideDeleteConfirmation()
{
    if (!confirming_) {
        return;
    }
    Ref<UITableView> me = self<UITableView>();
    Ref<NSIndexPath> path = confirming_;
    confirming_ = nullptr;
    if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(path)) {
        cell->setShowingDeleteConfirmation(false);
    }
    if (Ref<UITableViewDelegate> delegate = delegate_.lock(); confirmingBySwipe_ && delegate) {
        delegate->tableView_didEndEditingRowAtIndexPath(me, path);
    }
}

void UITableView::commitDelete(const Ref<NSIndexPath>& path)
{
    Ref<UITableView> me = self<UITableView>();
    const bool swipe = confirmingBySwipe_;
    confirming_ = nullptr;
    if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(path)) {
        cell->setShowingDeleteConfirmation(false);
    }
    if (Ref<UITableViewDataSource> dataSource = dataSource_.lock()) {
        dataSource->tableView_commitEditingStyle_forRowAtIndexPath(me, UITableViewCellEditingStyleDelete, path);
    }
    if (Ref<UITableViewDelegate> delegate = delegate_.lock(); swipe && delegate) {
        delegate->tableView_didEndEditingRowAtIndexPath(me, path);
    }
}

void UITableView::cellDeleteControlTapped(const Ref<UITableViewCell>& cell)
{
    Ref<NSIndexPath> path = indexPathForCell(cell);
    if (!path || !editing_) {
        return;
    }
    if (NSIndexPathEqual(path, confirming_)) {
        hideDeleteConfirmation();
    } else if (canDeleteRow(path)) {
        showDeleteConfirmation(path, false);
    }
}

void UITableView::cellDeleteButtonTapped(const Ref<UITableViewCell>& cell)
{
    Ref<NSIndexPath> path = indexPathForCell(cell);
    if (path && NSIndexPathEqual(path, confirming_)) {
        commitDelete(path);
    }
}

bool UITableView::simulateDeleteRowAtIndexPath(const Ref<NSIndexPath>& path)
{
    checkIndexPath(path, "simulateDeleteRowAtIndexPath:");
    if (!canDeleteRow(path)) {
        return false;
    }
    Ref<UITableView> me = self<UITableView>();
    Ref<UITableViewDataSource> dataSource = dataSource_.lock();
    Ref<UITableViewDelegate> delegate = delegate_.lock();
    const bool swipe = !editing_;
    if (swipe && delegate) {
        delegate->tableView_willBeginEditingRowAtIndexPath(me, path);
    }
    Ref<UITableViewCell> cell = cellForRowAtIndexPath(path);
    if (cell) {
        cell->setShowingDeleteConfirmation(true);
    }
    dataSource->tableView_commitEditingStyle_forRowAtIndexPath(me, UITableViewCellEditingStyleDelete, path);
    if (cell) {
        cell->setShowingDeleteConfirmation(false);
    }
    if (swipe && delegate) {
        delegate->tableView_didEndEditingRowAtIndexPath(me, path);
    }
    return true;
}

// --- Updates ---

void UITableView::beginUpdates() { ++updateDepth_; }

void UITableView::endUpdates()
{
    if (updateDepth_ == 0) {
        return;
    }
    if (--updateDepth_ == 0) {
        std::vector<Update> updates = std::move(pending_);
        pending_.clear();
        apply(updates);
    }
}

void UITableView::insertRowsAtIndexPaths_withRowAnimation(const std::vector<Ref<NSIndexPath>>& paths,
                                                          UITableViewRowAnimation)
{
    Update update{Update::InsertRows, paths, {}};
    updateDepth_ > 0 ? pending_.push_back(update) : apply({update});
}

void UITableView::deleteRowsAtIndexPaths_withRowAnimation(const std::vector<Ref<NSIndexPath>>& paths,
                                                          UITableViewRowAnimation)
{
    Update update{Update::DeleteRows, paths, {}};
    updateDepth_ > 0 ? pending_.push_back(update) : apply({update});
}

void UITableView::reloadRowsAtIndexPaths_withRowAnimation(const std::vector<Ref<NSIndexPath>>& paths,
                                                          UITableViewRowAnimation)
{
    Update update{Update::ReloadRows, paths, {}};
    updateDepth_ > 0 ? pending_.push_back(update) : apply({update});
}

void UITableView::insertSections_withRowAnimation(const std::set<NSInteger>& sections, UITableViewRowAnimation)
{
    Update update{Update::InsertSections, {}, sections};
    updateDepth_ > 0 ? pending_.push_back(update) : apply({update});
}

void UITableView::deleteSections_withRowAnimation(const std::set<NSInteger>& sections, UITableViewRowAnimation)
{
    Update update{Update::DeleteSections, {}, sections};
    updateDepth_ > 0 ? pending_.push_back(update) : apply({update});
}

void UITableView::reloadSections_withRowAnimation(const std::set<NSInteger>& sections, UITableViewRowAnimation)
{
    Update update{Update::ReloadSections, {}, sections};
    updateDepth_ > 0 ? pending_.push_back(update) : apply({update});
}

void UITableView::apply(const std::vector<Update>& updates)
{
    // Rows move under an open delete button: it closes.
    if (confirming_) {
        if (Ref<UITableViewCell> cell = cellForRowAtIndexPath(confirming_)) {
            cell->setShowingDeleteConfirmation(false);
        }
        confirming_ = nullptr;
    }
    if (!loaded_) {
        // Nothing was shown yet: there is no old state to move from.
        reloadData();
        return;
    }
    Ref<UITableView> me = self<UITableView>();
    const NSInteger oldCount = NSInteger(sections_.size());
    std::vector<NSInteger> oldRows;
    for (const Section& section : sections_) {
        oldRows.push_back(section.rows);
    }
    std::set<NSInteger> deletedSections;   // old indexes (reloads count as deleted and inserted)
    std::set<NSInteger> insertedSections;  // new indexes
    std::map<NSInteger, std::set<NSInteger>> deletedRows;   // by old section
    std::map<NSInteger, std::set<NSInteger>> insertedRows;  // by new section
    std::set<Ref<NSIndexPath>, NSIndexPathLess> reloadedRows;
    for (const Update& update : updates) {
        switch (update.kind) {
        case Update::DeleteSections:
        case Update::ReloadSections:
            for (NSInteger s : update.sections) {
                if (s < 0 || s >= oldCount) {
                    NSException::raise(NSInternalInconsistencyException,
                                       stringWithFormat("attempt to delete section %ld, but there are only %ld "
                                                        "sections before the update",
                                                        long(s), long(oldCount)));
                }
                deletedSections.insert(s);
                if (update.kind == Update::ReloadSections) {
                    insertedSections.insert(s);
                }
            }
            break;
        case Update::InsertSections:
            insertedSections.insert(update.sections.begin(), update.sections.end());
            break;
        case Update::DeleteRows:
        case Update::ReloadRows:
            for (const Ref<NSIndexPath>& path : update.rows) {
                if (!path || path->section() < 0 || path->section() >= oldCount || path->row() < 0 ||
                    path->row() >= oldRows[size_t(path->section())]) {
                    NSException::raise(
                        NSInternalInconsistencyException,
                        stringWithFormat("attempt to delete row %ld from section %ld which only contains %ld rows "
                                         "before the update",
                                         long(path ? path->row() : -1), long(path ? path->section() : -1),
                                         long(path && path->section() >= 0 && path->section() < oldCount
                                                  ? oldRows[size_t(path->section())]
                                                  : 0)));
                }
                if (update.kind == Update::DeleteRows) {
                    deletedRows[path->section()].insert(path->row());
                } else {
                    reloadedRows.insert(path);
                }
            }
            break;
        case Update::InsertRows:
            for (const Ref<NSIndexPath>& path : update.rows) {
                if (path) {
                    insertedRows[path->section()].insert(path->row());
                }
            }
            break;
        }
    }

    clearHeaders();
    queryStructure();
    const NSInteger newCount = NSInteger(sections_.size());
    if (oldCount - NSInteger(deletedSections.size()) + NSInteger(insertedSections.size()) != newCount) {
        NSException::raise(
            NSInternalInconsistencyException,
            stringWithFormat("Invalid update: invalid number of sections.  The number of sections contained in the "
                             "table view after the update (%ld) must be equal to the number of sections contained in "
                             "the table view before the update (%ld), plus or minus the number of sections inserted "
                             "or deleted (%ld inserted, %ld deleted).",
                             long(newCount), long(oldCount), long(insertedSections.size()),
                             long(deletedSections.size())));
    }
    // Old sections that stay, in order, become the new sections that were not inserted, in order.
    std::map<NSInteger, NSInteger> sectionMap;
    NSInteger next = 0;
    for (NSInteger s = 0; s < oldCount; ++s) {
        if (deletedSections.count(s) != 0) {
            continue;
        }
        while (insertedSections.count(next) != 0) {
            ++next;
        }
        sectionMap[s] = next++;
    }
    for (const auto& [oldSection, newSection] : sectionMap) {
        const NSInteger inserted = NSInteger(insertedRows[newSection].size());
        const NSInteger deleted = NSInteger(deletedRows[oldSection].size());
        const NSInteger expected = oldRows[size_t(oldSection)] + inserted - deleted;
        const NSInteger actual = sections_[size_t(newSection)].rows;
        if (actual != expected) {
            NSException::raise(
                NSInternalInconsistencyException,
                stringWithFormat("Invalid update: invalid number of rows in section %ld.  The number of rows "
                                 "contained in an existing section after the update (%ld) must be equal to the number "
                                 "of rows contained in that section before the update (%ld), plus or minus the number "
                                 "of rows inserted or deleted from that section (%ld inserted, %ld deleted).",
                                 long(newSection), long(actual), long(oldRows[size_t(oldSection)]), long(inserted),
                                 long(deleted)));
        }
    }
    for (const auto& [section, rows] : insertedRows) {
        if (section < 0 || section >= newCount || (!rows.empty() && *rows.rbegin() >= sections_[size_t(section)].rows) ||
            (!rows.empty() && *rows.begin() < 0)) {
            NSException::raise(NSInternalInconsistencyException,
                               stringWithFormat("attempt to insert row into section %ld, but there are only %ld rows "
                                                "in section %ld after the update",
                                                long(section),
                                                long(section >= 0 && section < newCount ? sections_[size_t(section)].rows
                                                                                        : 0),
                                                long(section)));
        }
    }

    // Where an old row is now (nil: it went).
    auto move = [&](const Ref<NSIndexPath>& path) -> Ref<NSIndexPath> {
        if (!path) {
            return nullptr;
        }
        auto mapped = sectionMap.find(path->section());
        if (mapped == sectionMap.end()) {
            return nullptr;
        }
        const std::set<NSInteger>& gone = deletedRows[path->section()];
        if (gone.count(path->row()) != 0) {
            return nullptr;
        }
        NSInteger row = path->row() - NSInteger(std::distance(gone.begin(), gone.lower_bound(path->row())));
        for (NSInteger inserted : insertedRows[mapped->second]) {
            if (inserted <= row) {
                ++row;
            }
        }
        return NSIndexPath::indexPathForRow_inSection(row, mapped->second);
    };

    CellMap moved;
    for (auto& [path, cell] : visible_) {
        Ref<NSIndexPath> to = reloadedRows.count(path) != 0 ? nullptr : move(path);
        if (to) {
            moved[to] = cell;
        } else {
            enqueue(cell);
        }
    }
    visible_ = std::move(moved);
    selected_ = move(selected_);
    placeSections();
    tile();
}
