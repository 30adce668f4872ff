#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSException.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewController.h"

namespace {

Ref<NSIndexPath> path(NSInteger section, NSInteger row) { return NSIndexPath::indexPathForRow_inSection(row, section); }

// A data source and delegate over a list of sections, counting what the table asks.
class Feed : public NSObject, public UITableViewDataSource, public UITableViewDelegate {
public:
    std::vector<std::vector<std::string>> sections{{}};
    std::map<std::pair<NSInteger, NSInteger>, CGFloat> heights;  // (section, row) -> height
    std::vector<std::string> headerTitles;
    std::map<NSInteger, CGFloat> headerHeights;
    std::map<NSInteger, CGFloat> footerViewHeights;
    int sectionQuestions = 0;
    int rowQuestions = 0;
    int heightQuestions = 0;
    std::vector<std::string> cellsAskedFor;
    int cellsMade = 0;
    std::vector<std::string> events;
    Ref<NSIndexPath> redirect;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>&) override
    {
        ++sectionQuestions;
        return NSInteger(sections.size());
    }
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger section) override
    {
        ++rowQuestions;
        return NSInteger(sections[size_t(section)].size());
    }
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        ++heightQuestions;
        auto it = heights.find({p->section(), p->row()});
        return it == heights.end() ? UITableViewDefaultHeight : it->second;
    }
    std::string tableView_titleForHeaderInSection(const Ref<UITableView>&, NSInteger section) override
    {
        return size_t(section) < headerTitles.size() ? headerTitles[size_t(section)] : std::string();
    }
    CGFloat tableView_heightForHeaderInSection(const Ref<UITableView>&, NSInteger section) override
    {
        auto it = headerHeights.find(section);
        return it == headerHeights.end() ? UITableViewDefaultHeight : it->second;
    }
    Ref<UIView> tableView_viewForFooterInSection(const Ref<UITableView>&, NSInteger section) override
    {
        auto it = footerViewHeights.find(section);
        return it == footerViewHeights.end() ? nullptr : UIView::initWithFrame(CGRectMake(0, 0, 320, it->second));
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& table,
                                                         const Ref<NSIndexPath>& p) override
    {
        const std::string& text = sections[size_t(p->section())][size_t(p->row())];
        cellsAskedFor.push_back(text);
        Ref<UITableViewCell> cell = table->dequeueReusableCellWithIdentifier("Cell");
        if (!cell) {
            cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Cell");
            ++cellsMade;
        }
        cell->textLabel()->setText(text);
        return cell;
    }
    Ref<NSIndexPath> tableView_willSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        events.push_back("will select " + sections[size_t(p->section())][size_t(p->row())]);
        return redirect ? redirect : p;
    }
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        events.push_back("did select " + sections[size_t(p->section())][size_t(p->row())]);
    }
    void tableView_didDeselectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        events.push_back("did deselect " + sections[size_t(p->section())][size_t(p->row())]);
    }
    void tableView_commitEditingStyle_forRowAtIndexPath(const Ref<UITableView>& table, UITableViewCellEditingStyle,
                                                        const Ref<NSIndexPath>& p) override
    {
        auto& rows = sections[size_t(p->section())];
        events.push_back("delete " + rows[size_t(p->row())]);
        rows.erase(rows.begin() + p->row());
        table->deleteRowsAtIndexPaths_withRowAnimation({p}, UITableViewRowAnimationFade);
    }
    bool tableView_canEditRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        return p->row() != 0;
    }
    void scrollViewDidScroll(const Ref<UIScrollView>&) override { events.push_back("scroll"); }

    void fill(size_t section, size_t count, const std::string& prefix)
    {
        sections.resize(std::max(sections.size(), section + 1));
        sections[section].clear();
        for (size_t i = 0; i < count; ++i) {
            sections[section].push_back(prefix + std::to_string(i));
        }
    }
    std::vector<std::string> takeCells() { return std::exchange(cellsAskedFor, {}); }
};

struct TableStage : Stage {
    Ref<Feed> feed = std::make_shared<Feed>();
    Ref<UITableView> table = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 200), UITableViewStylePlain);
    TableStage()
    {
        table->setDataSource(feed);
        table->setDelegate(feed);
        window->addSubview(table);
    }
};

std::vector<std::string> texts(const std::vector<Ref<UITableViewCell>>& cells)
{
    std::vector<std::string> out;
    for (const auto& cell : cells) {
        out.push_back(cell->textLabel()->text());
    }
    return out;
}

}  // namespace

