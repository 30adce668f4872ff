// The topic picker against the stand-in service: its sections before and after a pick, the search,
// paging that stops at a short page, and the record kept for next time.
#include "PublishStage.h"

#include "capture/TopicViewController.h"
#include "capture/VideoShareController.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableViewCell.h"
#include "service/PickerRoutes.h"

namespace {
namespace TopicPickerTest_cpp {

using publishtest::PublishStage;

class TopicPickerTest : public PublishStage {
protected:
    void SetUp() override
    {
        PublishStage::SetUp();
        logIn();
        standin::installTopicPages(service.server(), 26);
        share = VideoShareController::create();
        showInNavigation(share);
    }
    // The publish screen's topic button opens the picker; waits for its first page.
    Ref<TopicViewController> openPicker()
    {
        const size_t before = received(standin::kAllTopicPath);
        share->topicButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
        settle();
        auto picker = std::dynamic_pointer_cast<TopicViewController>(top());
        EXPECT_TRUE(picker);
        EXPECT_TRUE(waitUntil([&] { return picker && picker->tableView()->numberOfSections() > 0; }));
        EXPECT_EQ(received(standin::kAllTopicPath), before + 1);
        return picker;
    }
    static std::vector<std::string> rows(const Ref<UITableView>& table, NSInteger section)
    {
        std::vector<std::string> texts;
        for (NSInteger r = 0; r < table->numberOfRowsInSection(section); ++r) {
            texts.push_back(table->dataSource()->tableView_cellForRowAtIndexPath(table, row(r, section))
                                ->textLabel()->text());
        }
        return texts;
    }
    static std::vector<std::string> headers(const Ref<UITableView>& table)
    {
        std::vector<std::string> texts;
        for (NSInteger s = 0; s < table->numberOfSections(); ++s) {
            texts.push_back(table->dataSource()->tableView_titleForHeaderInSection(table, s));
        }
        return texts;
    }

    Ref<VideoShareController> share;
};

TEST_F(TopicPickerTest, FirstTimeOneSectionThenThePickedTopicLeadsAndIsKeptWithoutNulls)
{
    auto picker = openPicker();
    EXPECT_EQ(picker->title(), "话题");
    EXPECT_TRUE(CGRectEqualToRect(picker->tableView()->frame(), CGRectMake(0, 44, 320, 372)));
    EXPECT_EQ(headers(picker->tableView()), std::vector<std::string>{"全部话题"});
    const std::vector<std::string> first = rows(picker->tableView(), 0);
    ASSERT_EQ(first.size(), 20u);
    EXPECT_EQ(first[0], "#西湖#");
    EXPECT_EQ(first[3], "#旅行#");
    const auto request = service.server().requests(standin::kAllTopicPath).back();
    EXPECT_EQ(request.param("page"), "1");
    EXPECT_EQ(request.param("per"), "20");

    // Picking "#旅行#" appends it to the title once back on the publish screen.
    ASSERT_TRUE(picker->tableView()->simulateTapOnRowAtIndexPath(row(3)));
    settle();
    EXPECT_EQ(top(), share);
    EXPECT_EQ(share->message->text(), "#旅行#");
    EXPECT_TRUE(share->placeHolder->isHidden());
    // The reply's record holds a null description: it is kept without it.
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(kLastSelectedTopicKey);
    EXPECT_EQ(stored, Value::dictionary({{"stpid", Value("t4103")}, {"topic", Value("#旅行#")}, {"isnew", Value(0)}}));

    // The next picker shows it first.
    picker = openPicker();
    EXPECT_EQ(headers(picker->tableView()), (std::vector<std::string>{"最近使用", "全部话题"}));
    EXPECT_EQ(rows(picker->tableView(), 0), std::vector<std::string>{"#旅行#"});
    EXPECT_EQ(rows(picker->tableView(), 1).size(), 20u);
    // Picking the recent one appends it again, after what the title already holds.
    ASSERT_TRUE(picker->tableView()->simulateTapOnRowAtIndexPath(row(0, 0)));
    settle();
    EXPECT_EQ(share->message->text(), "#旅行##旅行#");
}

TEST_F(TopicPickerTest, SearchOffersTheTypedWordFirstAndEveryLoadedTopicHoldingItOnce)
{
    struct Case {
        std::string typed;
        std::vector<std::string> offered;
    };
    const std::vector<Case> cases = {
        {"西", {"#西#", "#西湖#"}},
        {"西湖", {"#西湖#"}},  // the typed topic exists: offered once
        {"海", {"#海#", "#海边#"}},  // "#上海外滩#" is on the second page, not loaded yet
        {"猫", {"#猫#"}},
    };
    auto picker = openPicker();
    const auto display = picker->searchDisplayController();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ASSERT_TRUE(display->searchBar()->becomeFirstResponder());
        UIKeyboard::typeText(c.typed);
        EXPECT_EQ(rows(display->searchResultsTableView(), 0), c.offered);
        EXPECT_TRUE(display->searchBar()->simulateCancelButtonTap());
    }

