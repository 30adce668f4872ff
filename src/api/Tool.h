#pragma once
// The screens' shared toolbox: the class Tool (class methods only), a few free functions, and the
// Contact record. The categories on platform classes are in Categories.h.
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class HTTPRequest;
class NSIndexPath;
class UIButton;
class UIControl;
class UIEvent;
class UIFont;
class UILabel;
class UINavigationController;
class UITableView;
class UITableViewCell;
class UIView;

// Tags with a meaning across screens.
inline constexpr NSInteger kEmotionMarkTag = 888;  // the emotion mark beside a button, a button's spinner
inline constexpr NSInteger kCoverButtonTag = 1000;
inline constexpr NSInteger kAvatarButtonTag = 1001;

// User default: the day the square's advertisement was closed.
inline constexpr char kAdInSquareDateKey[] = "kAdInSquareDate";

// One person of the address book with one phone number.
class Contact : public NSObject {
public:
    static Ref<Contact> create() { return std::make_shared<Contact>(); }
    const std::string& name() const { return name_; }
    void setName(const std::string& name) { name_ = name; }
    const std::string& phone() const { return phone_; }
    void setPhone(const std::string& phone) { phone_ = phone; }

    Contact() = default;

private:
    std::string name_;
    std::string phone_;
};

class Tool {
public:
    // Height of the text wrapped to the width in the font (at most 100000 points); 0 for nil.
    static CGFloat heightForText_width_font(const Value& text, CGFloat width, const Ref<UIFont>& font);
    // The first top-level view of the shared interface file "CommonViews"; the argument is not used.
    static Ref<UIView> getHeaderViewFromNib(int index);
    // The row under any touch of the event (buttons inside cells); nil when there is none.
    static Ref<NSIndexPath> getIndexPathWithTableView_andEvent(const Ref<UITableView>& tableView,
                                                               const Ref<UIEvent>& event);
    // Relation 4 hides the button; otherwise it shows with the background "invite" (-1), "unfollowHe"
    // (odd) or "followHe" (even).
    static void setButtonStatus_withRelation(const Ref<UIButton>& button, int relation);
    // The registration screens' navigation buttons and title.
    static Ref<UIButton> backButton();
    static Ref<UIButton> sendButton(const std::string& title);
    static Ref<UILabel> titleLableWithTitle(const std::string& title);
    // The session values the engine bridge reads.
    static Value getSelfToken();
    static Value getSelfUsername();
    static std::string getUserMediaFolder();
    // A 0.75 s move-in from the top on the container's layer; hides view 1 and shows view 2.
    static void performTransitionWithView1_view2_container(const Ref<UIView>& view1, const Ref<UIView>& view2,
                                                          const Ref<UIView>& container);
    // Relation 4 hides; odd: "取消关注" on "blue-button-small"; even: "关注" on "follow-button-small".
    static void setSmallButtonStatus_withRelation(const Ref<UIButton>& button, int relation);
    // The dark look of tables and cells.
    static void customTableView(const Ref<UITableView>& tableView);
    static void customCell(const Ref<UITableViewCell>& cell);
    // The tag of the nearest table cell holding the view (the view itself included); 0 outside cells.
    static NSInteger getCellIndexBy(const Ref<UIView>& view);
    // Tints the navigation bar (105, 108, 76).
    static void setNavibarBackground(const Ref<UINavigationController>& navigationController);
    // An 80 x 31 button on the stretched "gray-button.png" with the title in 13-point white.
    static Ref<UIButton> loadMoreButton(const std::string& title);
    // When the view's hidden state is not the wanted one: a transition of the type and subtype (ease
    // out, filling forwards) lasting the whole seconds, then the wanted state.
    static void performTransition_andSubType_isHidden_theViewIs_duration(const std::string& type,
                                                                        const std::string& subType, bool isHidden,
                                                                        const Ref<UIView>& view, int duration);
    // The movie's duration in seconds (0 when it cannot be opened) and, as a side effect, its still at
    // 0.5 s written to the thumbnail path as a PNG file (whatever the path's extension), atomically.
    // A still that cannot be made is logged and nothing is written. Safe on any thread.
    static double movieThumb_path(const std::string& moviePath, const std::string& thumbnailPath);
    // The address book's people with a phone number that isPhoneNumber accepts, one Contact per such
    // number in address-book order, the number without "-", " " and a leading "86" or "+86". Access is
    // asked for when the user has not answered yet; without it the list is empty.
    static std::vector<Ref<Contact>> getContacts();
};

// Stores today under "kAdInSquareDate" (the square's advertisement was closed).
void SetAdClosed();
// YES on the calendar day the advertisement was closed.
bool isAdClosed();
// The device name the engine reports and sends as "dev": "ios_<system version>_apple_<device>". The
// hardware model is the configuration's OMBRI_DEVICE_MODEL ("iPhone4,1"), else the machine's name.
std::string getDeviceAndOSInfo();
// The cover frame inside a feed cell's image: inset by (6, 5) with 12 and 13 points less; the factor
// is not used.
CGRect CGRectZoomBy(CGRect rect, CGFloat factor);
// Shows the reply's "msg" in an alert titled "网络失败" with the one button "确定" (no message when the
// reply is not JSON).
void AlertResponse(const Ref<HTTPRequest>& request);
// Removes the touch-up-inside action of that name from every target of the control.
void Control_removeAllTarget(const Ref<UIControl>& control, const std::string& action);