TEST(UITableViewTest, ReloadAsksRowsAndHeightsButOnlyTheVisibleCells)
{
    TableStage stage;
    stage.feed->fill(0, 100, "r");
    stage.feed->heights[{0, 1}] = 100;  // rows: 44, 100, 44, ... in a 200-point band
    stage.table->reloadData();
    EXPECT_EQ(stage.feed->sectionQuestions, 1);
    EXPECT_EQ(stage.feed->rowQuestions, 1);
    EXPECT_EQ(stage.feed->heightQuestions, 100);
    EXPECT_EQ(stage.feed->takeCells(), (std::vector<std::string>{"r0", "r1", "r2", "r3"}));
    EXPECT_EQ(stage.table->contentSize(), CGSizeMake(320, 99 * 44 + 100));
    EXPECT_EQ(texts(stage.table->visibleCells()), (std::vector<std::string>{"r0", "r1", "r2", "r3"}));
    EXPECT_EQ(stage.table->cellForRowAtIndexPath(path(0, 2))->frame(), CGRectMake(0, 144, 320, 44));
    EXPECT_FALSE(stage.table->cellForRowAtIndexPath(path(0, 4)));

    // Scrolling past two rows (144 points): they go to the reuse queue and come back as new rows.
    stage.table->setContentOffset(CGPointMake(0, 144));
    EXPECT_EQ(stage.feed->takeCells(), (std::vector<std::string>{"r4", "r5", "r6"}));
    EXPECT_EQ(stage.feed->cellsMade, 5);
    EXPECT_EQ(texts(stage.table->visibleCells()), (std::vector<std::string>{"r2", "r3", "r4", "r5", "r6"}));
    EXPECT_EQ(stage.table->reusableCellCount("Cell"), 0u);
    stage.table->setContentOffset(CGPointMake(0, 1000));
    EXPECT_EQ(stage.feed->cellsMade, 5);  // every cell came from the queue
    EXPECT_EQ(stage.table->indexPathsForVisibleRows().front()->row(), 21);

    // A reload gives every cell back to the queue before asking again.
    stage.feed->takeCells();
    stage.table->reloadData();
    EXPECT_EQ(stage.feed->cellsMade, 5);
}

TEST(UITableViewTest, ContentSizeCountsHeadersFootersAndTheTableViews)
{
    TableStage stage;
    stage.feed->fill(0, 2, "a");
    stage.feed->fill(1, 3, "b");
    stage.feed->fill(2, 1, "c");
    stage.feed->headerTitles = {"First", "", "Third"};
    stage.feed->headerHeights[1] = 30;      // a height without a title or view
    stage.feed->footerViewHeights[2] = 15;  // a footer view without a height
    stage.table->setTableHeaderView(UIView::initWithFrame(CGRectMake(0, 0, 100, 50)));
    stage.table->setTableFooterView(UIView::initWithFrame(CGRectMake(0, 0, 100, 40)));
    stage.table->reloadData();
    // 50 + (22 + 88) + (30 + 132) + (22 + 44 + 15) + 40
    EXPECT_EQ(stage.table->contentSize().height, 443);
    EXPECT_EQ(stage.table->rectForHeaderInSection(1), CGRectMake(0, 160, 320, 30));
    EXPECT_EQ(stage.table->rectForRowAtIndexPath(path(2, 0)), CGRectMake(0, 344, 320, 44));
    EXPECT_EQ(stage.table->rectForFooterInSection(2), CGRectMake(0, 388, 320, 15));
    EXPECT_EQ(stage.table->tableFooterView()->frame(), CGRectMake(0, 403, 320, 40));
    EXPECT_EQ(stage.table->tableHeaderView()->frame().size.width, 320);
    auto header = std::dynamic_pointer_cast<UILabel>(stage.table->headerViewForSection(0));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->text(), "First");
    // Its text keeps off the table's edge, as the rows' text does; its background spans the width.
    header->layer()->display();
    const auto records = header->layer()->drawing()->records();
    const auto text = std::find_if(records.begin(), records.end(),
                                   [](const CGDrawingRecord& r) { return r.kind == CGDrawingRecord::kText; });
    ASSERT_NE(text, records.end());
    EXPECT_EQ(text->rect.origin.x, 10);
    EXPECT_EQ(header->frame().size.width, 320);
    EXPECT_EQ(stage.table->indexPathForRowAtPoint(CGPointMake(10, 200))->row(), 0);
    EXPECT_EQ(stage.table->indexPathForRowAtPoint(CGPointMake(10, 200))->section(), 1);
    EXPECT_FALSE(stage.table->indexPathForRowAtPoint(CGPointMake(10, 60)));  // a header
    EXPECT_FALSE(stage.table->indexPathForRowAtPoint(CGPointMake(10, 430)));  // the table footer

    // Grouped tables keep a gap for sections without a title, and more room for titles.
    auto grouped = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 480), UITableViewStyleGrouped);
    auto feed = std::make_shared<Feed>();
    feed->fill(0, 1, "g");
    feed->fill(1, 1, "h");
    feed->headerTitles = {"", "Titled"};
    grouped->setDataSource(feed);
    grouped->setDelegate(feed);
    grouped->reloadData();
    // (10 + 44 + 10) + (36 + 44 + 10)
    EXPECT_EQ(grouped->contentSize().height, 154);
}

