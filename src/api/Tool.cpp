#include "api/Tool.h"
#include "platform/foundation/Configuration.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <map>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/ServiceReply.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JSON.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/ABAddressBook.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITouch.h"

namespace {

Ref<UIColor> grey(int level)
{
    return UIColor::colorWithRed_green_blue_alpha(level / 255.0, level / 255.0, level / 255.0, 1);
}

Ref<UIView> viewWithColor(const Ref<UIColor>& color)
{
    auto view = UIView::create();
    view->setBackgroundColor(color);
    return view;
}

std::string dayText(const NSDate& date)
{
    return NSDateFormatter::format(date, "yyyy'-'MM'-'dd");
}

// The hardware model: configuration first, as the machine's name says nothing about a phone.
std::string hardwareModel()
{
    if (std::string configured = Configuration::deviceModel(); !configured.empty()) {
        return configured;
    }
    struct utsname name {};
    if (::uname(&name) == 0) {
        return name.machine;
    }
    return {};
}

}  // namespace

// ---- Tool ---------------------------------------------------------------------------------------------

CGFloat Tool::heightForText_width_font(const Value& text, CGFloat width, const Ref<UIFont>& font)
{
    if (text.isNilOrNull()) {
        return 0;
    }
    const std::string string = text.isString() ? text.string() : text.description();
    return UIStringDrawing::sizeWithFont_constrainedToSize(string, font, CGSize{width, 100000}).height;
}

Ref<UIView> Tool::getHeaderViewFromNib(int)
{
    for (const Ref<NSObject>& object : UINibRegistry::instantiate("CommonViews", nullptr)) {
        if (auto view = std::dynamic_pointer_cast<UIView>(object)) {
            return view;
        }
    }
    return nullptr;
}

Ref<NSIndexPath> Tool::getIndexPathWithTableView_andEvent(const Ref<UITableView>& tableView,
                                                          const Ref<UIEvent>& event)
{
    const Ref<UITouch> touch = event ? event->allTouches().anyObject() : nullptr;
    if (!tableView || !touch) {
        return nullptr;
    }
    return tableView->indexPathForRowAtPoint(touch->locationInView(tableView));
}

void Tool::setButtonStatus_withRelation(const Ref<UIButton>& button, int relation)
{
    if (!button) {
        return;
    }
    if (relation == 4) {
        button->setHidden(true);
        return;
    }
    button->setHidden(false);
    const char* image = relation == -1 ? "invite" : (relation % 2 != 0 ? "unfollowHe" : "followHe");
    button->setBackgroundImage_forState(UIImage::imageNamed(image), UIControlStateNormal);
}

Ref<UIButton> Tool::backButton()
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 52, 31));
    button->setBackgroundImage_forState(UIImage::imageNamed("back-button.png"), UIControlStateNormal);
    auto label = UILabel::initWithFrame(CGRectMake(16, 0, 42, 31));
    label->setText("返回");
    label->setFont(UIFont::boldSystemFontOfSize(13));
    label->setTextColor(UIColor::whiteColor());
    label->setBackgroundColor(UIColor::clearColor());
    button->addSubview(label);
    return button;
}

Ref<UIButton> Tool::sendButton(const std::string& title)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 52, 31));
    button->setBackgroundImage_forState(UIImage::imageNamed("blue-button.png"), UIControlStateNormal);
    button->setTitle_forState(title, UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(13));
    return button;
}

Ref<UILabel> Tool::titleLableWithTitle(const std::string& title)
{
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 200, 44));
    label->setFont(UIFont::boldSystemFontOfSize(18));
    label->setTextColor(UIColor::colorWithRed_green_blue_alpha(102 / 255.0, 102 / 255.0, 102 / 255.0, 1));
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextAlignment(UITextAlignmentCenter);
    label->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                               UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    label->setText(title);
    return label;
}

Value Tool::getSelfToken()
{
    return ::getSelfToken();
}

Value Tool::getSelfUsername()
{
    return ::getUserName();
}

std::string Tool::getUserMediaFolder()
{
    return ::getUserMediaFolder();
}

void Tool::performTransitionWithView1_view2_container(const Ref<UIView>& view1, const Ref<UIView>& view2,
                                                     const Ref<UIView>& container)
{
    auto transition = CATransition::animation();
    transition->setDuration(0.75);
    transition->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    transition->setType(kCATransitionMoveIn);
    transition->setSubtype(kCATransitionFromTop);
    if (container) {
        container->layer()->addAnimation_forKey(transition, "transition");
    }
    if (view1) {
        view1->setHidden(true);
    }
    if (view2) {
        view2->setHidden(false);
    }
}

void Tool::setSmallButtonStatus_withRelation(const Ref<UIButton>& button, int relation)
{
    if (!button) {
        return;
    }
    if (relation == 4) {
        button->setHidden(true);
        return;
    }
    button->setHidden(false);
    const bool following = relation % 2 != 0;
    button->setTitle_forState(following ? "取消关注" : "关注", UIControlStateNormal);
    button->setBackgroundImage_forState(UIImage::imageNamed(following ? "blue-button-small" : "follow-button-small"),
                                        UIControlStateNormal);
}

void Tool::customTableView(const Ref<UITableView>& tableView)
{
    if (!tableView) {
        return;
    }
    tableView->setBackgroundColor(UIColor::blackColor());
    tableView->setSeparatorColor(grey(77));
    tableView->setIndicatorStyle(UIScrollViewIndicatorStyleWhite);
}

