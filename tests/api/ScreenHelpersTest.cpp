#include "ApiTestSupport.h"
#include "api/Categories.h"
#include "api/Tool.h"
#include "net/http/HTTPRequest.h"
#include "net/webimage/WebImageManager.h"
#include "platform/foundation/Charset.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"
#include "service/HttpServer.h"

namespace apitest {
namespace {

class ScreenHelpersTest : public ApiTest {
protected:
    void TearDown() override
    {
        UIAlertView::resetRecords();
        ApiTest::TearDown();
    }
};

bool sameColor(const Ref<UIColor>& color, int red, int green, int blue)
{
    CGFloat r = -1, g = -1, b = -1, a = -1;
    return color && color->getRed_green_blue_alpha(&r, &g, &b, &a) && std::lround(r * 255) == red &&
           std::lround(g * 255) == green && std::lround(b * 255) == blue && a == 1;
}

// A list of people with a follow button in every row, as the feed's and the friend lists' cells have.
class PeopleList : public NSObject, public UITableViewDataSource {
public:
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override
    {
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "person");
        cell->setTag(indexPath->row());
        auto follow = UIButton::initWithFrame(CGRectMake(250, 7, 60, 30));
        follow->addTarget_action_forControlEvents(self(), UIControlAction::make("follow:event:", &PeopleList::follow),
                                                  UIControlEventTouchUpInside);
        cell->contentView()->addSubview(follow);
        return cell;
    }
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override { return 5; }

    void follow(const Ref<UIButton>& sender, const Ref<UIEvent>& event)
    {
        tappedRow = Tool::getIndexPathWithTableView_andEvent(table.lock(), event);
        cellTag = Tool::getCellIndexBy(sender);
    }

    Weak<UITableView> table;
    Ref<NSIndexPath> tappedRow;
    NSInteger cellTag = -1;
};

TEST_F(ScreenHelpersTest, AButtonInACellFindsItsRow)
{
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto table = UITableView::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto people = std::make_shared<PeopleList>();
    people->table = table;
    table->setDataSource(people);
    window->addSubview(table);
    window->makeKeyAndVisible();
    table->reloadData();

    window->simulateTap(CGPointMake(270, 2 * 44 + 20));
    ASSERT_TRUE(people->tappedRow);
    EXPECT_EQ(people->tappedRow->section(), 0);
    EXPECT_EQ(people->tappedRow->row(), 2);
    EXPECT_EQ(people->cellTag, 2);

    EXPECT_FALSE(Tool::getIndexPathWithTableView_andEvent(table, nullptr));
    EXPECT_EQ(Tool::getCellIndexBy(UIView::create()), 0);  // outside any cell
    EXPECT_EQ(Tool::getCellIndexBy(nullptr), 0);
}

TEST_F(ScreenHelpersTest, TheDarkLookOfTablesCellsAndBars)
{
    auto table = UITableView::initWithFrame(CGRectMake(0, 0, 320, 400));
    Tool::customTableView(table);
    EXPECT_TRUE(UIColorEqual(table->backgroundColor(), UIColor::blackColor()));
    EXPECT_TRUE(sameColor(table->separatorColor(), 77, 77, 77));
    EXPECT_EQ(table->indicatorStyle(), UIScrollViewIndicatorStyleWhite);

    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "c");
    Tool::customCell(cell);
    EXPECT_TRUE(sameColor(cell->backgroundView()->backgroundColor(), 45, 45, 45));
    EXPECT_TRUE(sameColor(cell->textLabel()->textColor(), 157, 157, 157));
    EXPECT_TRUE(sameColor(cell->selectedBackgroundView()->backgroundColor(), 61, 61, 61));

    auto navigation = UINavigationController::initWithRootViewController(UIViewController::create());
    Tool::setNavibarBackground(navigation);
    EXPECT_TRUE(sameColor(navigation->navigationBar()->tintColor(), 105, 108, 76));

    auto field = SetImageView::customInputField();
    EXPECT_EQ(field->frame(), CGRectMake(50, 10, 240, 30));
    EXPECT_EQ(field->clearButtonMode(), UITextFieldViewModeWhileEditing);
}

class CustomBar : public UINavigationController {};

TEST_F(ScreenHelpersTest, ModalFlowsAreWrappedInTheSharedNavigationController)
{
    auto root = UIViewController::create();
    auto plain = CustomImage::MyNaviWithRoot(root);  // nobody registered the file: a plain one
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->viewControllers(), (std::vector<Ref<UIViewController>>{root}));
    EXPECT_EQ(plain->view()->frame(), CGRectMake(0, 0, 320, 460));

    UINibRegistry::registerNib("MyNav", [](UINibBuilder& nib) {
        auto navigation = nib.add(UINavigationController::make<CustomBar>());
        navigation->setViewControllers({UIViewController::create()});  // the file's placeholder root
        return std::vector<Ref<NSObject>>{navigation};
    });
    auto other = UIViewController::create();
    auto custom = CustomImage::MyNaviWithRoot(other);
    EXPECT_TRUE(std::dynamic_pointer_cast<CustomBar>(custom));
    EXPECT_EQ(custom->viewControllers(), (std::vector<Ref<UIViewController>>{other}));
    EXPECT_EQ(custom->view()->frame(), CGRectMake(0, 0, 320, 460));
    UINibRegistry::unregisterNib("MyNav");
}

