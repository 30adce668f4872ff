#pragma once
// SquareVC: the discovery page "广场". One scrolling page of three framed sections (recommended people,
// topics, videos) filled by one request, each with a large header tile opening the full list; the radial
// record menu in the top-left corner and a nearby-videos button in the bar.
#include <vector>

#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIScrollView.h"
#include "widgets/RadialMenu.h"

class HTTPRequest;

class SquareVC : public PZViewController,
                 public HTTPRequestDelegate,
                 public RadialMenuDelegate,
                 public UIImagePickerControllerDelegate {
public:
    static Ref<SquareVC> create();
    ~SquareVC() override;

    bool isRoot() const { return isRoot_; }
    void setIsRoot(bool isRoot) { isRoot_ = isRoot; }

    void getData();
    void reloadData();

    void peopleClicked(const Ref<UIButton>& sender);
    void topicClicked(const Ref<UIButton>& sender);
    void channelClicked(const Ref<UIButton>& sender);
    void viewAllPeoples();
    void viewAllTopics();
    void viewAllChannel();
    void showMenu();
    void nearbyVideos();
    void radialMenu_didSelectIndex(const Ref<RadialMenu>& menu, int index) override;
    // The movie import's picker: a picked movie goes to the publish screen.
    void imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                             const Value& info) override;
    void imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker) override;

    const std::vector<Ref<UIButton>>& peopleBtns() const { return peopleBtns_; }
    const std::vector<Ref<UIButton>>& topicBtns() const { return topicBtns_; }
    const std::vector<Ref<UIButton>>& channelBtns() const { return channelBtns_; }
    Ref<UIButton> peopleHeaderButton() const { return peopleHeaderButton_; }
    Ref<UIButton> topicHeaderButton() const { return topicHeaderButton_; }
    Ref<UIButton> channelHeaderButton() const { return channelHeaderButton_; }
    Ref<UIScrollView> scrollView() const { return scrollView_; }
    Ref<RadialMenu> coolMenu() const { return coolMenu_; }
    const Value& peoples() const { return peoples_; }
    const Value& topics() const { return topics_; }
    const Value& channels() const { return channels_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    SquareVC() = default;

private:
    Ref<UIView> makeSection(CGFloat y, Ref<UIView>& inner);
    void putMenuButton();
    void presentMoviePicker();
    void push(const Ref<UIViewController>& controller);

    bool isRoot_ = false;
    Ref<HTTPRequest> getDataRequest_;
    std::vector<Ref<UIButton>> peopleBtns_;
    std::vector<Ref<UIButton>> topicBtns_;
    std::vector<Ref<UIButton>> channelBtns_;
    Ref<UIButton> peopleHeaderButton_;
    Ref<UIButton> topicHeaderButton_;
    Ref<UIButton> channelHeaderButton_;
    Ref<UIView> peopleMainView_;
    Ref<UIView> topicMainView_;
    Ref<UIView> channelMainView_;
    Ref<UIScrollView> scrollView_;
    Ref<RadialMenu> coolMenu_;
    Value peoples_ = Value::array();
    Value topics_ = Value::array();
    Value channels_ = Value::array();
};
