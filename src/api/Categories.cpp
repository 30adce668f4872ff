#include "api/Categories.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

#include "api/Tool.h"
#include "net/webimage/WebImageManager.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Charset.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITextField.h"

namespace {

// A compiled pattern of the platform's regular expressions (ICU), shared by every caller; matchers
// are made per call, so this is thread-safe.
class Pattern {
public:
    Pattern(const char* pattern, uint32_t flags)
    {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError{};
        pattern_.reset(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), flags, parseError, status));
        if (U_FAILURE(status)) {
            pattern_.reset();
        }
    }
    // The whole text must match.
    bool matches(const std::string& text) const
    {
        if (!pattern_) {
            return false;
        }
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
        std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(subject, status));
        if (U_FAILURE(status) || !matcher) {
            return false;
        }
        const bool matched = matcher->matches(status);
        return U_SUCCESS(status) && matched;
    }

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};

const char kButtonManagerDelegateKey = 0;

// The button's side of the image manager, attached to the button; holds it weakly.
class ButtonImageDelegate : public NSObject, public WebImageManagerDelegate {
public:
    explicit ButtonImageDelegate(const Ref<UIButton>& button) : button_(button) {}

    void webImageManager_didFinishWithImage(WebImageManager* manager, const Ref<UIImage>& image) override
    {
        if (auto button = button_.lock()) {
            SetImageView::webImageManager_didFinishWithImage(button, manager, image);
        }
    }

private:
    Weak<UIButton> button_;
};

Ref<NSURL> urlOf(const Value& url)
{
    if (auto object = url.object<NSURL>()) {
        return object;
    }
    return url.isString() ? NSURL::URLWithString(url.string()) : nullptr;
}

void addEmotionMark(const Ref<UIButton>& button, int emotion, bool reuse)
{
    const Ref<UIView> superview = button ? button->superview() : nullptr;
    if (!superview) {
        return;
    }
    const CGRect frame = button->frame();
    Ref<UIImageView> mark;
    if (reuse) {
        // Only an image view can be a mark; a spinner with the same tag is left alone.
        mark = std::dynamic_pointer_cast<UIImageView>(superview->viewWithTag(kEmotionMarkTag));
    }
    if (!mark) {
        mark = UIImageView::create();
        mark->setTag(kEmotionMarkTag);
        superview->addSubview(mark);
    }
    mark->setFrame(CGRectMake(frame.origin.x + frame.size.width - 14, frame.origin.y + frame.size.height - 14, 18, 18));
    if (emotion >= 1 && emotion <= 5) {
        mark->setImage(UIImage::imageNamed(stringWithFormat("emotion%d.png", emotion)));
        mark->setHidden(false);
    } else {
        mark->setHidden(true);
    }
}

}  // namespace

// ---- CustomImage --------------------------------------------------------------------------------------

namespace CustomImage {

Ref<UINavigationController> MyNaviWithRoot(const Ref<UIViewController>& root)
{
    if (!UINibRegistry::hasNib("MyNav")) {
        UINibRegistry::registerNib("MyNav", [](UINibBuilder& nib) {
            return std::vector<Ref<NSObject>>{nib.add(UINavigationController::create())};
        });
    }
    const auto objects = UINibRegistry::instantiate("MyNav", nullptr);
    auto navigation = objects.empty() ? nullptr : std::dynamic_pointer_cast<UINavigationController>(objects.front());
    if (!navigation) {
        navigation = UINavigationController::create();
    }
    if (root) {
        navigation->setViewControllers({root});
    }
    navigation->view()->setFrame(CGRectMake(0, 0, 320, 460));
    return navigation;
}

Ref<UIColor> bkg()
{
    return UIColor::colorWithPatternImage(UIImage::imageNamed("plaid-bg.png"));
}

Ref<UIColor> yellowBkg()
{
    return UIColor::colorWithPatternImage(UIImage::imageNamed("cell_bkg.png"));
}

}  // namespace CustomImage

// ---- CustomFont ---------------------------------------------------------------------------------------

