#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UISearchDisplayController.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UITextView.h"

namespace {

// Records keyboard notifications with their end frames.
struct KeyboardWatch {
    Ref<NSObject> observer = NSObject::create();
    std::vector<std::string> names;
    std::vector<CGRect> endFrames;
    std::vector<double> durations;
    KeyboardWatch()
    {
        for (const char* name : {UIKeyboardWillShowNotification, UIKeyboardDidShowNotification,
                                 UIKeyboardWillHideNotification, UIKeyboardDidHideNotification}) {
            NSNotificationCenter::defaultCenter()->addObserver(
                observer, name, Value(), [this](const Ref<NSNotification>& note) {
                    names.push_back(note->name());
                    endFrames.push_back(note->userInfo()[UIKeyboardFrameEndUserInfoKey]
                                            .object<UIGeometryValue>()
                                            ->CGRectValue());
                    durations.push_back(note->userInfo()[UIKeyboardAnimationDurationUserInfoKey].doubleValue());
                });
        }
    }
};

class FieldDelegate : public NSObject, public UITextFieldDelegate {
public:
    std::vector<std::string> events;
    size_t maxLength = 100;
    bool returns = true;
    bool textFieldShouldBeginEditing(const Ref<UITextField>&) override { return allowBegin; }
    void textFieldDidBeginEditing(const Ref<UITextField>& f) override { events.push_back("begin " + name(f)); }
    void textFieldDidEndEditing(const Ref<UITextField>& f) override { events.push_back("end " + name(f)); }
    bool textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>& f, NSRange range,
                                                                   const std::string& s) override
    {
        events.push_back("change " + std::to_string(range.location) + "+" + std::to_string(range.length) + " '" + s +
                         "'");
        return NSString::length(f->text()) - range.length + NSString::length(s) <= maxLength;
    }
    bool textFieldShouldReturn(const Ref<UITextField>& f) override
    {
        events.push_back("return " + name(f));
        return returns;
    }
    bool allowBegin = true;

private:
    static std::string name(const Ref<UITextField>& f) { return f->placeholder(); }
};

class Sender : public NSObject {
public:
    int exits = 0;
    void exit() { ++exits; }
};

}  // namespace

TEST(UIKeyboardTest, WillShowCarriesTheFrameAndSwitchingFieldsKeepsTheKeyboardUp)
{
    Stage stage;
    KeyboardWatch watch;
    auto name = UITextField::initWithFrame(CGRectMake(10, 10, 200, 30));
    auto mail = UITextField::initWithFrame(CGRectMake(10, 50, 200, 30));
    stage.window->addSubview(name);
    stage.window->addSubview(mail);

    EXPECT_TRUE(name->becomeFirstResponder());
    EXPECT_EQ(watch.names, std::vector<std::string>{UIKeyboardWillShowNotification});
    EXPECT_EQ(watch.endFrames.back(), CGRectMake(0, 264, 320, 216));
    EXPECT_EQ(watch.durations.back(), 0.25);
    EXPECT_TRUE(UIKeyboard::isVisible());
    EXPECT_EQ(UIKeyboard::frame(), CGRectMake(0, 264, 320, 216));
    stage.clock.advance(0.25);
    EXPECT_EQ(watch.names.back(), UIKeyboardDidShowNotification);

    EXPECT_TRUE(mail->becomeFirstResponder());
    EXPECT_EQ(watch.names.size(), 2u);  // no hide and show between two fields
    EXPECT_FALSE(name->isEditing());
    EXPECT_TRUE(mail->isEditing());

    stage.window->endEditing(true);
    EXPECT_EQ(watch.names.back(), UIKeyboardWillHideNotification);
    EXPECT_EQ(watch.endFrames.back(), CGRectMake(0, 480, 320, 216));
    stage.clock.advance(0.25);
    EXPECT_EQ(watch.names.back(), UIKeyboardDidHideNotification);
    EXPECT_FALSE(UIKeyboard::isVisible());

    // A taller keyboard (a Chinese one with its candidate bar).
    UIKeyboard::setHeight(252);
    stage.window->simulateTap(CGPointMake(50, 20));  // a tap in a field begins editing
    EXPECT_TRUE(name->isFirstResponder());
    EXPECT_EQ(watch.endFrames.back(), CGRectMake(0, 228, 320, 252));
}

TEST(UITextFieldTest, TypingAsksTheDelegateForEachKey)
{
    Stage stage;
    auto delegate = std::make_shared<FieldDelegate>();
    delegate->maxLength = 3;
    auto field = UITextField::initWithFrame(CGRectMake(10, 10, 200, 30));
    field->setPlaceholder("f");
    field->setDelegate(delegate);
    stage.window->addSubview(field);
    int changes = 0;
    auto observer = NSObject::create();
    NSNotificationCenter::defaultCenter()->addObserver(observer, UITextFieldTextDidChangeNotification, Value(field),
                                                       [&](const Ref<NSNotification>&) { ++changes; });

    EXPECT_FALSE(UIKeyboard::typeText("x"));  // nothing is editing
    EXPECT_TRUE(field->simulateTypeText("ab😀c"));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"begin f", "change 0+0 'a'", "change 1+0 'b'",
                                                          "change 2+0 '😀'", "change 2+0 'c'"}));
    EXPECT_EQ(field->text(), "abc");  // the emoji (two units) did not fit in 3
    EXPECT_EQ(changes, 3);
    delegate->events.clear();
    delegate->maxLength = 100;
    UIKeyboard::pasteText("你好😀");
    UIKeyboard::pressDelete();
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"change 3+0 '你好😀'", "change 5+2 ''"}));
    EXPECT_EQ(field->text(), "abc你好");

    // Return: the delegate first, then the exit event, whose target makes the field resign.
    delegate->events.clear();
    auto sender = std::make_shared<Sender>();
    field->addTarget_action_forControlEvents(sender, UIControlAction::make("exit", &Sender::exit),
                                             UIControlEventEditingDidEndOnExit);
    delegate->returns = false;
    EXPECT_TRUE(UIKeyboard::pressReturn());
    EXPECT_TRUE(field->isFirstResponder());
    delegate->returns = true;
    UIKeyboard::pressReturn();
    EXPECT_EQ(sender->exits, 1);
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"return f", "return f", "end f"}));
    EXPECT_EQ(field->text(), "abc你好");

    // Text set by the program calls nothing; a refused beginning keeps the keyboard down.
    delegate->events.clear();
    field->setText("set");
    delegate->allowBegin = false;
    EXPECT_FALSE(field->becomeFirstResponder());
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_FALSE(UIKeyboard::isVisible());
}

