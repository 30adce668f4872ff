#pragma once
// Tables: rows in sections, given by a data source and shaped by a delegate, with cells made for the
// rows that show and reused by identifier.
//
// reloadData asks, in this order, the number of sections, then for each section the header and
// footer heights, its number of rows and the height of every row (the delegate's, else rowHeight),
// lays the sections out one under the other below the table header view and above the table footer
// view, sets the content size, and asks for the cells of the rows that intersect the visible band
// (the bounds: content offset and size) - those only. Scrolling asks for the cells of the rows that
// come into the band and puts the cells that leave it in the reuse queue of their identifier, from
// which dequeueReusableCellWithIdentifier takes them (calling prepareForReuse). A table that was never
// loaded loads itself when it is laid out (as when it first shows in a window).
//
// Header and footer heights, when the delegate gives none (answers UITableViewDefaultHeight, which is
// what it does unless overridden): the height of the delegate's view for it; else, with a title,
// sectionHeaderHeight (22 in plain tables, 36 in grouped ones); else 0 in plain tables and
// sectionHeaderHeight (10) in grouped ones. Footers alike with sectionFooterHeight. A title without a
// view shows as a label.
//
// Updates: insert and delete rows and sections (batched between beginUpdates and endUpdates, or one
// call at a time) check the data source's new counts against the old ones plus insertions minus
// deletions, and throw NSInternalInconsistencyException ("Invalid update: ...") as the platform does
// when they differ. Cells of rows that remain keep their cells; new rows are asked for theirs.
//
// Selection: selectRowAtIndexPath and deselectRowAtIndexPath only change the state, as on the phone.
// A tap on a row (a touch that begins and ends on it, through the window; or simulateTapOnRow) runs
// the user's selection: willSelect (which may redirect or refuse), willDeselect/didDeselect of the
// previous row, then didSelect. simulateDeleteRowAtIndexPath is a swipe (or the editing control) and
// the Delete button: it commits the deletion when the data source lets the row be edited and its
// editing style is delete.
// Deleting by touch, as on the phone: in editing mode a row whose style is delete shows a red round
// delete control; a tap on it shows the row's delete button (the delegate's title, "删除" by
// default). Out of editing mode a sideways swipe (10 points across, less than half that down) on a row
// of a data source that commits deletions and lets the row be edited shows the same button (the delegate hears will-begin and did-end editing the row). A tap on the
// button commits the deletion through the data source; a touch anywhere else on the table hides it
// and does nothing more.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableViewCell.h"

class UIColor;
class UITableView;

enum UITableViewStyle : NSInteger { UITableViewStylePlain = 0, UITableViewStyleGrouped = 1 };

enum UITableViewScrollPosition : NSInteger {
    UITableViewScrollPositionNone = 0,
    UITableViewScrollPositionTop = 1,
    UITableViewScrollPositionMiddle = 2,
    UITableViewScrollPositionBottom = 3,
};

enum UITableViewRowAnimation : NSInteger {
    UITableViewRowAnimationFade = 0,
    UITableViewRowAnimationRight = 1,
    UITableViewRowAnimationLeft = 2,
    UITableViewRowAnimationTop = 3,
    UITableViewRowAnimationBottom = 4,
    UITableViewRowAnimationNone = 5,
    UITableViewRowAnimationMiddle = 6,
    UITableViewRowAnimationAutomatic = 100,
};

// A height answer meaning "none given": the table uses its default.
inline constexpr CGFloat UITableViewDefaultHeight = -1;

// The data source (a protocol). The rows and the cells are required on the phone; here they default
// to no rows, and a missing cell for a row that shows throws as it does on the phone.
class UITableViewDataSource {
public:
    virtual ~UITableViewDataSource() = default;
    virtual NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return 0;
    }
    virtual Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                 const Ref<NSIndexPath>& indexPath)
    {
        return nullptr;
    }
    virtual NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) { return 1; }
    // Empty: no title.
    virtual std::string tableView_titleForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return {};
    }
    virtual std::string tableView_titleForFooterInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return {};
    }
    virtual bool tableView_canEditRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath)
    {
        return true;
    }
    virtual bool tableView_canMoveRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath)
    {
        return false;
    }
    virtual void tableView_commitEditingStyle_forRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                UITableViewCellEditingStyle editingStyle,
                                                                const Ref<NSIndexPath>& indexPath)
    {
    }
    // Whether the data source commits deletions itself (on the phone: whether it answers the message
    // above). Only then does a sideways swipe on a row offer its delete button.
    virtual bool respondsToCommitEditingStyle() const { return false; }
    virtual void tableView_moveRowAtIndexPath_toIndexPath(const Ref<UITableView>& tableView,
                                                          const Ref<NSIndexPath>& from, const Ref<NSIndexPath>& to)
    {
    }
    virtual std::vector<std::string> sectionIndexTitlesForTableView(const Ref<UITableView>& tableView) { return {}; }
};

