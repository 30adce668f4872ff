#pragma once
// SettingVC: the settings screen at the root of the menu's settings row. The account rows open the
// profile screen (and, outside the "lumo" edition, the binding screen); one switch lets uploads use a
// cellular network (a user default the engine bridge reads at start-up); five switches are the notices
// the service keeps for the user, read on every appearance and written whole on every change.
#include <string>
#include <vector>

#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UITableView.h"

class HTTPRequest;
class UIControl;

class SettingVC : public PZViewController,
                  public UITableViewDataSource,
                  public UITableViewDelegate,
                  public HTTPRequestDelegate {
public:
    static Ref<SettingVC> create() { return make<SettingVC>(); }
    ~SettingVC() override;

    // The upload switch's tag; the notice switches carry kFirstNoticeTag to kFirstNoticeTag + 4.
    static constexpr NSInteger kUploadTag = 10;
    static constexpr NSInteger kFirstNoticeTag = 20;
    static constexpr int kNoticeCount = 5;
    // The user default that lets uploads run on any network.
    static constexpr const char* kUploadSettingKey = "uploadSetting";

    Ref<UITableView> tableView() const { return tableView_; }
    const std::vector<std::string>& sectionData() const { return sectionData_; }
    const std::vector<std::vector<std::string>>& rowData() const { return rowData_; }
    const std::vector<std::string>& userSetting() const { return userSetting_; }
    Ref<HTTPRequest> getUserSettingRequest() const { return getUserSettingRequest_; }

    void showMenu();
    void toggleSwitch(const Ref<UIControl>& sender);

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    std::string tableView_titleForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override
    {
        return orientation == UIInterfaceOrientationPortrait;
    }

private:
    void forget(const Ref<HTTPRequest>& request);

    Ref<NSUserDefaults> defaults_;
    Ref<UITableView> tableView_;
    std::vector<std::string> sectionData_;
    std::vector<std::vector<std::string>> rowData_;
    Ref<HTTPRequest> getUserSettingRequest_;
    std::vector<Ref<HTTPRequest>> writes_;
    std::vector<std::string> userSetting_;
};