TEST(UITableViewTest, UpdatesKeepCellsAndRefuseInconsistentCounts)
{
    TableStage stage;
    stage.feed->fill(0, 3, "r");
    stage.table->reloadData();
    Ref<UITableViewCell> r1 = stage.table->cellForRowAtIndexPath(path(0, 1));
    Ref<UITableViewCell> r2 = stage.table->cellForRowAtIndexPath(path(0, 2));
    stage.table->selectRowAtIndexPath_animated_scrollPosition(path(0, 2), false, UITableViewScrollPositionNone);
    stage.feed->takeCells();

    auto& rows = stage.feed->sections[0];
    rows.insert(rows.begin(), "new");
    rows.erase(rows.begin() + 2);  // r1 goes
    stage.table->beginUpdates();
    stage.table->deleteRowsAtIndexPaths_withRowAnimation({path(0, 1)}, UITableViewRowAnimationFade);
    stage.table->insertRowsAtIndexPaths_withRowAnimation({path(0, 0)}, UITableViewRowAnimationFade);
    stage.table->endUpdates();
    EXPECT_EQ(stage.feed->takeCells(), std::vector<std::string>{"new"});
    EXPECT_EQ(stage.table->cellForRowAtIndexPath(path(0, 2)), r2);  // r2 moved but kept its cell
    EXPECT_EQ(stage.table->cellForRowAtIndexPath(path(0, 0)), r1);  // the deleted row's cell, reused
    EXPECT_EQ(stage.table->indexPathForSelectedRow()->row(), 2);
    EXPECT_EQ(stage.table->contentSize().height, 132);

    // The data source forgot to add the row it announces: the platform's exception.
    try {
        stage.table->insertRowsAtIndexPaths_withRowAnimation({path(0, 3)}, UITableViewRowAnimationNone);
        FAIL() << "an inconsistent update was accepted";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), NSInternalInconsistencyException);
        EXPECT_NE(e.reason().find("invalid number of rows in section 0"), std::string::npos);
    }
}

TEST(UITableViewTest, TapsSelectThroughTheDelegate)
{
    TableStage stage;
    stage.feed->fill(0, 5, "r");
    stage.table->reloadData();
    stage.window->simulateTap(CGPointMake(100, 50));  // row 1
    EXPECT_EQ(stage.feed->events, (std::vector<std::string>{"will select r1", "did select r1"}));
    EXPECT_TRUE(stage.table->cellForRowAtIndexPath(path(0, 1))->isSelected());
    EXPECT_TRUE(stage.table->cellForRowAtIndexPath(path(0, 1))->textLabel()->isHighlighted());

    // willSelect may send the selection elsewhere; the old row is deselected first.
    stage.feed->events.clear();
    stage.feed->redirect = path(0, 3);
    EXPECT_TRUE(stage.table->simulateTapOnRowAtIndexPath(path(0, 2)));
    EXPECT_EQ(stage.feed->events,
              (std::vector<std::string>{"will select r2", "did deselect r1", "did select r3"}));
    EXPECT_FALSE(stage.table->cellForRowAtIndexPath(path(0, 1))->isSelected());
    EXPECT_EQ(stage.table->indexPathForSelectedRow()->row(), 3);

    // A touch that leaves its row (dragging the table) selects nothing.
    stage.feed->events.clear();
    stage.window->simulateTouchBegan(CGPointMake(100, 10));
    stage.window->simulateTouchMoved(CGPointMake(100, 120));
    stage.window->simulateTouchEnded();
    for (const std::string& event : stage.feed->events) {
        EXPECT_EQ(event.find("select"), std::string::npos) << event;
    }

    stage.table->setAllowsSelection(false);
    EXPECT_FALSE(stage.table->simulateTapOnRowAtIndexPath(path(0, 0)));
}

