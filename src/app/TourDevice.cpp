// The tour's steps through the device's own screens: a movie imported from the album's grid, a share
// sent by mail from its composer, a followed topic deleted from its list, and the phone number typed on
// the drawn keyboard.
#include <string>

#include "api/LoginState.h"
#include "app/TourHarness.h"
#include "capture/PPlayer.h"
#include "capture/VideoShareController.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/MessageUI.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIKeyboardView.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UITextView.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedVC.h"
#include "shell/FeedbackPopupView.h"
#include "social/ChangePhoneController.h"
#include "social/MemberInfoController.h"
#include "social/SettingVC.h"
#include "social/Share.h"
#include "social/TopicFollowedCell.h"
#include "social/TopicFollowedVC.h"

namespace tour {
namespace {
namespace TourDevice_cpp {

// The new number typed on the drawn keyboard.
constexpr char kNewPhone[] = "13800138055";
constexpr char kMailRecipient[] = "friend@example.com";

// The first view of a kind in a tree, depth first.
template <class T>
Ref<T> findView(const Ref<UIView>& view)
{
    if (!view) return nullptr;
    if (auto match = std::dynamic_pointer_cast<T>(view); match && !view->isHidden()) return match;
    for (const auto& sub : view->subviews()) {
        if (auto found = findView<T>(sub)) return found;
    }
    return nullptr;
}

// Every view of a kind in a tree, depth first.
template <class T>
void collectViews(const Ref<UIView>& view, std::vector<Ref<T>>& out)
{
    if (!view || view->isHidden()) return;
    if (auto match = std::dynamic_pointer_cast<T>(view)) out.push_back(match);
    for (const auto& sub : view->subviews()) collectViews(sub, out);
}

Ref<UIView> barView(const Ref<UIBarButtonItem>& item) { return item ? item->barView() : nullptr; }

// A point near a field's right end: the caret goes after its text.
CGPoint fieldEnd(const Ref<UIView>& field)
{
    const CGRect b = field->bounds();
    const CGPoint inWindow = field->convertPoint_toView(CGPointMake(CGRectGetMaxX(b) - 4, CGRectGetMidY(b)), nullptr);
    auto window = field->window();
    return window ? window->convertPoint_toWindow(inWindow, nullptr) : inWindow;
}

// Clicks a key of the drawn keyboard.
bool clickKey(Tour& tour, const std::string& label)
{
    auto keyboard = UIKeyboard::keyboardView();
    if (!keyboard) return false;
    const CGRect frame = keyboard->frameOfKey(label);
    if (CGRectIsNull(frame)) return false;
    const CGPoint inWindow = keyboard->convertPoint_toView(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)), nullptr);
    UIScreenInput::tap(keyboard->window()->convertPoint_toWindow(inWindow, nullptr));
    tour.settle(0.05);
    return true;
}

}  // namespace TourDevice_cpp
}  // namespace

bool importMovie(Tour& tour)
{
    using namespace TourDevice_cpp;
    if (!shown<FeedVC>() || shown<FeedVC>()->type() != FeedTypeHome) {
        if (!openMenuRow(tour, MenuRowHome) ||
            !tour.waitFor([] { return shown<FeedVC>() && shown<FeedVC>()->type() == FeedTypeHome; })) {
            return tour.report("import", false, "expected the home feed, saw " + describe(shownController()));
        }
        tour.settle();
    }
    auto feed = shown<FeedVC>();
    auto menu = feed->coolMenu();
    if (!menu || !tour.tap(menu->addButton()) || !tour.waitFor([&] { return menu->isExpanding() && !menu->isFolding(); }, 5)) {
        return tour.report("import", false, "the record menu did not unfold");
    }
    tour.settle();
    // The menu's third item: the album's movies.
    if (menu->menusArray().size() < 3 || !tour.tap(menu->menusArray()[2])) {
        return tour.report("import", false, "no import item on the record menu");
    }
    Ref<UIImagePickerController> picker;
    if (!tour.waitFor([&] {
            picker = std::dynamic_pointer_cast<UIImagePickerController>(feed->modalViewController());
            return picker && picker->sourceScreen() && picker->sourceScreen()->isViewLoaded();
        })) {
        return tour.report("import", false, "expected the album, saw " + describe(shownController()));
    }
    tour.settle();
    std::vector<Ref<UIControl>> movies;
    collectViews(picker->sourceScreen()->view(), movies);
    tour.report("album", !movies.empty(),
                "the album's grid (\"" + picker->sourceScreen()->title() + "\") shows " + std::to_string(movies.size()) +
                    " movie(s) of the media folder");
    if (movies.empty() || !tour.tap(movies.front())) {
        return false;
    }
    if (!tour.waitFor([] { return shown<VideoShareController>() != nullptr; }, 30)) {
        return tour.report("import", false, "expected the publish screen, saw " + describe(shownController()));
    }
    tour.settle();
    auto share = shown<VideoShareController>();
    const std::string guid = share->guid().stringValue();
    const bool ok = tour.report("import", !guid.empty(),
                                "the album's movie went to the engine (job " + guid + ") and the publish screen");
    // Back to the feed without publishing it.
    tour.tap(barView(share->navigationItem()->leftBarButtonItem()));
    tour.waitFor([] { return shown<FeedVC>() != nullptr; }, 10);
    tour.settle();
    return ok;
}