void Tool::customCell(const Ref<UITableViewCell>& cell)
{
    if (!cell) {
        return;
    }
    cell->setBackgroundView(viewWithColor(grey(45)));
    cell->textLabel()->setTextColor(grey(157));
    cell->setSelectedBackgroundView(viewWithColor(grey(61)));
}

NSInteger Tool::getCellIndexBy(const Ref<UIView>& view)
{
    for (Ref<UIView> v = view; v; v = v->superview()) {
        if (std::dynamic_pointer_cast<UITableViewCell>(v)) {
            return v->tag();
        }
    }
    return 0;
}

void Tool::setNavibarBackground(const Ref<UINavigationController>& navigationController)
{
    if (navigationController) {
        navigationController->navigationBar()->setTintColor(
            UIColor::colorWithRed_green_blue_alpha(105 / 255.0, 108 / 255.0, 76 / 255.0, 1));
    }
}

Ref<UIButton> Tool::loadMoreButton(const std::string& title)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 80, 31));
    if (auto image = UIImage::imageNamed("gray-button.png")) {
        button->setBackgroundImage_forState(image->stretchableImageWithLeftCapWidth_topCapHeight(10, 10),
                                            UIControlStateNormal);
    }
    button->setTitle_forState(title, UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    button->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    return button;
}

void Tool::performTransition_andSubType_isHidden_theViewIs_duration(const std::string& type,
                                                                   const std::string& subType, bool isHidden,
                                                                   const Ref<UIView>& view, int duration)
{
    if (!view || view->isHidden() == isHidden) {
        return;
    }
    auto transition = CATransition::animation();
    transition->setDuration(duration);
    transition->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut));
    transition->setFillMode(kCAFillModeForwards);
    transition->setType(type);
    transition->setSubtype(subType);
    view->layer()->addAnimation_forKey(transition, "transition");
    view->setHidden(isHidden);
}

// ---- Free functions -----------------------------------------------------------------------------------

void SetAdClosed()
{
    NSUserDefaults::standardUserDefaults()->setObject_forKey(Value(NSDate::date()), kAdInSquareDateKey);
}

bool isAdClosed()
{
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(kAdInSquareDateKey);
    if (!stored.isDate()) {
        return false;
    }
    return dayText(stored.date()) == dayText(NSDate::date());
}

std::string getDeviceAndOSInfo()
{
    static const std::map<std::string, std::string, std::less<>> formats = {
        {"i386", "ios_%@_apple_Simulator"},     {"iPhone1,1", "ios_%@_apple_iPhone"},
        {"iPhone1,2", "ios_%@_apple_iPhone3G"}, {"iPhone2,1", "ios_%@_apple_iPhone3GS"},
        {"iPhone3,1", "ios_%@_apple_iPhone4"},  {"iPhone4,1", "ios_%@_apple_iPhone4S"},
        {"iPad1,1", "ios_%@_apple_iPad"},       {"iPad2,1", "ios_%@_apple_iPad2"},
        {"iPod1,1", "ios_%@_apple_Touch1"},     {"iPod2,1", "ios_%@_apple_Touch2"},
        {"iPod3,1", "ios_%@_apple_Touch3"},     {"iPod4,1", "ios_%@_apple_Touch4"},
    };
    const std::string model = hardwareModel();
    const std::string version = UIDevice::currentDevice()->systemVersion();
    NSLog("device %@", model);
    NSLog("system version %@", version);
    const auto found = formats.find(model);
    return stringWithFormat(found != formats.end() ? found->second : std::string("ios_%@_apple_unknown"), version);
}

void AlertResponse(const Ref<HTTPRequest>& request)
{
    const Value reply = request ? ServiceReply::of(request) : Value();
    const Value message = ServiceReply::msg(reply);
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "网络失败", message.isString() ? message.string() : message.stringValue(), nullptr, "确定");
    alert->show();
}

CGRect CGRectZoomBy(CGRect rect, CGFloat)
{
    return CGRectMake(rect.origin.x + 6, rect.origin.y + 5, rect.size.width - 12, rect.size.height - 13);
}

void Control_removeAllTarget(const Ref<UIControl>& control, const std::string& action)
{
    if (!control) {
        return;
    }
    for (const Ref<NSObject>& target : control->allTargets()) {
        control->removeTarget_action_forControlEvents(target, action, UIControlEventTouchUpInside);
    }
}

std::vector<Ref<Contact>> Tool::getContacts()
{
    Ref<ABAddressBook> book = ABAddressBook::create();
    if (ABAddressBook::authorizationStatus() == kABAuthorizationStatusNotDetermined) {
        book->requestAccessWithCompletion(nullptr);
    }
    std::vector<Ref<Contact>> contacts;
    for (const ABPerson& person : book->copyArrayOfAllPeople()) {
        for (std::string phone : person.phoneNumbers) {
            std::erase_if(phone, [](char c) { return c == '-' || c == ' '; });
            // A country prefix is looked for only where it can stand: "86" in the first two
            // characters, then "+86" in the first three.
            if (phone.compare(0, 2, "86") == 0) {
                phone.erase(0, 2);
            }
            if (phone.compare(0, 3, "+86") == 0) {
                phone.erase(0, 3);
            }
            if (PhoneNumberTest::isPhoneNumber(phone)) {
                Ref<Contact> contact = Contact::create();
                contact->setName(person.compositeName);
                contact->setPhone(phone);
                contacts.push_back(contact);
            }
        }
    }
    return contacts;
}