TEST(UITableViewTest, DeletingARowCommitsThroughTheDataSource)
{
    TableStage stage;
    stage.feed->fill(0, 3, "r");
    stage.table->reloadData();
    EXPECT_FALSE(stage.table->simulateDeleteRowAtIndexPath(path(0, 0)));  // not editable
    EXPECT_TRUE(stage.table->simulateDeleteRowAtIndexPath(path(0, 1)));
    EXPECT_EQ(stage.feed->events, std::vector<std::string>{"delete r1"});
    EXPECT_EQ(stage.table->numberOfRowsInSection(0), 2);
    EXPECT_EQ(texts(stage.table->visibleCells()), (std::vector<std::string>{"r0", "r2"}));
}

namespace {

// A list whose rows are deleted by touch: it hears the row's editing begin and end and titles the
// delete button itself.
class EditingFeed : public Feed {
public:
    bool respondsToCommitEditingStyle() const override { return true; }
    void tableView_willBeginEditingRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        events.push_back("will edit " + sections[0][size_t(p->row())]);
    }
    void tableView_didEndEditingRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
    {
        events.push_back("did end " + (size_t(p->row()) < sections[0].size() ? sections[0][size_t(p->row())] : "?"));
    }
    std::string tableView_titleForDeleteConfirmationButtonForRowAtIndexPath(const Ref<UITableView>&,
                                                                           const Ref<NSIndexPath>&) override
    {
        return "取消关注";
    }
};

CGPoint rowPartMiddle(const Ref<UIView>& view)
{
    const CGRect b = view->bounds();
    return view->convertPoint_toView(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)), nullptr);
}

}  // namespace

TEST(UITableViewTest, TouchesDeleteARowThroughItsDeleteControlOrASwipe)
{
    TableStage stage;
    auto feed = std::make_shared<EditingFeed>();
    stage.table->setDataSource(feed);
    stage.table->setDelegate(feed);
    feed->fill(0, 4, "r");
    stage.table->reloadData();
    auto cell = [&](NSInteger row) { return stage.table->cellForRowAtIndexPath(path(0, row)); };
    auto swipe = [&](NSInteger row, CGFloat dx, CGFloat dy) {
        const CGRect r = stage.table->rectForRowAtIndexPath(path(0, row));
        const CGPoint from = CGPointMake(250, CGRectGetMidY(r));
        stage.window->simulateTouchBegan(from);
        for (int step = 1; step <= 4; ++step) {
            stage.window->simulateTouchMoved(CGPointMake(from.x + dx * step / 4, from.y + dy * step / 4));
        }
        stage.window->simulateTouchEnded();
    };

    // Editing mode: the red control on the rows that may be edited; a tap on it opens the button.
    stage.table->setEditing(true);
    EXPECT_FALSE(cell(0)->deleteControl());
    ASSERT_TRUE(cell(1)->deleteControl());
    EXPECT_FALSE(cell(1)->deleteConfirmationButton());
    EXPECT_GE(cell(1)->contentView()->frame().origin.x, CGRectGetMaxX(cell(1)->deleteControl()->frame()));
    stage.window->simulateTap(rowPartMiddle(cell(1)->deleteControl()));
    ASSERT_TRUE(cell(1)->deleteConfirmationButton());
    EXPECT_EQ(cell(1)->deleteConfirmationButton()->titleForState(UIControlStateNormal), "取消关注");
    EXPECT_LE(CGRectGetMaxX(cell(1)->contentView()->frame()), cell(1)->deleteConfirmationButton()->frame().origin.x);
    EXPECT_TRUE(NSIndexPathEqual(stage.table->indexPathForDeleteConfirmation(), path(0, 1)));
    // A touch anywhere else closes it and does nothing more.
    stage.window->simulateTap(rowPartMiddle(cell(2)));
    EXPECT_FALSE(cell(1)->deleteConfirmationButton());
    EXPECT_TRUE(feed->events.empty());
    // Control, then the button: the data source commits the deletion.
    stage.window->simulateTap(rowPartMiddle(cell(1)->deleteControl()));
    stage.window->simulateTap(rowPartMiddle(cell(1)->deleteConfirmationButton()));
    EXPECT_EQ(feed->events, std::vector<std::string>{"delete r1"});
    EXPECT_EQ(texts(stage.table->visibleCells()), (std::vector<std::string>{"r0", "r2", "r3"}));

    // Out of editing mode no control shows, and a sideways swipe opens the button on editable rows.
    stage.table->setEditing(false);
    EXPECT_FALSE(cell(1)->deleteControl());
    feed->events.clear();
    swipe(0, -80, 2);  // r0 may not be edited: the row keeps its touch
    swipe(1, 0, 8);    // not sideways: a tap
    swipe(1, -8, 2);   // too short: a tap
    EXPECT_FALSE(stage.table->indexPathForDeleteConfirmation());
    EXPECT_EQ(feed->events, (std::vector<std::string>{"will select r0", "did select r0", "will select r2",
                                                      "did deselect r0", "did select r2", "will select r2",
                                                      "did select r2"}));
    feed->events.clear();
    swipe(1, -80, 4);
    ASSERT_TRUE(cell(1)->deleteConfirmationButton());
    stage.window->simulateTap(rowPartMiddle(cell(1)->deleteConfirmationButton()));
    EXPECT_EQ(feed->events, (std::vector<std::string>{"will edit r2", "delete r2", "did end r3"}));
    EXPECT_EQ(texts(stage.table->visibleCells()), (std::vector<std::string>{"r0", "r3"}));
    // A swipe the other way opens it too; a tap beside it ends the row's editing without deleting.
    feed->events.clear();
    swipe(1, 60, 0);
    ASSERT_TRUE(cell(1)->deleteConfirmationButton());
    stage.window->simulateTap(CGPointMake(100, CGRectGetMidY(stage.table->rectForRowAtIndexPath(path(0, 0)))));
    EXPECT_FALSE(cell(1)->deleteConfirmationButton());
    EXPECT_EQ(feed->events, (std::vector<std::string>{"will edit r3", "did end r3"}));
}