namespace CustomFont {

Ref<UIFont> cnFontOfSize(CGFloat size)
{
    return UIFont::fontWithName_size("STHeitiSC-Light", size);
}

Ref<UIFont> BoldCnFontOfSize(CGFloat size)
{
    return UIFont::fontWithName_size("STHeitiSC-Medium", size);
}

}  // namespace CustomFont

// ---- PhoneNumberTest ----------------------------------------------------------------------------------

namespace PhoneNumberTest {

bool isPhoneNumber(const std::string& text)
{
    static const Pattern pattern("^((\\+86)|(86))?(1)\\d{10}$", UREGEX_CASE_INSENSITIVE);
    return pattern.matches(text);
}

bool isEmail(const std::string& text)
{
    static const Pattern pattern("^([a-zA-Z0-9_\\.\\-\\+])+@(([a-zA-Z0-9\\-])+\\.)+([a-zA-Z0-9]{2,4})+$", 0);
    return pattern.matches(text);
}

bool isPassword(const std::string& text)
{
    static const Pattern pattern("^[\\S]{6,16}$", 0);
    return pattern.matches(text);
}

std::string MD5String(const std::string& text)
{
    return CommonCrypto::hex(CommonCrypto::md5(text));
}

std::string urlEncode(const std::string& text)
{
    return PercentEscapes::addPercentEscapes(text, "!*'();:@&=+$,/?%#[]");
}

std::string getChineseCaptialChar(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const NSStringEncoding gb18030 = CFStringConvertEncodingToNSStringEncoding(kCFStringEncodingGB_18030_2000);
    const auto encoded = Charset::encode(text, gb18030, true);
    if (!encoded || encoded->empty()) {
        return "#";
    }
    const auto first = static_cast<unsigned char>((*encoded)[0]);
    if (first < 0x80) {
        return NSString::substringToIndex(text, 1);
    }
    if (encoded->size() < 2) {
        return "#";
    }
    const unsigned code = (first << 8) | static_cast<unsigned char>((*encoded)[1]);
    static const struct {
        unsigned upTo;
        const char* letter;
    } bounds[] = {
        {45216, "#"}, {45252, "a"}, {45760, "b"}, {46317, "c"}, {46825, "d"}, {47009, "e"}, {47296, "f"},
        {47613, "g"}, {48118, "h"}, {49061, "j"}, {49323, "k"}, {49895, "l"}, {50370, "m"}, {50613, "n"},
        {50621, "o"}, {50905, "p"}, {51386, "q"}, {51445, "r"}, {52217, "s"}, {52697, "t"}, {52979, "w"},
        {53688, "x"}, {54480, "y"}, {55289, "z"},
    };
    for (const auto& bound : bounds) {
        if (code <= bound.upTo) {
            return bound.letter;
        }
    }
    return "#";
}

std::string second2String(int seconds)
{
    const int minutes = seconds / 60;
    const int rest = seconds % 60;
    return stringWithFormat("%@%d:%@%d", minutes < 10 ? "0" : "", minutes, rest < 10 ? "0" : "", rest);
}

}  // namespace PhoneNumberTest

// ---- OmbriOEM -----------------------------------------------------------------------------------------

namespace OmbriOEM {

void setRoundRect(const Ref<UIImageView>& imageView)
{
    if (!imageView) {
        return;
    }
    imageView->setClipsToBounds(true);
    imageView->layer()->setCornerRadius(5);
}

}  // namespace OmbriOEM

// ---- SetImageView -------------------------------------------------------------------------------------

