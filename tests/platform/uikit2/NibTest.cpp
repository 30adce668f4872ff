#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITableViewCell.h"

namespace {

// Counts its awakenings and sees its outlets connected by then.
class HeaderView : public UIView {
public:
    Ref<UILabel> username;
    Ref<UIButton> refresh;
    int awoken = 0;
    bool outletsAtAwake = false;
    void awakeFromNib() override
    {
        ++awoken;
        outletsAtAwake = username && refresh;
    }
};

class CommentCell : public UITableViewCell {
public:
    Ref<UILabel> content;
    int awoken = 0;
    void awakeFromNib() override { ++awoken; }
};

class Owner : public UIViewController {
public:
    Ref<HeaderView> header;
    Ref<UILabel> title;
    int refreshes = 0;
    int awoken = 0;
    void refreshTapped() { ++refreshes; }
    void awakeFromNib() override { ++awoken; }
};

// A file with two top-level objects, outlets on the owner and on the objects, and an action.
void registerHeaderFile()
{
    UINibRegistry::registerNib("Header", [](UINibBuilder& nib) {
        auto owner = nib.owner<Owner>();
        auto header = nib.view<HeaderView>(CGRectMake(0, 0, 320, 120));
        header->username = nib.view<UILabel>(CGRectMake(70, 10, 200, 20));
        header->refresh = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
        header->addSubview(header->username);
        header->addSubview(header->refresh);
        header->refresh->addTarget_action_forControlEvents(
            owner, UIControlAction::make("refreshTapped", &Owner::refreshTapped), UIControlEventTouchUpInside);
        auto cell = nib.add(UITableViewCell::makeWithStyle<CommentCell>(UITableViewCellStyleDefault, "Comment"));
        cell->content = nib.view<UILabel>(CGRectMake(50, 5, 200, 20));
        cell->contentView()->addSubview(cell->content);
        if (owner) {
            owner->header = header;
        }
        return std::vector<Ref<NSObject>>{header, cell};
    });
}

}  // namespace

TEST(UINibTest, AFileWithTwoObjectsConnectsItsOutletsAndAwakensEachOnce)
{
    Stage stage;
    registerHeaderFile();
    auto owner = UIViewController::make<Owner>();
    const auto objects = UINibLoadingAdditions::loadNibNamed_owner_options(NSBundle::mainBundle(), "Header", owner);
    ASSERT_EQ(objects.size(), 2u);
    auto header = std::dynamic_pointer_cast<HeaderView>(objects[0]);
    auto cell = std::dynamic_pointer_cast<CommentCell>(objects[1]);
    ASSERT_TRUE(header && cell);
    EXPECT_EQ(owner->header, header);
    EXPECT_EQ(header->awoken, 1);
    EXPECT_TRUE(header->outletsAtAwake);
    EXPECT_EQ(cell->awoken, 1);
    EXPECT_EQ(cell->reuseIdentifier(), "Comment");
    EXPECT_EQ(owner->awoken, 0);  // the owner is not an object of the file
    header->refresh->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(owner->refreshes, 1);

    // Every load makes new objects.
    const auto again = UINib::nibWithNibName_bundle("Header", nullptr)->instantiateWithOwner_options(nullptr);
    EXPECT_NE(again[0], objects[0]);
    EXPECT_EQ(header->awoken, 1);
    UINibRegistry::unregisterNib("Header");
    EXPECT_THROW(UINibLoadingAdditions::loadNibNamed_owner_options(nullptr, "Header", owner), NSException);
}

TEST(UINibTest, ASharedFileIsFilledByIndexByTheModulesThatOwnItsObjects)
{
    Stage stage;
    UINibRegistry::registerObject("Shared", 0, [](UINibBuilder& nib) { return nib.view<HeaderView>(CGRectZero); });
    UINibRegistry::registerObject("Shared", 3, [](UINibBuilder& nib) {
        return nib.add(UITableViewCell::makeWithStyle<CommentCell>(UITableViewCellStyleDefault, ""));
    });
    const auto objects = UINibRegistry::instantiate("Shared", nullptr);
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_TRUE(std::dynamic_pointer_cast<HeaderView>(objects[0]));
    EXPECT_TRUE(std::dynamic_pointer_cast<UIView>(objects[1]));  // nobody registered 1 and 2 yet
    EXPECT_TRUE(std::dynamic_pointer_cast<CommentCell>(objects[3]));
    EXPECT_EQ(std::dynamic_pointer_cast<CommentCell>(objects[3])->awoken, 1);
    UINibRegistry::unregisterNib("Shared");
}

TEST(UINibTest, ControllersLoadTheirViewFromTheirFile)
{
    Stage stage;
    UINibRegistry::registerNib("OwnerScreen", [](UINibBuilder& nib) {
        auto owner = nib.owner<Owner>();
        auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 460));
        owner->title = nib.view<UILabel>(CGRectMake(0, 0, 320, 44));
        root->addSubview(owner->title);
        owner->setView(root);
        return std::vector<Ref<NSObject>>{root};
    });
    UINibRegistry::registerNib("Broken", [](UINibBuilder& nib) {
        return std::vector<Ref<NSObject>>{nib.view<UIView>(CGRectZero)};
    });
    auto owner = UIViewController::makeWithNibName<Owner>("OwnerScreen");
    EXPECT_EQ(owner->nibName(), "OwnerScreen");
    EXPECT_EQ(owner->view()->frame(), CGRectMake(0, 0, 320, 460));
    EXPECT_EQ(owner->title->superview(), owner->view());
    // A file that does not connect the owner's view is an error, as on the phone.
    auto broken = UIViewController::makeWithNibName<Owner>("Broken");
    EXPECT_THROW(broken->view(), NSException);
    // Without a name, a file named after the class is used.
    UINibRegistry::registerNib("Owner", [](UINibBuilder& nib) {
        auto root = nib.view<UIView>(CGRectMake(0, 0, 10, 10));
        nib.owner<Owner>()->setView(root);
        return std::vector<Ref<NSObject>>{root};
    });
    EXPECT_EQ(UIViewController::make<Owner>()->view()->frame(), CGRectMake(0, 0, 10, 10));
    UINibRegistry::unregisterNib("Owner");
    UINibRegistry::unregisterNib("OwnerScreen");
    UINibRegistry::unregisterNib("Broken");
}