TEST(UITableViewTest, ScrollingToARowClampsToTheContent)
{
    TableStage stage;
    stage.feed->fill(0, 20, "r");
    stage.table->reloadData();
    stage.table->scrollToRowAtIndexPath_atScrollPosition_animated(path(0, 10), UITableViewScrollPositionTop, false);
    EXPECT_EQ(stage.table->contentOffset().y, 440);
    stage.table->scrollToRowAtIndexPath_atScrollPosition_animated(path(0, 19), UITableViewScrollPositionTop, false);
    EXPECT_EQ(stage.table->contentOffset().y, 880 - 200);
    stage.table->scrollToRowAtIndexPath_atScrollPosition_animated(path(0, 1), UITableViewScrollPositionMiddle, false);
    EXPECT_EQ(stage.table->contentOffset().y, 0);
    stage.table->scrollToRowAtIndexPath_atScrollPosition_animated(path(0, 6), UITableViewScrollPositionNone, false);
    EXPECT_EQ(stage.table->contentOffset().y, 7 * 44 - 200);
    EXPECT_EQ(texts(stage.table->visibleCells()).back(), "r6");
    EXPECT_THROW(stage.table->scrollToRowAtIndexPath_atScrollPosition_animated(path(0, 20),
                                                                               UITableViewScrollPositionTop, false),
                 NSException);
}

TEST(UITableViewTest, AMissingCellThrowsAsOnThePhone)
{
    class Empty : public NSObject, public UITableViewDataSource {
    public:
        NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override { return 1; }
    };
    Stage stage;
    auto table = UITableView::initWithFrame(CGRectMake(0, 0, 320, 100));
    auto source = std::make_shared<Empty>();
    table->setDataSource(source);
    EXPECT_THROW(table->reloadData(), NSException);
}

TEST(UITableViewTest, TheTableLoadsItselfWhenLaidOut)
{
    TableStage stage;
    stage.feed->fill(0, 2, "r");
    EXPECT_FALSE(stage.table->hasLoadedData());
    drainMain();  // the layout pass
    EXPECT_TRUE(stage.table->hasLoadedData());
    EXPECT_EQ(stage.table->visibleCells().size(), 2u);
}

