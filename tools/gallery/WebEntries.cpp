// Gallery entries that need a web server beside the stand-in service: the in-app browser on a page,
// and the two microblog clients' authorisation pages served by their stand-in OAuth providers.
#include <cstdlib>
#include <memory>
#include <string>

#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "platform/graphics/CGContext.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "servers/OAuthProviders.h"
#include "service/HttpServer.h"
#include "widgets/WebViewController.h"

namespace gallery {

namespace {
namespace WebEntries_cpp {

constexpr char kNewsPage[] =
    "<html><head><meta charset=\"utf-8\"><title>小明的新视频上线了</title></head><body>"
    "<h1>小明的新视频上线了</h1><p>今天在西湖边拍的一段短片，配上了新的<b>滤镜</b>。</p>"
    "<p><img src=\"/news/cover.png\" width=\"160\" height=\"120\"></p>"
    "<p>已经有 128 人看过，32 人留下了评论。</p>"
    "<ul><li><a href=\"/news/2\">西湖的早晨</a></li><li><a href=\"/news/3\">How the filters work</a></li></ul>"
    "<p>点击下方按钮即可分享给朋友。</p></body></html>";

// The page has arrived and the view has drawn it.
bool pageShown(const Ref<UIWebView>& web)
{
    return web && !web->isLoading() && !web->pageTitle().empty() && web->pageDrawn();
}

// The middle of a field of the page on the screen.
CGPoint onScreen(const Ref<UIWebView>& web, CGRect frame)
{
    const CGPoint inWindow =
        web->convertPoint_toView(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)), nullptr);
    return web->window() ? web->window()->convertPoint_toWindow(inWindow, nullptr) : inWindow;
}

// A person fills the sign-in page: a tap on each field, the keys typed, the password field left focused.
bool fillIn(const Ref<UIWebView>& web)
{
    bool typed = false;
    for (const char* name : {"userId", "passwd"}) {
        // Looked for again each time: the page moves when the keyboard comes up.
        for (const auto& field : web->fields()) {
            if (field.name == name) {
                UIScreenInput::tap(onScreen(web, field.frame));
                typed = UIScreenInput::typeText(field.name == "userId" ? "xiaoming" : "secret") || typed;
            }
        }
    }
    return typed;
}

// The browser as the feed presents it, on a page of a local server.
UIGalleryEntry browserEntry()
{
    auto browser = std::make_shared<Weak<WebViewController>>();
    return {"web-browser-page", CGSizeMake(320, 480),
            [browser](const Ref<UIWindow>& window) {
                auto server = std::make_shared<standin::HttpServer>();
                server->route("/news/1", [](const standin::Request&) {
                    standin::Response response;
                    response.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
                    response.body = kNewsPage;
                    return response;
                });
                server->route("/news/cover.png", [](const standin::Request&) {
                    standin::Response response;
                    response.headers.push_back({"Content-Type", "image/png"});
                    const auto bytes = NSData::dataWithContentsOfFile(
                        NSBundle::mainBundle()->pathForResource_ofType("default_cover", "png"));
                    response.body = bytes ? bytes->string() : std::string();
                    return response;
                });
                UIGallery::keep(server);
                auto modal = ModalWebViewController::initWithAddress("http://" + server->hostPort() + "/news/1");
                modal->setAvailableActions(7);
                *browser = modal->webViewController();
                window->setRootViewController(modal);
            },
            [browser] {
                auto controller = browser->lock();
                return controller && pageShown(controller->mainWebView()) &&
                       controller->mainWebView()->pendingImageCount() == 0;
            }};
}

// A microblog client pushed for a login, on its authorisation page.
template <class Client>
UIGalleryEntry authorisePageEntry(const std::string& name, bool filled)
{
    auto client = std::make_shared<Weak<Client>>();
    auto typed = std::make_shared<bool>(false);
    return {name, CGSizeMake(320, 480),
            [client](const Ref<UIWindow>& window) {
                using TestServers::OAuthProvider;
                auto authority = std::make_shared<TestServers::TestCertificateAuthority>();
                SecTrustAnchors::add(SecCertificate::createWithPEM(authority->certificate().certificatePEM));
                std::shared_ptr<OAuthProvider> provider;
                if constexpr (std::is_same_v<Client, QQWeiboClient>) {
                    provider = std::make_shared<OAuthProvider>(OAuthProvider::Options{
                        OAuthProvider::Kind::QQ, QQWeiboClient::kConsumerKey, QQWeiboClient::kConsumerSecret,
                        authority.get()});
                    setenv("OMBRI_QQ_WEIBO_HOST", provider->hostPort().c_str(), 1);
                } else {
                    // The pair of the bundle's edition configuration.
                    const std::string path = NSBundle::mainBundle()->pathForResource_ofType("lumo-OEM-config", "plist");
                    const Value config = NSDictionary::dictionaryWithContentsOfFile(path)["LumoWeiboClient"];
                    provider = std::make_shared<OAuthProvider>(OAuthProvider::Options{
                        OAuthProvider::Kind::Lumo, config["Lumo_APPKEY"].stringValue(),
                        config["Lumo_APPSECRET"].stringValue(), nullptr});
                    setenv("OMBRI_LUMO_WEIBO_HOST", provider->hostPort().c_str(), 1);
                }
                UIGallery::keep(authority);
                UIGallery::keep(provider);
                auto screen = Client::create();
                screen->setIsLogin(true);
                *client = screen;
                window->setRootViewController(UINavigationController::initWithRootViewController(screen));
            },
            [client, filled, typed] {
                auto screen = client->lock();
                if (!screen || !pageShown(screen->oauthWebView())) {
                    return false;
                }
                if (filled && !*typed) {
                    *typed = fillIn(screen->oauthWebView());
                    return false;
                }
                return true;
            }};
}

}  // namespace WebEntries_cpp
}  // namespace

void registerWebEntries()
{
    UIGallery::add(WebEntries_cpp::browserEntry());
    UIGallery::add(WebEntries_cpp::authorisePageEntry<LumoWeiboClient>("lumo-weibo-authorise-page", false));
    UIGallery::add(WebEntries_cpp::authorisePageEntry<QQWeiboClient>("qq-weibo-authorise-page", false));
    UIGallery::add(WebEntries_cpp::authorisePageEntry<LumoWeiboClient>("lumo-weibo-authorise-page-filled", true));
    UIGallery::add(WebEntries_cpp::authorisePageEntry<QQWeiboClient>("qq-weibo-authorise-page-filled", true));
}

}  // namespace gallery