TEST(UITextViewTest, ReturnTypesANewLineTheDelegateMayRefuse)
{
    class Composer : public NSObject, public UITextViewDelegate {
    public:
        int sent = 0;
        int changes = 0;
        bool textView_shouldChangeTextInRange_replacementText(const Ref<UITextView>& view, NSRange,
                                                              const std::string& text) override
        {
            if (text == "\n") {
                ++sent;
                view->resignFirstResponder();
                return false;
            }
            return true;
        }
        void textViewDidChange(const Ref<UITextView>&) override { ++changes; }
    };
    Stage stage;
    auto composer = std::make_shared<Composer>();
    auto view = UITextView::initWithFrame(CGRectMake(0, 0, 216, 100));
    view->setDelegate(composer);
    view->setFont(UIFont::systemFontOfSize(14));
    stage.window->addSubview(view);
    const CGFloat empty = view->contentSize().height;
    EXPECT_EQ(empty, 16);
    EXPECT_TRUE(view->simulateTypeText("hello"));
    EXPECT_EQ(composer->changes, 5);
    const CGFloat oneLine = view->contentSize().height;
    EXPECT_GT(oneLine, empty);
    view->simulateTypeText(" and a much longer text that has to wrap onto more lines than one");
    EXPECT_GT(view->contentSize().height, oneLine);
    EXPECT_TRUE(view->simulateReturnKey());
    EXPECT_EQ(composer->sent, 1);
    EXPECT_FALSE(view->isFirstResponder());
    EXPECT_EQ(view->text().find('\n'), std::string::npos);
    view->setEditable(false);
    EXPECT_FALSE(view->becomeFirstResponder());
}

TEST(UISearchBarTest, ASearchRunsFromTheBarThroughTheDisplayController)
{
    class Finder : public UIViewController, public UISearchBarDelegate, public UISearchDisplayDelegate,
                   public UITableViewDataSource {
    public:
        std::vector<std::string> events;
        std::vector<std::string> names{"ann", "bob", "anna"};
        std::vector<std::string> found;
        void searchBar_textDidChange(const Ref<UISearchBar>&, const std::string& text) override
        {
            events.push_back("changed " + text);
        }
        void searchBarSearchButtonClicked(const Ref<UISearchBar>& bar) override { events.push_back("search " + bar->text()); }
        void searchBarCancelButtonClicked(const Ref<UISearchBar>&) override { events.push_back("cancel"); }
        void searchDisplayControllerWillBeginSearch(const Ref<UISearchDisplayController>&) override
        {
            events.push_back("will begin");
        }
        void searchDisplayControllerDidEndSearch(const Ref<UISearchDisplayController>&) override
        {
            events.push_back("did end");
        }
        bool searchDisplayController_shouldReloadTableForSearchString(const Ref<UISearchDisplayController>&,
                                                                      const std::string& text) override
        {
            found.clear();
            for (const auto& n : names) {
                if (n.rfind(text, 0) == 0) found.push_back(n);
            }
            return true;
        }
        NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override
        {
            return NSInteger(found.size());
        }
        Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& p) override
        {
            auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "n");
            cell->textLabel()->setText(found[size_t(p->row())]);
            return cell;
        }
    };
    Stage stage;
    auto finder = UIViewController::make<Finder>();
    stage.window->setRootViewController(finder);
    auto bar = UISearchBar::create();
    bar->setDelegate(finder);
    finder->view()->addSubview(bar);
    auto display = UISearchDisplayController::initWithSearchBar_contentsController(bar, finder);
    display->setDelegate(finder);
    display->setSearchResultsDataSource(finder);

    EXPECT_TRUE(bar->becomeFirstResponder());
    EXPECT_TRUE(display->isActive());
    EXPECT_TRUE(bar->showsCancelButton());
    UIKeyboard::typeText("an");
    EXPECT_TRUE(display->isResultsTableShown());
    EXPECT_EQ(display->searchResultsTableView()->numberOfRowsInSection(0), 2);
    // The results leave the bar in sight.
    EXPECT_EQ(display->searchResultsTableView()->frame().origin.y, CGRectGetMaxY(bar->frame()));
    EXPECT_EQ(CGRectGetMaxY(display->searchResultsTableView()->frame()), CGRectGetMaxY(finder->view()->bounds()));
    EXPECT_TRUE(bar->simulateSearchButtonTap());
    EXPECT_TRUE(bar->isEditing());
    EXPECT_TRUE(bar->simulateCancelButtonTap());
    EXPECT_FALSE(display->isActive());
    EXPECT_EQ(bar->text(), "");
    EXPECT_FALSE(display->isResultsTableShown());
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_EQ(finder->events, (std::vector<std::string>{"will begin", "changed a", "changed an", "search an",
                                                        "cancel", "did end"}));
}