bool shareByMail(Tour& tour)
{
    using namespace TourDevice_cpp;
    auto feed = shown<FeedVC>();
    auto table = feed ? feed->table() : nullptr;
    // A video's feedback button (on its player) opens the panel whose share button opens the dialog.
    Ref<UIButton> feedback;
    for (const auto& cell : table ? table->visibleCells() : std::vector<Ref<UITableViewCell>>{}) {
        auto full = std::dynamic_pointer_cast<FeedCellFull>(cell);
        auto player = full ? full->playerView() : nullptr;
        if (player && player->showFeedbackButton() && player->showFeedbackButton()->window()) {
            const CGPoint at = middleOnScreen(player->showFeedbackButton());
            if (at.y > 70 && at.y < 470) {
                feedback = player->showFeedbackButton();
                break;
            }
        }
    }
    if (!feedback || !tour.tap(feedback)) {
        return tour.report("mail", false, "no video with a feedback button on " + describe(shownController()));
    }
    tour.settle();
    Ref<FeedbackPopupView> panel;
    for (const auto& window : UIApplication::sharedApplication()->windows()) {
        if (!panel) panel = findView<FeedbackPopupView>(window);
    }
    if (!panel || !tour.tap(panel->shareButton)) {
        return tour.report("mail", false, "the video's panel did not open");
    }
    if (!tour.waitFor([] { return shown<Share>() != nullptr; }, 10)) {
        return tour.report("mail", false, "expected the share dialog, saw " + describe(shownController()));
    }
    tour.settle();
    auto dialog = shown<Share>();
    // The dialog's text takes the keyboard, which covers the targets: "收起" puts it away.
    if (UIKeyboard::keyboardView()) {
        clickKey(tour, "hide");
        tour.settle();
    }
    if (!tour.tap(dialog->postByEmailBtn)) {
        return tour.report("mail", false, "no mail button on the share dialog");
    }
    Ref<MFMailComposeViewController> composer;
    if (!tour.waitFor([&] {
            auto stack = dialog->navigationController();
            composer = std::dynamic_pointer_cast<MFMailComposeViewController>(stack ? stack->modalViewController() : nullptr);
            return composer && composer->toField() && composer->toField()->window();
        })) {
        return tour.report("mail", false, "expected the mail composer, saw " + describe(shownController()));
    }
    tour.settle();
    UIScreenInput::tap(fieldEnd(composer->toField()));
    UIScreenInput::typeText(kMailRecipient);
    tour.report("mail-composer", composer->toField()->text() == kMailRecipient,
                "the mail composer: to \"" + composer->toField()->text() + "\", subject \"" +
                    composer->subjectField()->text() + "\"");
    const std::string subject = composer->subjectField()->text();
    tour.tap(barView(composer->topViewController()->navigationItem()->rightBarButtonItem()));
    const bool sent = tour.waitFor([&] { return !composer->sentPath().empty() && shown<Share>() == dialog; }, 10);
    tour.settle();
    const bool ok = tour.report("mail", sent && dialog->postByEmailBtn->isSelected(),
                                sent ? "sent \"" + subject + "\" to the outbox: " + composer->sentPath()
                                     : "the mail was not sent");
    // The dialog closes by its bar's left button.
    tour.tap(barView(dialog->navigationItem()->leftBarButtonItem()));
    tour.waitFor([] { return shown<FeedVC>() != nullptr; }, 10);
    tour.settle();
    return ok;
}