    // A typed word, picked, is the topic handed back and the one kept for next time.
    ASSERT_TRUE(display->searchBar()->becomeFirstResponder());
    UIKeyboard::typeText("猫");
    ASSERT_TRUE(display->searchResultsTableView()->simulateTapOnRowAtIndexPath(row(0)));
    settle();
    EXPECT_EQ(share->message->text(), "#猫#");
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->objectForKey(kLastSelectedTopicKey)["topic"], Value("#猫#"));
}

TEST_F(TopicPickerTest, ScrollingNearTheEndAsksForTheNextPageUntilAShortOneArrives)
{
    auto picker = openPicker();
    const auto table = picker->tableView();
    EXPECT_TRUE(picker->complete());  // a full page of 20
    auto scrollToEnd = [&] {
        table->simulateDrag(CGPointMake(0, std::max<CGFloat>(0, table->contentSize().height - table->bounds().size.height)));
    };
    // Far from the end nothing is asked.
    table->simulateDrag(CGPointMake(0, 10));
    EXPECT_EQ(received(standin::kAllTopicPath), 1u);

    scrollToEnd();
    EXPECT_FALSE(picker->complete());
    EXPECT_EQ(picker->topicRequest()->tag(), 2);
    ASSERT_TRUE(waitUntil([&] { return table->numberOfRowsInSection(0) == 26; }));
    EXPECT_EQ(service.server().requests(standin::kAllTopicPath).back().param("page"), "2");
    EXPECT_EQ(rows(table, 0).back(), "#家乡#");
    EXPECT_FALSE(picker->complete());  // 6 is fewer than 20: no more pages

    scrollToEnd();
    scrollToEnd();
    EXPECT_EQ(received(standin::kAllTopicPath), 2u);
}

TEST_F(TopicPickerTest, ARefusedPageChangesNothingAndAsksForNoMore)
{
    auto picker = openPicker();
    const auto table = picker->tableView();
    const std::vector<std::string> before = rows(table, 0);
    ASSERT_EQ(before.size(), 20u);
    // The refusal carries a full page of topics: none of them may be listed.
    std::string result;
    for (int i = 0; i < 20; ++i) {
        result += std::string(result.empty() ? "" : ",") + R"({"stpid":"x)" + std::to_string(i) + R"(","topic":"#拒#"})";
    }
    const std::string body = R"({"status":403,"msg":"请先登录","result":[)" + result + "]}";
    service.server().route(standin::kAllTopicPath, [body](const standin::Request&) {
        standin::Response response;
        response.body = body;
        return response;
    });
    table->simulateDrag(CGPointMake(0, std::max<CGFloat>(0, table->contentSize().height - table->bounds().size.height)));
    const Ref<HTTPRequest> request = picker->topicRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->tag(), 2);
    ASSERT_TRUE(waitUntil([&] { return request->complete(); }));
    drainMain();
    EXPECT_EQ(rows(table, 0), before);
    EXPECT_FALSE(picker->complete());
    EXPECT_TRUE(errors->shown.empty());
}

}  // namespace TopicPickerTest_cpp
}  // namespace
