// The topics lists as a person uses them: the followed topics and all topics asked page by page, the
// empty-list header, the "new" badge, opening a topic's feed, and unfollowing by deleting rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include <future>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "HugeTotals.h"
#include "ShellTestSupport.h"
#include "shell/FeedVC.h"
#include "platform/screen/UIScreenInput.h"
#include "social/TopicFollowedCell.h"
#include "social/TopicFollowedVC.h"
#include "widgets/CountBadge.h"

namespace {
namespace TopicsTest_cpp {

struct Topic {
    std::string stpid;
    std::string name;
    bool isnew;
};

std::string listJson(const std::vector<Topic>& topics, int total)
{
    std::string items;
    for (const Topic& topic : topics) {
        items += (items.empty() ? "" : ",") + std::string(R"({"stpid":")") + topic.stpid + R"(","topic":")" + topic.name +
                 R"(","isnew":)" + (topic.isnew ? "true" : "false") + "}";
    }
    return R"({"status":200,"msg":"","result":[)" + items + R"(],"total":)" + std::to_string(total) + "}";
}

// A JSON answer the client reads as UTF-8, as the service sends it.
standin::Response utf8Json(std::string body)
{
    standin::Response response;
    response.body = std::move(body);
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    return response;
}

const std::vector<Topic> kThree = {{"t1", "#西湖#", true}, {"t2", "#美食#", false}, {"t3", "#旅行#", true}};

class TopicsTest : public shelltest::ShellTest {
protected:
    // The list, root of a navigation stack in a visible window; it asks page 1 as it appears.
    void show(int kind)
    {
        topics = TopicFollowedVC::myinit(kind);
        topics->setIsRoot(true);
        navigation = UINavigationController::initWithRootViewController(topics);
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
    }
    // Answers the list's pages from `pages` (page n is pages[n - 1]).
    void serve(const std::string& path, std::vector<std::string> pages)
    {
        service.server().route(path, [pages](const standin::Request& request) {
            if (request.method != "GET") {
                return utf8Json(R"({"status":200,"msg":"操作成功"})");
            }
            const size_t page = std::stoul(request.param("page").value_or("1"));
            return utf8Json(page <= pages.size() ? pages[page - 1] : listJson({}, 0));
        });
    }
    bool settled()
    {
        // The header decision runs on a later turn of the main queue: one more round after the rows.
        bool turned = false;
        dispatch_async(dispatch_get_main_queue(), [&] { turned = true; });
        return pumpMainUntil([&] { return turned; });
    }
    std::vector<std::string> names()
    {
        std::vector<std::string> shown;
        auto table = topics->tableView();
        table->layoutIfNeeded();
        for (NSInteger index = 0; index < table->numberOfRowsInSection(0); ++index) {
            auto cell = std::dynamic_pointer_cast<TopicFollowedCell>(
                topics->tableView_cellForRowAtIndexPath(table, row(index)));
            shown.push_back(cell->myTitleLabel()->text());
        }
        return shown;
    }
    std::string headerText()
    {
        auto header = topics->tableView()->tableHeaderView();
        if (!header || header->subviews().empty()) {
            return "";
        }
        auto label = std::dynamic_pointer_cast<UILabel>(header->subviews()[0]);
        return label ? label->text() : "";
    }

    Ref<TopicFollowedVC> topics;
    Ref<UINavigationController> navigation;
};