TEST(UITableViewControllerTest, LoadsOnFirstAppearanceAndClearsTheSelectionLater)
{
    class List : public UITableViewController {
    public:
        NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override { return 3; }
        Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& table,
                                                             const Ref<NSIndexPath>&) override
        {
            ++cells;
            return UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleSubtitle, "c");
        }
        int cells = 0;
    };
    Stage stage;
    auto list = UITableViewController::makeWithStyle<List>(UITableViewStyleGrouped);
    EXPECT_EQ(list->tableView()->style(), UITableViewStyleGrouped);
    EXPECT_EQ(list->tableView()->dataSource(), std::static_pointer_cast<UITableViewDataSource>(list));
    stage.window->setRootViewController(list);
    EXPECT_EQ(list->cells, 3);
    list->tableView()->simulateTapOnRowAtIndexPath(path(0, 1));
    list->beginAppearanceTransition(false, false);
    list->endAppearanceTransition();
    list->beginAppearanceTransition(true, false);
    list->endAppearanceTransition();
    EXPECT_FALSE(list->tableView()->indexPathForSelectedRow());
    EXPECT_EQ(list->cells, 3);
    list->setEditing(true);
    EXPECT_TRUE(list->tableView()->isEditing());
    EXPECT_TRUE(list->tableView()->visibleCells().front()->isEditing());
    EXPECT_EQ(list->tableView()->visibleCells().front()->contentView()->frame().origin.x, 32);
}

TEST(UITableViewCellTest, StylesLayOutTheirLabelsAndAccessories)
{
    Stage stage;
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleValue1, "v");
    cell->setFrame(CGRectMake(0, 0, 320, 44));
    cell->textLabel()->setText("Name");
    cell->detailTextLabel()->setText("x");
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    cell->layoutIfNeeded();
    EXPECT_EQ(cell->contentView()->frame(), CGRectMake(0, 0, 280, 44));
    EXPECT_EQ(cell->currentAccessoryView()->frame(), CGRectMake(290, 12, 20, 20));
    const CGRect detail = cell->detailTextLabel()->frame();
    EXPECT_EQ(CGRectGetMaxX(detail), 270);
    EXPECT_EQ(CGRectGetMaxX(cell->textLabel()->frame()), detail.origin.x);
    EXPECT_FALSE(UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "d")->detailTextLabel());
    EXPECT_EQ(cell->contentView()->className(), "UITableViewCellContentView");

    // A selected cell shows its selected background unless its selection style is none.
    auto selected = UIView::create();
    cell->setSelectedBackgroundView(selected);
    cell->setSelected(true);
    EXPECT_EQ(selected->superview(), cell);
    EXPECT_TRUE(cell->textLabel()->isHighlighted());
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    EXPECT_FALSE(selected->superview());
    EXPECT_FALSE(cell->textLabel()->isHighlighted());
    EXPECT_TRUE(cell->isSelected());
}

TEST(UITableViewCellTest, TheLineUnderACellFollowsItsTablesSeparatorSettings)
{
    // The colour of the cell's bottom row of pixels, drawn inside a table with the given settings
    // (nullptr: a cell on its own).
    const auto lineUnder = [](const std::function<void(UITableView&)>& settings) {
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "c");
        cell->setFrame(CGRectMake(0, 0, 100, 20));
        cell->setBackgroundColor(UIColor::whiteColor());
        Ref<UITableView> table;
        if (settings) {
            table = UITableView::initWithFrame_style(CGRectMake(0, 0, 100, 100), UITableViewStylePlain);
            settings(*table);
            table->addSubview(cell);
        }
        cell->layer()->layoutAndDisplayTreeIfNeeded();
        const CGContextRef picture = CGContext::createImageContext(CGSizeMake(100, 20), 1);
        cell->layer()->renderInContext(picture);
        return picture->pixelAt(50, 19) & 0xFFFFFF;
    };
    const uint32_t white = 0xFFFFFF;
    EXPECT_NE(lineUnder(nullptr), white);
    EXPECT_NE(lineUnder([](UITableView&) {}), white);
    EXPECT_EQ(lineUnder([](UITableView& t) { t.setSeparatorStyle(UITableViewCellSeparatorStyleNone); }), white);
    EXPECT_EQ(lineUnder([](UITableView& t) { t.setSeparatorColor(UIColor::redColor()); }), 0xFF0000u);
}
