#pragma once
// Categories that give every screen the same look, validators and encodings. Each category is a
// namespace of free functions; instance methods take the object first, class methods take none.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class UIButton;
class UIColor;
class UIFont;
class UIImage;
class UIImageView;
class UILabel;
class UINavigationController;
class UITextField;
class UIViewController;
class WebImageManager;
class WebImageManagerDelegate;

// UINavigationController(CustomImage), UIColor(CustomImage)
namespace CustomImage {
// The navigation controller of the interface file "MyNav" (the one with the custom bar) holding the
// root as its only controller, its view framed (0, 0, 320, 460); every modal flow is wrapped in it.
// Until a module registers "MyNav", a plain navigation controller stands in for it.
Ref<UINavigationController> MyNaviWithRoot(const Ref<UIViewController>& root);
// Pattern colours of "plaid-bg.png" and "cell_bkg.png".
Ref<UIColor> bkg();
Ref<UIColor> yellowBkg();
}  // namespace CustomImage

// UIFont(CustomFont): "STHeitiSC-Light" and "STHeitiSC-Medium" at the size.
namespace CustomFont {
Ref<UIFont> cnFontOfSize(CGFloat size);
Ref<UIFont> BoldCnFontOfSize(CGFloat size);
}  // namespace CustomFont

// NSString(PhoneNumberTest). The validators count characters, not bytes, and follow the platform's
// regular expressions (Unicode digits and white space).
namespace PhoneNumberTest {
// 1 and ten more digits, behind an optional "86" or "+86".
bool isPhoneNumber(const std::string& text);
bool isEmail(const std::string& text);
// 6 to 16 characters, none of them white space.
bool isPassword(const std::string& text);
// MD5 of the UTF-8 bytes as 32 lower-case hexadecimal digits.
std::string MD5String(const std::string& text);
// Percent-encoding of the UTF-8 text, escaping also "!*'();:@&=+$,/?%#[]".
std::string urlEncode(const std::string& text);
// The index letter of the text: its first character when that is ASCII, else the lower-case pinyin
// initial of a GB 2312 character, "#" for anything else; "" for an empty text.
std::string getChineseCaptialChar(const std::string& text);
// Whole seconds as "m:ss"-style text, minutes and seconds padded with "0" below 10 ("01:05").
std::string second2String(int seconds);
}  // namespace PhoneNumberTest

// UIImageView(OmbriOEM)
namespace OmbriOEM {
// Clips to a corner radius of 5.
void setRoundRect(const Ref<UIImageView>& imageView);
}  // namespace OmbriOEM

// UIButton(SetImageView), UILabel(SetImageView), UITextField(SetImageView)
namespace SetImageView {
// setImageWithUrl_clickable with YES.
void setImageWithUrl(const Ref<UIButton>& button, const Value& url);
// Shows the placeholder background ("missing-video-thumb.png" on a cover button, tag 1000;
// "missing-avatar.png" on an avatar button, tag 1001), then asks the shared image manager for the image
// of the URL (a text or an NSURL), which becomes the background. A button given another URL never shows
// the earlier one's image (cells are reused). Not clickable: no highlighting, no touches.
void setImageWithUrl_clickable(const Ref<UIButton>& button, const Value& url, bool clickable);
// The image manager's answer: the background for the normal state.
void webImageManager_didFinishWithImage(const Ref<UIButton>& button, WebImageManager* manager,
                                        const Ref<UIImage>& image);
// The helper that stands for the button with the image manager (made on first use).
Ref<WebImageManagerDelegate> managerDelegate(const Ref<UIButton>& button);
// Clips to a corner radius of half the width.
void setToRound(const Ref<UIButton>& button);
// Clips to a corner radius of 5 and lays the avatar frame "white-user-icon-overlay.png" over it.
void setRoundRect(const Ref<UIButton>& button);
// Adds a new 18 x 18 emotion mark (tag 888) to the button's superview at its lower right corner:
// "emotion<n>.png" for n from 1 to 5, hidden otherwise.
void setEmotion(const Ref<UIButton>& button, int emotion);
// The same, reusing the superview's mark (tag 888) when it has one (cells that are refilled).
void setEmotion2(const Ref<UIButton>& button, int emotion);
// Hides the superview's mark.
void setEmotionHidden(const Ref<UIButton>& button);
// The background from an image file.
void setImageWithContentOfFile(const Ref<UIButton>& button, const std::string& path);
// YES: enabled, without its spinner; NO: disabled, with a white spinner (tag 888) at its centre.
void setEnabledWhileSendingRequest(const Ref<UIButton>& button, bool enabled);
// A registration row's label: (10, 5, 65, 30), black bold 17-point text on clear.
Ref<UILabel> customInputLable();
// A registration row's field: (50, 10, 240, 30) with a clear button while editing.
Ref<UITextField> customInputField();
}  // namespace SetImageView