TEST_F(TopicsTest, EachKindAsksItsListAndTitlesItself)
{
    logIn();
    struct Case {
        int kind;
        const char* path;
        const char* title;
        bool editButton;
    } const cases[] = {{0, "/m/follow-topic.json", "关注的话题", true}, {1, "/m/all-topic.json", "所有话题", false}};
    for (const Case& c : cases) {
        serve(c.path, {listJson(kThree, 3)});
        const size_t before = received(c.path);
        show(c.kind);
        ASSERT_TRUE(waitForReceived(c.path, before + 1)) << c.kind;
        ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 3; })) << c.kind;
        EXPECT_EQ(topics->title(), c.title);
        EXPECT_EQ(bool(topics->navigationItem()->rightBarButtonItem()), c.editButton) << c.kind;
        EXPECT_TRUE(topics->navigationItem()->leftBarButtonItem()) << c.kind;
        const standin::Request asked = service.server().requests(c.path).back();
        EXPECT_EQ(asked.param("page"), "1");
        EXPECT_EQ(asked.param("per"), "20");
        if (c.kind == 0) {
            EXPECT_EQ(asked.param("token"), "tok7");
        }
        EXPECT_EQ(names(), (std::vector<std::string>{"#西湖#", "#美食#", "#旅行#"})) << c.kind;
    }
}

TEST_F(TopicsTest, EmptyHeaderFollowsTheTotalOfTheReply)
{
    logIn();
    serve("/m/follow-topic.json", {listJson({}, 0)});
    show(0);
    ASSERT_TRUE(waitForReceived("/m/follow-topic.json", 1));
    ASSERT_TRUE(pumpMainUntil([&] { return !headerText().empty(); }));
    EXPECT_EQ(headerText(), "暂时没有关注任何话题");
    EXPECT_EQ(topics->tableView()->tableHeaderView()->frame().size.height, 10);

    // Once a topic is followed, the next appearance lists it and the header goes.
    serve("/m/follow-topic.json", {listJson({kThree[0]}, 1)});
    topics->viewWillAppear(false);
    ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 1; }));
    ASSERT_TRUE(settled());
    EXPECT_FALSE(topics->tableView()->tableHeaderView());
    EXPECT_EQ(names(), std::vector<std::string>{"#西湖#"});
}

TEST_F(TopicsTest, NewBadgeAppearsOnceHoweverOftenCellsAreReused)
{
    logIn();
    serve("/m/follow-topic.json", {listJson(kThree, 3)});
    show(0);
    ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 3; }));
    auto table = topics->tableView();
    for (int round = 0; round < 5; ++round) {
        table->reloadData();
        table->layoutIfNeeded();
    }
    for (NSInteger index = 0; index < 3; ++index) {
        auto cell = table->cellForRowAtIndexPath(row(index));
        ASSERT_TRUE(cell) << index;
        int badges = 0;
        for (const Ref<UIView>& view : cell->contentView()->subviews()) {
            if (view->tag() == 888) {
                ++badges;
                EXPECT_TRUE(std::dynamic_pointer_cast<CountBadge>(view));
                EXPECT_EQ(view->frame().origin.x, 230);
            }
        }
        EXPECT_EQ(badges, kThree[size_t(index)].isnew ? 1 : 0) << index;
    }
}

TEST_F(TopicsTest, ATopicOpensItsFeedAndComingBackReloadsPageOne)
{
    logIn();
    serve("/m/all-topic.json", {listJson(kThree, 3)});
    show(1);
    ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 3; }));
    const size_t asked = received("/m/all-topic.json");

    topics->tableView_didSelectRowAtIndexPath(topics->tableView(), row(1));
    auto feed = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->type(), 13);
    EXPECT_EQ(feed->suid().stringValue(), "t2");
    EXPECT_EQ(feed->title(), "#美食#");

    navigation->popViewControllerAnimated(false);
    ASSERT_TRUE(waitForReceived("/m/all-topic.json", asked + 1));
    EXPECT_EQ(service.server().requests("/m/all-topic.json").back().param("page"), "1");
}