// The delegate (a protocol: every method is optional). It is also the table's scroll-view delegate.
class UITableViewDelegate : public virtual UIScrollViewDelegate {
public:
    virtual CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                      const Ref<NSIndexPath>& indexPath)
    {
        return UITableViewDefaultHeight;
    }
    virtual CGFloat tableView_heightForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return UITableViewDefaultHeight;
    }
    virtual CGFloat tableView_heightForFooterInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return UITableViewDefaultHeight;
    }
    virtual Ref<UIView> tableView_viewForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return nullptr;
    }
    virtual Ref<UIView> tableView_viewForFooterInSection(const Ref<UITableView>& tableView, NSInteger section)
    {
        return nullptr;
    }
    virtual void tableView_willDisplayCell_forRowAtIndexPath(const Ref<UITableView>& tableView,
                                                             const Ref<UITableViewCell>& cell,
                                                             const Ref<NSIndexPath>& indexPath)
    {
    }
    // Answers the row to select instead (nil: none).
    virtual Ref<NSIndexPath> tableView_willSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                const Ref<NSIndexPath>& indexPath)
    {
        return indexPath;
    }
    virtual Ref<NSIndexPath> tableView_willDeselectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                  const Ref<NSIndexPath>& indexPath)
    {
        return indexPath;
    }
    virtual void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath)
    {
    }
    virtual void tableView_didDeselectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                     const Ref<NSIndexPath>& indexPath)
    {
    }
    virtual void tableView_accessoryButtonTappedForRowWithIndexPath(const Ref<UITableView>& tableView,
                                                                    const Ref<NSIndexPath>& indexPath)
    {
    }
    virtual UITableViewCellEditingStyle tableView_editingStyleForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                                const Ref<NSIndexPath>& indexPath)
    {
        return UITableViewCellEditingStyleDelete;
    }
    virtual std::string tableView_titleForDeleteConfirmationButtonForRowAtIndexPath(
        const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath)
    {
        return "删除";  // the device speaks Chinese
    }
    virtual bool tableView_shouldIndentWhileEditingRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                  const Ref<NSIndexPath>& indexPath)
    {
        return true;
    }
    virtual void tableView_willBeginEditingRowAtIndexPath(const Ref<UITableView>& tableView,
                                                          const Ref<NSIndexPath>& indexPath)
    {
    }
    virtual void tableView_didEndEditingRowAtIndexPath(const Ref<UITableView>& tableView,
                                                       const Ref<NSIndexPath>& indexPath)
    {
    }
    virtual NSInteger tableView_indentationLevelForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                  const Ref<NSIndexPath>& indexPath)
    {
        return 0;
    }
};

class UITableView : public UIScrollView {
public:
    static Ref<UITableView> initWithFrame_style(CGRect frame, UITableViewStyle style)
    {
        return makeWithFrameStyle<UITableView>(frame, style);
    }
    static Ref<UITableView> initWithFrame(CGRect frame) { return makeWithFrame<UITableView>(frame); }
    static Ref<UITableView> create() { return makeWithFrame<UITableView>(CGRectZero); }
    template <class T>
    static Ref<T> makeWithFrameStyle(CGRect frame, UITableViewStyle style)
    {
        auto table = std::make_shared<T>();
        table->initWithFrame_styleBody(frame, style);
        return table;
    }

    UITableViewStyle style() const { return style_; }

    Ref<UITableViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(const Ref<UITableViewDataSource>& dataSource);
    Ref<UITableViewDelegate> tableDelegate() const { return delegate_.lock(); }
    // The delegate is also the scroll-view delegate; an object that is only a scroll-view delegate
    // hears the scrolling only. (A class derives from UITableViewDelegate alone, which brings the
    // scroll-view delegate as a virtual base.)
    void setDelegate(const Ref<UIScrollViewDelegate>& delegate) override;

