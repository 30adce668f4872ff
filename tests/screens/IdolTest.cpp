// The recommended people as a person uses them, and the paged table base under them: pages of 60
// asked synchronously while pages remain, four avatars to a row, a tap opening the person's feed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FriendTestSupport.h"
#include "HugeTotals.h"
#include "service/FriendRoutes.h"
#include "shell/FeedVC.h"
#include "social/FriendViews.h"
#include "social/IdolCell.h"
#include "social/IdolTVC.h"

namespace {
namespace IdolTest_cpp {

std::string people(int first, int count, int total)
{
    std::string items;
    for (int index = first; index < first + count; ++index) {
        items += std::string(items.empty() ? "" : ",") + R"({"suid":")" + std::to_string(5000 + index) +
                 R"(","nick":"推荐)" + std::to_string(index) + R"(","icon":""})";
    }
    return R"({"status":200,"msg":"","result":[)" + items + R"(],"total":)" + std::to_string(total) + "}";
}

// A list of its own page size whose pages are asked by number, nothing more.
class CountingPages : public PageingViewController {
public:
    void getDataAt(int page) override { asked.push_back(page); }
    std::vector<int> asked;
};

class IdolTest : public friendtest::FriendTest {
protected:
    Ref<IdolTVC> open() { return idols = show(IdolTVC::create()); }
    Ref<IdolCell> rowCell(NSInteger row) { return std::dynamic_pointer_cast<IdolCell>(cellAt(idols->table(), row)); }
    // Answers page n with pages[n - 1], and an empty page past them.
    void serve(std::vector<std::string> pages)
    {
        service.server().route("/m/people.json", [pages](const standin::Request& request) {
            const size_t page = std::stoul(request.param("page").value_or("1"));
            return friendtest::utf8Json(page <= pages.size() ? pages[page - 1] : people(0, 0, 120));
        });
    }

    Ref<IdolTVC> idols;
};

TEST_F(IdolTest, PagesOfSixtyAreMergedBeforeTheScrollReturnsUntilTheLastPage)
{
    serve({people(0, 60, 120), people(60, 60, 120)});
    open();
    // The first page was asked and merged while the view loaded.
    EXPECT_EQ(idols->title(), "推荐人物");
    EXPECT_EQ(idols->countPerPage(), 60);
    EXPECT_EQ(idols->result().count(), 60u);
    EXPECT_EQ(idols->total(), 120);
    EXPECT_EQ(idols->table()->separatorStyle(), UITableViewCellSeparatorStyleNone);
    EXPECT_TRUE(CGRectEqualToRect(idols->table()->frame(), CGRectMake(0, 0, 320, 416)));

    // (120 + 60) / 60 = 3 pages: 2 and 3 are asked, the third coming back empty, and then no more.
    const size_t held[] = {120, 120};
    for (int page = 2; page <= 3; ++page) {
        scrollToEnd(idols->table());
        EXPECT_EQ(idols->currentPage(), page);
        EXPECT_FALSE(idols->isLoadingMore());
        EXPECT_EQ(idols->result().count(), held[page - 2]);
    }
    scrollToEnd(idols->table());
    const auto asked = service.server().requests("/m/people.json");
    ASSERT_EQ(asked.size(), 3u);
    for (size_t index = 0; index < asked.size(); ++index) {
        EXPECT_EQ(asked[index].param("page"), std::to_string(index + 1));
        EXPECT_EQ(asked[index].param("per"), "60");
    }
}

TEST_F(IdolTest, AHugeTotalStillAsksTheNextPageWithoutOverflow)
{
    for (const char* total : hugetotals::kHugeTotals) {
        SCOPED_TRACE(total);
        serve({hugetotals::withTotal(people(0, 60, 120), total)});
        const size_t before = received("/m/people.json");
        open();
        ASSERT_EQ(idols->result().count(), 60u);
        scrollToEnd(idols->table());
        EXPECT_EQ(idols->currentPage(), 2);
        EXPECT_FALSE(idols->isLoadingMore());
        const auto asked = service.server().requests("/m/people.json");
        ASSERT_EQ(asked.size(), before + 2);
        EXPECT_EQ(asked.back().param("page"), "2");
        window = nullptr;
        navigation = nullptr;
        idols = nullptr;
    }
}

