// A damaged install: the pictures the screens stretch into frames and button backgrounds are missing
// or cut short. The screens still build and draw; where a picture is missing nothing is drawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "FeedTestSupport.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIWindowSnapshot.h"
#include "social/FriendVC.h"
#include "social/Login.h"
#include "social/MemberInfoController.h"
#include "social/MessageCell.h"
#include "social/SquareVC.h"

namespace {
namespace DamagedInstallTest_cpp {

using feedtest::FeedTest;

// The pictures every screen below stretches, with their @2x forms.
constexpr const char* kStretched[] = {"menu_cell_bkg", "fast-reg-button", "black-button-bg", "activity-photo-frame"};

enum class Damage { Missing, CutInHeader, CutInPixels };

class DamagedInstallTest : public FeedTest {
protected:
    // Replaces the bundle's links to the stretched pictures by nothing or by their first bytes.
    void damage(Damage how)
    {
        namespace fs = std::filesystem;
        const fs::path bundle = NSBundle::mainBundle()->bundlePath();
        for (const char* name : kStretched) {
            for (const std::string suffix : {".png", "@2x.png"}) {
                const fs::path file = bundle / (name + suffix);
                const fs::path original = fs::read_symlink(file);
                fs::remove(file);
                if (how == Damage::Missing) {
                    continue;
                }
                std::ifstream in(original, std::ios::binary);
                std::string bytes(how == Damage::CutInHeader ? 20 : 60, '\0');
                in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                std::ofstream(file, std::ios::binary).write(bytes.data(), in.gcount());
            }
        }
        UIImage::clearNamedImageCache();
    }

    // Shows the screen in the window, lays it out and draws it.
    void build(const Ref<UIViewController>& screen)
    {
        show(screen);
        window->layoutIfNeeded();
        screen->view()->layoutIfNeeded();
        EXPECT_TRUE(UIWindowSnapshot(window, 1));
    }
};

TEST_F(DamagedInstallTest, MissingOrCutPicturesDrawNothingAndNoScreenFails)
{
    for (Damage how : {Damage::Missing, Damage::CutInHeader, Damage::CutInPixels}) {
        SCOPED_TRACE(static_cast<int>(how));
        // A whole bundle again, made from the application's own.
        NSBundle::setMainBundlePath("");
        std::filesystem::remove_all(home.path() + "/bundle");
        makeBundle();
        damage(how);
        for (const char* name : kStretched) {
            if (how == Damage::Missing) {
                EXPECT_FALSE(UIImage::imageNamed(name)) << name;
            }
        }

        build(SquareVC::create());
        auto friends = FriendVC::create();
        build(friends);
        friends->table()->layoutIfNeeded();  // its rows take the row background
        EXPECT_TRUE(UIWindowSnapshot(window, 1));

        // The edition decides which of its two buttons takes the picture: either is drawn without it.
        auto login = Login::create();
        build(login);
        if (login->table()) {
            login->table()->layoutIfNeeded();  // its footer holds the registration button
        }
        const Ref<UIButton> stretched = login->partnerButton() ? login->partnerButton() : login->registerButton();
        ASSERT_TRUE(stretched);
        if (how == Damage::Missing) {
            EXPECT_FALSE(stretched->backgroundImageForState(UIControlStateNormal));
        }
        auto member = MemberInfoController::create();
        build(member);
        if (how == Damage::Missing) {
            ASSERT_TRUE(member->changeAvatarButton());
            EXPECT_FALSE(member->changeAvatarButton()->backgroundImageForState(UIControlStateNormal));
        }

        auto cell = MessageCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Cell");
        ASSERT_TRUE(cell->videoCoverBkg());
        if (how == Damage::Missing) {
            EXPECT_FALSE(cell->videoCoverBkg()->image());
        }
    }
}

}  // namespace DamagedInstallTest_cpp
}  // namespace