    // --- Metrics and look ---
    CGFloat rowHeight() const { return rowHeight_; }
    void setRowHeight(CGFloat height) { rowHeight_ = height; }
    CGFloat sectionHeaderHeight() const { return sectionHeaderHeight_; }
    void setSectionHeaderHeight(CGFloat height) { sectionHeaderHeight_ = height; }
    CGFloat sectionFooterHeight() const { return sectionFooterHeight_; }
    void setSectionFooterHeight(CGFloat height) { sectionFooterHeight_ = height; }
    UITableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
    void setSeparatorStyle(UITableViewCellSeparatorStyle style) { separatorStyle_ = style; }
    Ref<UIColor> separatorColor() const { return separatorColor_; }
    void setSeparatorColor(const Ref<UIColor>& color) { separatorColor_ = color; }
    Ref<UIView> backgroundView() const { return backgroundView_; }
    void setBackgroundView(const Ref<UIView>& view);
    Ref<UIView> tableHeaderView() const { return tableHeaderView_; }
    void setTableHeaderView(const Ref<UIView>& view);
    Ref<UIView> tableFooterView() const { return tableFooterView_; }
    void setTableFooterView(const Ref<UIView>& view);
    bool allowsSelection() const { return allowsSelection_; }
    void setAllowsSelection(bool allows) { allowsSelection_ = allows; }
    bool allowsSelectionDuringEditing() const { return allowsSelectionDuringEditing_; }
    void setAllowsSelectionDuringEditing(bool allows) { allowsSelectionDuringEditing_ = allows; }

    // --- Data ---
    void reloadData();
    bool hasLoadedData() const { return loaded_; }
    NSInteger numberOfSections() const { return NSInteger(sections_.size()); }
    NSInteger numberOfRowsInSection(NSInteger section) const;
    Ref<UITableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
    // Cells waiting in the reuse queue of an identifier.
    size_t reusableCellCount(const std::string& identifier) const;

    // --- Geometry (content coordinates) ---
    CGRect rectForSection(NSInteger section) const;
    CGRect rectForHeaderInSection(NSInteger section) const;
    CGRect rectForFooterInSection(NSInteger section) const;
    CGRect rectForRowAtIndexPath(const Ref<NSIndexPath>& indexPath) const;
    Ref<NSIndexPath> indexPathForRowAtPoint(CGPoint point) const;
    std::vector<Ref<NSIndexPath>> indexPathsForRowsInRect(CGRect rect) const;
    // The cell of a row that shows (nil otherwise).
    Ref<UITableViewCell> cellForRowAtIndexPath(const Ref<NSIndexPath>& indexPath) const;
    Ref<NSIndexPath> indexPathForCell(const Ref<UITableViewCell>& cell) const;
    // In row order.
    std::vector<Ref<UITableViewCell>> visibleCells() const;
    std::vector<Ref<NSIndexPath>> indexPathsForVisibleRows() const;
    // The header or footer view showing for a section (the delegate's, or the title label).
    Ref<UIView> headerViewForSection(NSInteger section) const;
    Ref<UIView> footerViewForSection(NSInteger section) const;
    void scrollToRowAtIndexPath_atScrollPosition_animated(const Ref<NSIndexPath>& indexPath,
                                                          UITableViewScrollPosition position, bool animated);
    void scrollToNearestSelectedRowAtScrollPosition_animated(UITableViewScrollPosition position, bool animated);

    // --- Selection ---
    Ref<NSIndexPath> indexPathForSelectedRow() const { return selected_; }
    void selectRowAtIndexPath_animated_scrollPosition(const Ref<NSIndexPath>& indexPath, bool animated,
                                                      UITableViewScrollPosition position);
    void deselectRowAtIndexPath_animated(const Ref<NSIndexPath>& indexPath, bool animated);

    // --- Editing and updates ---
    bool isEditing() const { return editing_; }
    bool editing() const { return editing_; }
    void setEditing(bool editing) { setEditing_animated(editing, false); }
    virtual void setEditing_animated(bool editing, bool animated);
    void beginUpdates();
    void endUpdates();
    void insertRowsAtIndexPaths_withRowAnimation(const std::vector<Ref<NSIndexPath>>& indexPaths,
                                                 UITableViewRowAnimation animation);
    void deleteRowsAtIndexPaths_withRowAnimation(const std::vector<Ref<NSIndexPath>>& indexPaths,
                                                 UITableViewRowAnimation animation);
    void reloadRowsAtIndexPaths_withRowAnimation(const std::vector<Ref<NSIndexPath>>& indexPaths,
                                                 UITableViewRowAnimation animation);
    // Section indexes (the platform's NSIndexSet).
    void insertSections_withRowAnimation(const std::set<NSInteger>& sections, UITableViewRowAnimation animation);
    void deleteSections_withRowAnimation(const std::set<NSInteger>& sections, UITableViewRowAnimation animation);
    void reloadSections_withRowAnimation(const std::set<NSInteger>& sections, UITableViewRowAnimation animation);