TEST_F(TopicsTest, ScrollingNearTheEndAsksTheNextPageOnce)
{
    std::vector<Topic> first;
    for (int index = 0; index < 20; ++index) {
        first.push_back({"t" + std::to_string(index), "#话题" + std::to_string(index) + "#", false});
    }
    serve("/m/all-topic.json", {listJson(first, 25), listJson({{"t20", "#最后一页#", false}}, 25)});
    show(1);
    ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 20; }));
    auto table = topics->tableView();
    table->layoutIfNeeded();
    const CGFloat bottom = table->contentSize().height - topics->view()->frame().size.height;
    table->setContentOffset(CGPointMake(0, bottom));
    table->setContentOffset(CGPointMake(0, bottom - 1)); // still near the end while page 2 is on its way
    ASSERT_TRUE(pumpMainUntil([&] { return topics->currentPage() == 2; }));
    EXPECT_FALSE(topics->isLoadingMore());
    EXPECT_EQ(topics->topicResult().count(), 21u);
    const auto asked = service.server().requests("/m/all-topic.json");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].param("page"), "2");

    // (25 + 20) / 20 = 2 pages: at the end of page 2 nothing more is asked.
    table->layoutIfNeeded();
    table->setContentOffset(CGPointMake(0, table->contentSize().height - topics->view()->frame().size.height));
    ASSERT_TRUE(settled());
    EXPECT_EQ(service.server().requests("/m/all-topic.json").size(), 2u);
}

TEST_F(TopicsTest, AHugeTotalStillAsksTheNextPageWithoutOverflow)
{
    std::vector<Topic> first;
    for (int index = 0; index < 20; ++index) {
        first.push_back({"t" + std::to_string(index), "#话题" + std::to_string(index) + "#", false});
    }
    for (const char* total : hugetotals::kHugeTotals) {
        SCOPED_TRACE(total);
        service.server().clearRequests();
        serve("/m/all-topic.json", {hugetotals::withTotal(listJson(first, 25), total)});
        show(1);
        ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 20; }));
        auto table = topics->tableView();
        table->layoutIfNeeded();
        table->setContentOffset(CGPointMake(0, table->contentSize().height - topics->view()->frame().size.height));
        ASSERT_TRUE(pumpMainUntil([&] { return topics->currentPage() == 2 && !topics->isLoadingMore(); }));
        const auto asked = service.server().requests("/m/all-topic.json");
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[1].param("page"), "2");
    }
}

// The list is reloaded while the unfollow is on its way, so the deleted row's index points at another
// topic when the reply comes: the topic that goes is the one the person deleted.
TEST_F(TopicsTest, UnfollowRemovesTheDeletedTopicOnlyWhenTheServiceAgrees)
{
    logIn();
    struct Case {
        int status;
        std::vector<std::string> after;
    } const cases[] = {
        {200, {"#新话题#", "#西湖#", "#旅行#"}},
        {500, {"#新话题#", "#西湖#", "#美食#", "#旅行#"}},
    };
    for (const Case& c : cases) {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::vector<std::string> pages = {listJson(kThree, 3)};
        service.server().route("/m/follow-topic.json", [&pages, released, status = c.status](const standin::Request& request) {
            if (request.method == "POST") {
                released.wait();
                return utf8Json(R"({"status":)" + std::to_string(status) + R"(,"msg":"失败"})");
            }
            return utf8Json(pages[0]);
        });
        show(0);
        ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 3; }));

        topics->edit();
        EXPECT_TRUE(topics->tableView()->isEditing());
        EXPECT_EQ(topics->editItem()->title(), "完成");
        topics->tableView_commitEditingStyle_forRowAtIndexPath(topics->tableView(), UITableViewCellEditingStyleDelete, row(1));
        EXPECT_EQ(names().size(), 3u); // the row waits for the service

        pages[0] = listJson({{"t0", "#新话题#", false}, kThree[0], kThree[1], kThree[2]}, 4);
        topics->viewWillAppear(false);
        ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 4; }));
        release.set_value();
        ASSERT_TRUE(pumpMainUntil([&] { return !topics->isUnfollowing(); }));
        ASSERT_TRUE(settled());
        std::vector<standin::Request> posts;
        for (const standin::Request& request : service.server().requests("/m/follow-topic.json")) {
            if (request.method == "POST") {
                posts.push_back(request);
            }
        }
        ASSERT_FALSE(posts.empty());
        EXPECT_EQ(names(), c.after) << c.status;
        const auto form = posts.back().formParams();
        EXPECT_EQ(standin::findParam(form, "stpid"), "t2");
        EXPECT_EQ(standin::findParam(form, "_method"), "delete");
        EXPECT_EQ(standin::findParam(form, "token"), "tok7");

        topics->edit();
        EXPECT_FALSE(topics->tableView()->isEditing());
        EXPECT_EQ(topics->editItem()->title(), "编辑");
        window = nullptr;
        navigation = nullptr;
        topics = nullptr;
        service.server().route("/m/follow-topic.json", [](const standin::Request&) { return standin::Response::empty(404); });
    }
}