TEST_F(IdolTest, AFirstPageThatFailsLeavesTheListEmptyAndAsksNothingMore)
{
    struct Case {
        const char* what;
        std::function<standin::Response()> answer;
    } const cases[] = {
        {"refused", [] { return friendtest::utf8Json(R"({"status":500,"msg":"服务器忙"})"); }},
        {"not JSON", [] { return standin::Response::empty(502); }},
    };
    for (const Case& c : cases) {
        service.server().route("/m/people.json", [answer = c.answer](const standin::Request&) { return answer(); });
        const size_t before = received("/m/people.json");
        open();
        EXPECT_EQ(idols->result().count(), 0u) << c.what;
        EXPECT_EQ(idols->table()->numberOfRowsInSection(0), 0) << c.what;
        scrollToEnd(idols->table());
        EXPECT_EQ(received("/m/people.json"), before + 1) << c.what;
        window = nullptr;
        navigation = nullptr;
        idols = nullptr;
    }
}

TEST_F(IdolTest, WithoutAPageSizeNoFurtherPageIsAsked)
{
    auto list = CountingPages::make<CountingPages>();
    show(Ref<UIViewController>(list));
    list->view();
    ASSERT_EQ(list->asked, std::vector<int>{1});
    list->setTotal(500);
    for (int perPage : {0, -5}) {
        list->setCountPerPage(perPage);
        list->scrollViewDidScroll(list->table());
        EXPECT_EQ(list->asked, std::vector<int>{1}) << perPage;
        EXPECT_FALSE(list->isLoadingMore());
    }
    EXPECT_EQ(list->tableView_numberOfRowsInSection(list->table(), 0), 0);
}

TEST_F(IdolTest, SixtyOnePeopleMakeSixteenRowsOfFourAndTheLastShowsOne)
{
    open();
    ASSERT_EQ(idols->result().count(), 60u);
    ASSERT_EQ(idols->table()->numberOfRowsInSection(0), 15);
    scrollToEnd(idols->table());
    ASSERT_EQ(idols->result().count(), standin::kRecommendedPeopleCount);
    ASSERT_EQ(idols->table()->numberOfRowsInSection(0), 16);
    EXPECT_EQ(idols->tableView_heightForRowAtIndexPath(idols->table(), row(0)), 80);
    auto first = rowCell(0);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->btnArray().size(), 4u);
    ASSERT_EQ(first->bkgArray().size(), 4u);
    for (size_t slot = 0; slot < 4; ++slot) {
        EXPECT_FALSE(first->btnArray()[slot]->isHidden());
        EXPECT_FALSE(first->bkgArray()[slot]->isHidden());
        EXPECT_TRUE(first->bkgArray()[slot]->image());
        EXPECT_EQ(first->btnArray()[slot]->userInfo()["suid"].stringValue(), std::to_string(3001 + slot));
    }
    auto last = rowCell(15);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->btnArray()[0]->userInfo()["suid"].stringValue(), "3061");
    for (size_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(last->btnArray()[slot]->isHidden(), slot > 0) << slot;
        EXPECT_EQ(last->bkgArray()[slot]->isHidden(), slot > 0) << slot;
    }
}

TEST_F(IdolTest, AReusedRowHidesTheSlotsItNoLongerFills)
{
    serve({people(0, 6, 6)});
    open();
    ASSERT_EQ(idols->table()->numberOfRowsInSection(0), 2);
    auto cell = loadIdolCell();
    cell->fullfillWithInfo_atRow_andTotal_andNavi(idols->result(), 0, idols->total(), navigation);
    for (size_t slot = 0; slot < 4; ++slot) {
        EXPECT_FALSE(cell->btnArray()[slot]->isHidden());
    }
    cell->fullfillWithInfo_atRow_andTotal_andNavi(idols->result(), 1, idols->total(), navigation);
    const bool shown[] = {true, true, false, false};
    for (size_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(!cell->btnArray()[slot]->isHidden(), shown[slot]) << slot;
        EXPECT_EQ(!cell->bkgArray()[slot]->isHidden(), shown[slot]) << slot;
        // Each shown avatar has its person's name under it; a hidden slot keeps no old name.
        EXPECT_EQ(!cell->nameArray()[slot]->isHidden(), shown[slot]) << slot;
        EXPECT_EQ(cell->nameArray()[slot]->text(), shown[slot] ? "推荐" + std::to_string(4 + slot) : "") << slot;
    }
    EXPECT_EQ(cell->btnArray()[1]->userInfo()["suid"].stringValue(), "5005");
    // A total below what is held hides the people past it.
    cell->fullfillWithInfo_atRow_andTotal_andNavi(idols->result(), 1, 5, navigation);
    EXPECT_FALSE(cell->btnArray()[0]->isHidden());
    EXPECT_TRUE(cell->btnArray()[1]->isHidden());
}

TEST_F(IdolTest, TappingAnAvatarOpensThatPersonsFeed)
{
    open();
    auto cell = rowCell(0);
    ASSERT_TRUE(cell);
    tap(cell->btnArray()[2]);
    auto feed = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->type(), 10);
    EXPECT_EQ(feed->suid().stringValue(), "3003");
}

}  // namespace IdolTest_cpp
}  // namespace