    // --- Test driving ---
    // The user taps a row: the selection path described at the top. False when selection is off or
    // the delegate refused.
    bool simulateTapOnRowAtIndexPath(const Ref<NSIndexPath>& indexPath);
    // The user deletes a row (swipe or editing control, then Delete): false when not allowed.
    bool simulateDeleteRowAtIndexPath(const Ref<NSIndexPath>& indexPath);
    // The row whose delete button shows (after a tap on its delete control or a swipe), or null.
    Ref<NSIndexPath> indexPathForDeleteConfirmation() const { return confirming_; }
    // The user taps the detail disclosure button of a row.
    void simulateAccessoryButtonTapOnRowAtIndexPath(const Ref<NSIndexPath>& indexPath);
    void layoutSubviews() override;
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

    void initWithFrameBody(CGRect frame) override;
    virtual void initWithFrame_styleBody(CGRect frame, UITableViewStyle style);
    ~UITableView() override;

    // The recogniser of a sideways swipe on a row (seen before the recognisers of the views around
    // the table, so a swipe on a deletable row is not a side menu's pan).
    Ref<UIGestureRecognizer> swipeToDeleteRecognizer() const { return swipeToDelete_; }

    // --- For cells: their delete control and delete button were tapped ---
    void cellDeleteControlTapped(const Ref<UITableViewCell>& cell);
    void cellDeleteButtonTapped(const Ref<UITableViewCell>& cell);

protected:
    void contentOffsetDidChange() override;

private:
    // Whether the row may be deleted by the person (the data source lets it be edited, its style is
    // delete), and its delete button shown or hidden (a swipe's begins and ends the row's editing).
    bool canDeleteRow(const Ref<NSIndexPath>& path);
    void showDeleteConfirmation(const Ref<NSIndexPath>& path, bool swipe);
    void hideDeleteConfirmation();
    void commitDelete(const Ref<NSIndexPath>& path);
    void configureEditing(const Ref<UITableViewCell>& cell, const Ref<NSIndexPath>& path);

    struct Section {
        NSInteger rows = 0;
        CGFloat y = 0;  // top of the header
        CGFloat headerHeight = 0;
        CGFloat footerHeight = 0;
        std::vector<CGFloat> rowY;  // tops of the rows
        std::vector<CGFloat> rowHeights;
        Ref<UIView> header;  // showing header and footer views
        Ref<UIView> footer;
        CGFloat height() const;
    };
    struct Update {
        enum Kind { InsertRows, DeleteRows, ReloadRows, InsertSections, DeleteSections, ReloadSections } kind;
        std::vector<Ref<NSIndexPath>> rows;
        std::set<NSInteger> sections;
    };
    using CellMap = std::map<Ref<NSIndexPath>, Ref<UITableViewCell>, NSIndexPathLess>;

    void queryStructure();
    CGFloat headerHeight(NSInteger section, bool footer);
    void placeSections();
    void tile();
    void enqueue(const Ref<UITableViewCell>& cell);
    Ref<UIView> makeHeaderView(NSInteger section, bool footer);
    void clearHeaders();
    void apply(const std::vector<Update>& updates);
    void checkIndexPath(const Ref<NSIndexPath>& indexPath, const char* what) const;
    void selectByUser(const Ref<NSIndexPath>& indexPath);
    void placeFixedViews();

    UITableViewStyle style_ = UITableViewStylePlain;
    Weak<UITableViewDataSource> dataSource_;
    Weak<UITableViewDelegate> delegate_;
    CGFloat rowHeight_ = 44;
    CGFloat sectionHeaderHeight_ = 22;
    CGFloat sectionFooterHeight_ = 22;
    UITableViewCellSeparatorStyle separatorStyle_ = UITableViewCellSeparatorStyleSingleLine;
    Ref<UIColor> separatorColor_;
    Ref<UIView> backgroundView_;
    Ref<UIView> tableHeaderView_;
    Ref<UIView> tableFooterView_;
    bool allowsSelection_ = true;
    bool allowsSelectionDuringEditing_ = false;
    bool editing_ = false;
    Ref<NSIndexPath> confirming_;
    bool confirmingBySwipe_ = false;
    bool touchHidConfirmation_ = false;
    Ref<UIGestureRecognizer> swipeToDelete_;
    friend class UITableViewSwipeToDelete;
    bool loaded_ = false;
    bool tiling_ = false;
    std::vector<Section> sections_;
    CellMap visible_;
    std::map<std::string, std::vector<Ref<UITableViewCell>>> reuse_;
    Ref<NSIndexPath> selected_;
    int updateDepth_ = 0;
    std::vector<Update> pending_;
    Ref<NSIndexPath> touchedRow_;
};
