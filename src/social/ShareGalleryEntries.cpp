#include "social/ShareGalleryEntries.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "social/Share.h"
#include "social/TagEmotion.h"

namespace {
namespace ShareGalleryEntries_cpp {

// The window answers as the application delegate's, where the popup goes.
class GalleryDelegate : public UIApplicationDelegate {
public:
    explicit GalleryDelegate(const Ref<UIWindow>& window) : window_(window) {}
    Ref<UIWindow> window() const override { return window_.lock(); }

private:
    Weak<UIWindow> window_;
};

void useAsApplicationWindow(const Ref<UIWindow>& window)
{
    auto delegate = std::make_shared<GalleryDelegate>(window);
    UIGallery::keep(delegate);
    UIApplication::sharedApplication()->setDelegate(delegate);
}

// A login with the Lumo microblog bound, taken back when the gallery lets the entry go.
struct LoggedIn {
    LoggedIn()
    {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("gallery")},
                                         {"suid", Value("1001")},
                                         {"nick", Value("小明")},
                                         {"username", Value("xiaoming")},
                                         {"bindLumoWeibo", Value(true)},
                                         {"bindQWeibo", Value(false)}}));
    }
    ~LoggedIn()
    {
        if (isLogin()) {
            Logout();
        }
    }
};

// The dialog with the comment typed; with every target chosen when asked (the mail and the text
// message as after they were sent) and the keyboard away, so each target's mark shows beside a chosen
// switch.
void addShareDialog(const char* name, const std::string& comment, bool everyTarget = false)
{
    UIGallery::add({name, CGSizeMake(320, 480), [comment, everyTarget](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        auto share = Share::myinit(Value::dictionary({{"scid", Value("sc3001")},
                                                                      {"t", Value("西湖边的傍晚")},
                                                                      {"fn", Value("sc3001.mp4")}}));
                        auto navigation = CustomImage::MyNaviWithRoot(share);
                        UIGallery::keep(navigation);
                        window->setRootViewController(navigation);
                        share->input->setText(comment);
                        share->textViewDidChange(share->input);
                        if (everyTarget) {
                            for (const Ref<UIButton>& target : {share->postQQBtn, share->postByEmailBtn, share->postBySmsBtn}) {
                                target->setSelected(true);
                            }
                            // The keyboard put away, as when the person has finished typing, so that
                            // every target shows.
                            share->input->resignFirstResponder();
                        }
                    }});
}

}  // namespace ShareGalleryEntries_cpp
}  // namespace

void registerShareGalleryEntries()
{
    using namespace ShareGalleryEntries_cpp;
    UIGallery::add({"tag-emotion-popup", CGSizeMake(320, 480), [](const Ref<UIWindow>& window) {
                        useAsApplicationWindow(window);
                        // A screen with the emotion button the popup opens from.
                        auto screen = UIViewController::create();
                        screen->setTitle("详情");
                        auto navigation = UINavigationController::initWithRootViewController(screen);
                        UIGallery::keep(navigation);
                        window->setRootViewController(navigation);
                        screen->view()->setBackgroundColor(CustomImage::yellowBkg());
                        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
                        button->setFrame(CGRectMake(266, 150, 44, 27));
                        button->setBackgroundImage_forState(UIImage::imageNamed("tag-emotion.png"),
                                                            UIControlStateNormal);
                        screen->view()->addSubview(button);
                        // The page passes the button's origin in the navigation view's coordinates.
                        const CGPoint origin = screen->view()->convertPoint_toView(button->frame().origin,
                                                                                    navigation->view());
                        TagEmotion::showAtPostion_withChannel(origin, Value::dictionary({{"scid", Value("sc3001")}}));
                    }});
    addShareDialog("share-dialog", "傍晚的西湖太美了，断桥边的晚霞一起来看！");
    std::string tooLong;
    for (int i = 0; i < 29; ++i) {
        tooLong += "西湖的晚霞";
    }
    addShareDialog("share-dialog-too-long", tooLong);
    addShareDialog("share-dialog-targets", "", true);
}