TEST_F(ScreenHelpersTest, TheFeedHeaderIsTheFirstSharedView)
{
    UINibRegistry::registerObject("CommonViews", 0, [](UINibBuilder& nib) {
        auto header = nib.view<UIView>(CGRectMake(0, 0, 320, 120));
        header->setTag(4242);
        return header;
    });
    UINibRegistry::registerObject("CommonViews", 3, [](UINibBuilder& nib) { return nib.view<UIView>(CGRectZero); });
    for (int index : {0, 3, 7}) {  // whatever is asked for
        auto header = Tool::getHeaderViewFromNib(index);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->tag(), 4242);
    }
    EXPECT_NE(Tool::getHeaderViewFromNib(0), Tool::getHeaderViewFromNib(0));  // a new one each time
    UINibRegistry::unregisterNib("CommonViews");
}

TEST_F(ScreenHelpersTest, AFailedReplyIsShownUnderNetworkFailure)
{
    standin::HttpServer server({.lifetime = std::chrono::seconds(20)});
    server.route("/m/reply.json", [](const standin::Request&) {
        return standin::Response::json(R"({"status":403,"msg":"没有权限"})");
    });
    server.route("/m/broken.json", [](const standin::Request&) { return standin::Response::text("<html>"); });

    for (const auto& [path, message] : {std::pair<const char*, const char*>{"/m/reply.json", "没有权限"},
                                        std::pair<const char*, const char*>{"/m/broken.json", ""}}) {
        auto request = HTTPRequest::requestWithURL(NSURL::URLWithString("http://" + server.hostPort() + path));
        request->setDefaultResponseEncoding(NSUTF8StringEncoding);  // the reply names no charset
        request->startSynchronous();
        AlertResponse(request);
        auto alert = UIAlertView::currentAlert();
        ASSERT_TRUE(alert) << path;
        EXPECT_TRUE(alert->isVisible());
        EXPECT_EQ(alert->title(), "网络失败");
        EXPECT_EQ(alert->message(), message) << path;
        EXPECT_EQ(alert->buttonTitles(), (std::vector<std::string>{"确定"}));
        alert->simulateClickButtonAtIndex(0);
    }
    EXPECT_EQ(UIAlertView::shownAlerts().size(), 2u);
}

std::string nameOf(const Ref<UIImage>& image)
{
    return image ? image->name() : std::string("(none)");
}

TEST_F(ScreenHelpersTest, ButtonsShowAPlaceholderThenTheImageOfTheirUrl)
{
    addImages({"missing-video-thumb", "missing-avatar"});
    auto cache = WebImageManager::sharedManager()->imageCache();
    const std::string url = "http://127.0.0.1:9/a.png";
    auto remote = UIImage::imageWithData(NSData::dataWithString(pngOfSize(3, 3)));
    ASSERT_TRUE(remote);
    cache->storeImage_forKey_toDisk(remote, url, false);  // in memory: shown within the call

    const struct {
        NSInteger tag;
        const char* placeholder;
    } cases[] = {{kCoverButtonTag, "missing-video-thumb.png"}, {kAvatarButtonTag, "missing-avatar.png"}, {0, "(none)"}};
    for (const auto& c : cases) {
        auto button = UIButton::initWithFrame(CGRectMake(0, 0, 50, 50));
        button->setTag(c.tag);
        SetImageView::setImageWithUrl(button, Value());  // nothing to load: the placeholder stays
        EXPECT_EQ(nameOf(button->backgroundImageForState(UIControlStateNormal)), c.placeholder) << c.tag;
        EXPECT_TRUE(button->isUserInteractionEnabled());

        SetImageView::setImageWithUrl_clickable(button, Value(url), false);
        EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), remote) << c.tag;
        EXPECT_FALSE(button->isUserInteractionEnabled());
        EXPECT_FALSE(button->adjustsImageWhenHighlighted());
    }
}

TEST_F(ScreenHelpersTest, AReusedButtonNeverShowsItsEarlierImage)
{
    standin::HttpServer server({.lifetime = std::chrono::seconds(20)});
    server.route("/old.png", [](const standin::Request&) {
        return standin::Response::text(pngOfSize(2, 2)).with("Content-Type", "image/png");
    });
    server.addFault("/old.png", standin::Fault::hang(std::chrono::milliseconds(300)));
    auto manager = WebImageManager::sharedManager();
    const std::string fresh = "http://" + server.hostPort() + "/fresh.png";
    auto freshImage = UIImage::imageWithData(NSData::dataWithString(pngOfSize(4, 4)));
    manager->imageCache()->storeImage_forKey_toDisk(freshImage, fresh, false);

    auto button = UIButton::initWithFrame(CGRectMake(0, 0, 50, 50));
    SetImageView::setImageWithUrl(button, Value("http://" + server.hostPort() + "/old.png"));
    ASSERT_TRUE(pumpMainUntil([&] { return !manager->downloaders().empty(); }));  // the old image is on its way
    SetImageView::setImageWithUrl(button, Value(fresh));  // the cell shows another record now
    EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), freshImage);

    // Whatever becomes of the old download, the button keeps the fresh image.
    ASSERT_TRUE(pumpMainUntil([&] { return manager->downloaders().empty(); }));
    EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), freshImage);
}

}  // namespace
}  // namespace apitest