namespace SetImageView {

Ref<WebImageManagerDelegate> managerDelegate(const Ref<UIButton>& button)
{
    if (!button) {
        return nullptr;
    }
    if (auto helper = button->associatedObject<ButtonImageDelegate>(&kButtonManagerDelegateKey)) {
        return helper;
    }
    auto helper = std::make_shared<ButtonImageDelegate>(button);
    button->setAssociatedObject(&kButtonManagerDelegateKey, helper);
    return helper;
}

void setImageWithUrl(const Ref<UIButton>& button, const Value& url)
{
    setImageWithUrl_clickable(button, url, true);
}

void setImageWithUrl_clickable(const Ref<UIButton>& button, const Value& url, bool clickable)
{
    if (!button) {
        return;
    }
    if (button->tag() == kCoverButtonTag) {
        button->setBackgroundImage_forState(UIImage::imageNamed("missing-video-thumb.png"), UIControlStateNormal);
    } else if (button->tag() == kAvatarButtonTag) {
        button->setBackgroundImage_forState(UIImage::imageNamed("missing-avatar.png"), UIControlStateNormal);
    }
    auto manager = WebImageManager::sharedManager();
    auto delegate = managerDelegate(button);
    // A reused cell's button must not show the image its earlier record asked for.
    manager->cancelForDelegate(delegate);
    if (auto address = urlOf(url)) {
        manager->downloadWithURL_delegate(address, delegate);
    }
    if (!clickable) {
        button->setAdjustsImageWhenHighlighted(false);
        button->setUserInteractionEnabled(false);
    }
}

void webImageManager_didFinishWithImage(const Ref<UIButton>& button, WebImageManager*, const Ref<UIImage>& image)
{
    if (button) {
        button->setBackgroundImage_forState(image, UIControlStateNormal);
    }
}

void setToRound(const Ref<UIButton>& button)
{
    if (!button) {
        return;
    }
    button->setClipsToBounds(true);
    button->layer()->setCornerRadius(button->frame().size.width / 2);
}

void setRoundRect(const Ref<UIButton>& button)
{
    if (!button) {
        return;
    }
    button->setClipsToBounds(true);
    button->layer()->setCornerRadius(5);
    auto overlay = UIImageView::initWithFrame(button->bounds());
    overlay->setImage(UIImage::imageNamed("white-user-icon-overlay.png"));
    button->addSubview(overlay);
}

void setEmotion(const Ref<UIButton>& button, int emotion)
{
    addEmotionMark(button, emotion, false);
}

void setEmotion2(const Ref<UIButton>& button, int emotion)
{
    addEmotionMark(button, emotion, true);
}

void setEmotionHidden(const Ref<UIButton>& button)
{
    if (const Ref<UIView> superview = button ? button->superview() : nullptr) {
        if (auto mark = superview->viewWithTag(kEmotionMarkTag)) {
            mark->setHidden(true);
        }
    }
}

void setImageWithContentOfFile(const Ref<UIButton>& button, const std::string& path)
{
    if (button) {
        button->setBackgroundImage_forState(UIImage::imageWithContentsOfFile(path), UIControlStateNormal);
    }
}

void setEnabledWhileSendingRequest(const Ref<UIButton>& button, bool enabled)
{
    if (!button) {
        return;
    }
    if (enabled) {
        button->setEnabled(true);
        // Only a subview: the button itself may carry the tag.
        for (const auto& subview : std::vector<Ref<UIView>>(button->subviews())) {
            if (subview->tag() == kEmotionMarkTag) {
                subview->removeFromSuperview();
            }
        }
        return;
    }
    button->setEnabled(false);
    auto spinner = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhite);
    spinner->setTag(kEmotionMarkTag);
    const CGRect bounds = button->bounds();
    spinner->setCenter(CGPointMake(bounds.size.width / 2, bounds.size.height / 2));
    button->addSubview(spinner);
    spinner->startAnimating();
}

Ref<UILabel> customInputLable()
{
    auto label = UILabel::initWithFrame(CGRectMake(10, 5, 65, 30));
    label->setTextColor(UIColor::blackColor());
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setBackgroundColor(UIColor::clearColor());
    return label;
}

Ref<UITextField> customInputField()
{
    auto field = UITextField::initWithFrame(CGRectMake(50, 10, 240, 30));
    field->setClearButtonMode(UITextFieldViewModeWhileEditing);
    return field;
}

}  // namespace SetImageView