bool unfollowTopic(Tour& tour)
{
    using namespace TourDevice_cpp;
    if (!openMenuRow(tour, MenuRowTopics) || !tour.waitFor([] { return shown<TopicFollowedVC>() != nullptr; })) {
        return tour.report("unfollow", false, "expected the followed topics, saw " + describe(shownController()));
    }
    auto topics = shown<TopicFollowedVC>();
    auto table = topics->tableView();
    if (!tour.waitFor([&] { return table->numberOfRowsInSection(0) > 0; })) {
        return tour.report("unfollow", false, "no followed topic to delete");
    }
    tour.settle();
    // The person watches the topic of the first row go; the list's length alone may change meanwhile as
    // its next page arrives.
    const auto titleOf = [](const Ref<UITableViewCell>& cell) {
        auto topic = std::dynamic_pointer_cast<TopicFollowedCell>(cell);
        return topic ? topic->myTitleLabel()->text() : std::string();
    };
    const NSInteger before = table->numberOfRowsInSection(0);
    auto first = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 0));
    const std::string topic = titleOf(first);
    tour.tap(barView(topics->editItem()));
    tour.settle();
    if (!table->isEditing() || !first || !first->deleteControl() || !tour.tap(first->deleteControl())) {
        return tour.report("unfollow", false, "\"编辑\" showed no delete control on the rows");
    }
    tour.settle();
    auto button = first->deleteConfirmationButton();
    tour.report("topic-delete-button", button != nullptr,
                button ? "the row's delete control opened its \"" + button->titleForState(UIControlStateNormal) +
                             "\" button"
                       : "no delete button");
    if (!button || !tour.waitFor([&] { return reachable(button); }, 5) || !tour.tap(button)) {
        return false;
    }
    const bool gone = tour.waitFor(
        [&] {
            for (const auto& cell : table->visibleCells()) {
                if (titleOf(cell) == topic) {
                    return false;
                }
            }
            return true;
        },
        15);
    tour.tap(barView(topics->editItem()));
    tour.settle();
    return tour.report("unfollow", !topic.empty() && gone && !table->isEditing(),
                       gone ? "unfollowed \"" + topic + "\": " + std::to_string(before) + " topics, now " +
                                  std::to_string(table->numberOfRowsInSection(0))
                            : "the row of \"" + topic + "\" stayed after the service was asked");
}

bool changePhone(Tour& tour)
{
    using namespace TourDevice_cpp;
    if (!openMenuRow(tour, MenuRowSettings) || !tour.waitFor([] { return shown<SettingVC>() != nullptr; })) {
        return tour.report("phone", false, "expected the settings, saw " + describe(shownController()));
    }
    tour.settle();
    auto settings = shown<SettingVC>();
    if (!tour.tap(settings->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 0))) ||
        !tour.waitFor([] { return shown<MemberInfoController>() != nullptr; })) {
        return tour.report("phone", false, "expected the profile, saw " + describe(shownController()));
    }
    tour.settle(1);
    auto profile = shown<MemberInfoController>();
    if (!tour.tap(profile->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(2, 0))) ||
        !tour.waitFor([] { return shown<ChangePhoneController>() != nullptr; })) {
        return tour.report("phone", false, "expected the phone form, saw " + describe(shownController()));
    }
    tour.settle();
    auto form = shown<ChangePhoneController>();
    auto field = form->textField();
    // The field takes the click though the form's table has a tap recogniser; the old number goes
    // (select all, delete) and the new one is clicked on the keyboard's digits page.
    UIScreenInput::tap(fieldEnd(field));
    if (!field->isFirstResponder() || !UIKeyboard::keyboardView()) {
        return tour.report("phone", false, "the phone field did not take the click");
    }
    UIScreenInput::pressCommand('a');
    UIScreenInput::pressDelete();
    clickKey(tour, "123");
    for (const char digit : std::string(kNewPhone)) {
        clickKey(tour, std::string(1, digit));
    }
    tour.report("phone-keyboard", field->text() == kNewPhone,
                "typed \"" + field->text() + "\" on the drawn keyboard's digits page");
    tour.tap(barView(form->navigationItem()->rightBarButtonItem()));
    // The form closes once the service accepted the number.
    const bool saved = tour.waitFor([] { return shown<ChangePhoneController>() == nullptr; }, 15);
    tour.settle();
    const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    const bool ok = tour.report("phone", saved,
                                saved ? std::string("the service took the new number ") + kNewPhone +
                                            "; the account's number now reads \"" + account["phone"].stringValue() + "\""
                                      : "the new number was not saved");
    // Back to the settings, whose bar has the menu's button again.
    if (auto shownProfile = shown<MemberInfoController>(); shownProfile && shownProfile->navigationController()) {
        auto bar = shownProfile->navigationController()->navigationBar();
        tour.tap(bar->backButton() ? Ref<UIView>(bar->backButton()) : bar->leftView());
        tour.waitFor([] { return shown<SettingVC>() != nullptr; }, 5);
        tour.settle();
    }
    return ok;
}

}  // namespace tour