// A person unfollows by touch: "编辑", the row's red control and its delete button; then, out of
// editing, a sideways swipe on a row and its button. The service hears each, and the rows go.
TEST_F(TopicsTest, APersonUnfollowsByTheDeleteButtonAndByASwipe)
{
    logIn();
    std::vector<Topic> following = kThree;
    std::mutex lock;
    service.server().route("/m/follow-topic.json", [&](const standin::Request& request) {
        std::lock_guard<std::mutex> guard(lock);
        if (request.method == "POST") {
            const std::string stpid = standin::findParam(request.formParams(), "stpid").value_or("");
            following.erase(std::remove_if(following.begin(), following.end(),
                                           [&](const Topic& t) { return t.stpid == stpid; }),
                            following.end());
            return utf8Json(R"({"status":200,"msg":"操作成功"})");
        }
        return utf8Json(listJson(following, int(following.size())));
    });
    show(0);
    ASSERT_TRUE(pumpMainUntil([&] { return topics->topicResult().count() == 3; }));
    window->layoutIfNeeded();
    auto middle = [](const Ref<UIView>& view) {
        return view->convertPoint_toView(CGPointMake(CGRectGetMidX(view->bounds()), CGRectGetMidY(view->bounds())),
                                         nullptr);
    };
    auto cell = [&](NSInteger index) { return topics->tableView()->cellForRowAtIndexPath(row(index)); };
    auto posted = [&] {
        std::vector<std::string> stpids;
        for (const standin::Request& request : service.server().requests("/m/follow-topic.json")) {
            if (request.method == "POST") {
                stpids.push_back(standin::findParam(request.formParams(), "stpid").value_or(""));
            }
        }
        return stpids;
    };

    UIScreenInput::tap(middle(topics->editItem()->barView()));
    ASSERT_TRUE(topics->tableView()->isEditing());
    ASSERT_TRUE(cell(1) && cell(1)->deleteControl());
    UIScreenInput::tap(middle(cell(1)->deleteControl()));
    ASSERT_TRUE(cell(1)->deleteConfirmationButton());
    UIScreenInput::tap(middle(cell(1)->deleteConfirmationButton()));
    ASSERT_TRUE(pumpMainUntil([&] { return names() == std::vector<std::string>{"#西湖#", "#旅行#"}; }));
    EXPECT_EQ(posted(), std::vector<std::string>{"t2"});

    UIScreenInput::tap(middle(topics->editItem()->barView()));
    ASSERT_FALSE(topics->tableView()->isEditing());
    window->layoutIfNeeded();
    const CGPoint start = topics->tableView()->convertPoint_toView(
        CGPointMake(260, CGRectGetMidY(topics->tableView()->rectForRowAtIndexPath(row(0)))), nullptr);
    UIScreenInput::touchDown(start);
    for (int step = 1; step <= 5; ++step) {
        UIScreenInput::touchMoved(CGPointMake(start.x - 20 * step, start.y + 1));
    }
    UIScreenInput::touchUp(CGPointMake(start.x - 100, start.y + 1));
    ASSERT_TRUE(cell(0)->deleteConfirmationButton()) << "a swipe shows the row's delete button";
    UIScreenInput::tap(middle(cell(0)->deleteConfirmationButton()));
    ASSERT_TRUE(pumpMainUntil([&] { return names() == std::vector<std::string>{"#旅行#"}; }));
    EXPECT_EQ(posted(), (std::vector<std::string>{"t2", "t1"}));
}

}  // namespace TopicsTest_cpp
}  // namespace
