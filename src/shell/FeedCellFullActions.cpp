#include <mutex>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/RecordAccessors.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "bridge/PZFFmpeg.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIToolbar.h"
#include "platform/uikit/UIProgressView.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedCellRoutes.h"
#include "shell/UploadControl.h"
#include "social/UIUserButton.h"

namespace {
namespace FeedCellFullActions_cpp {

// The choices of the caption row's sheet, in the order of its buttons.
struct SheetChoice {
    enum Kind { Location, Person, Comment, Cancel } kind;
    Value user;
};

std::vector<SheetChoice> sheetChoices(const Value& channel)
{
    std::vector<SheetChoice> choices;
    if (!Channel_getLocationText(channel).stringValue().empty()) {
        choices.push_back({SheetChoice::Location, Value()});
    }
    const Value people = Channel_getWithSB(channel);
    for (size_t index = 0; index < people.count(); ++index) {
        choices.push_back({SheetChoice::Person, people[index]});
    }
    choices.push_back({SheetChoice::Comment, Value()});
    choices.push_back({SheetChoice::Cancel, Value()});
    return choices;
}

}  // namespace FeedCellFullActions_cpp
}  // namespace

// ---- Local entry state -----------------------------------------------------------------------------------------

void FeedCellFull::setLocalEntry(bool isLocal, const std::string& guid)
{
    std::lock_guard hold(localProgress_->mutex);
    localProgress_->isLocal = isLocal;
    localProgress_->guid = guid;
}

bool FeedCellFull::isLocalMedia() const
{
    std::lock_guard hold(localProgress_->mutex);
    return localProgress_->isLocal;
}

// ---- People, rows, sheet -----------------------------------------------------------------------------------------

void FeedCellFull::fromUserSelected(const Ref<UIButton>& sender)
{
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    const auto avatar = std::dynamic_pointer_cast<UIUserButton>(sender);
    FeedCellRoutes::openUserPage(navigationController(), User_getSuid(avatar ? avatar->userInfo() : Value()));
}

void FeedCellFull::fakeCellClicked(const Ref<UIButton>& sender)
{
    using namespace FeedCellFullActions_cpp;
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    const NSInteger index = (sender ? sender->tag() : 0) - kFeedRowTagBase;
    const Value channel = info_["channel"];
    const Value rows = Channel_getMyComposedComment(channel);
    if (index < 0 || size_t(index) >= rows.count()) {
        return;
    }
    const Value row = rows[size_t(index)];
    const Value scid = Channel_getScid(channel);
    const bool hasPlace = !Channel_getLocationText(channel).stringValue().empty();
    const bool hasPeople = Channel_getWithSB(channel).count() > 0;
    if (row["type"].stringValue() == "title_location_with" && (hasPlace || hasPeople)) {
        const Ref<UIActionSheet> sheet = UIActionSheet::create();
        sheet->setDelegate(self<FeedCellFull>());
        for (const SheetChoice& choice : sheetChoices(channel)) {
            switch (choice.kind) {
            case SheetChoice::Location:
                sheet->addButtonWithTitle(Channel_getLocationText(channel).stringValue());
                break;
            case SheetChoice::Person:
                sheet->addButtonWithTitle(User_getNick(choice.user).stringValue());
                break;
            case SheetChoice::Comment:
                sheet->addButtonWithTitle("评论");
                break;
            case SheetChoice::Cancel:
                sheet->addButtonWithTitle("取消");
                break;
            }
        }
        const Ref<UINavigationController> navigation = navigationController();
        sheet->showFromToolbar(navigation ? Ref<UIView>(navigation->toolbar()) : nullptr);
        return;
    }
    FeedCellRoutes::openVideoPage(navigationController(), scid);
}

void FeedCellFull::actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>&, NSInteger buttonIndex)
{
    using namespace FeedCellFullActions_cpp;
    const Value channel = info_["channel"];
    const std::vector<SheetChoice> choices = sheetChoices(channel);
    if (buttonIndex < 0 || size_t(buttonIndex) >= choices.size()) {
        return;
    }
    const SheetChoice& choice = choices[size_t(buttonIndex)];
    switch (choice.kind) {
    case SheetChoice::Location:
        FeedCellRoutes::openPlaceMap(navigationController(), channel);
        break;
    case SheetChoice::Person:
        FeedCellRoutes::openUserPage(navigationController(), User_getSuid(choice.user));
        break;
    case SheetChoice::Comment:
        FeedCellRoutes::openVideoPage(navigationController(), Channel_getScid(channel));
        break;
    case SheetChoice::Cancel:
        break;
    }
}

// ---- Forward flag and advertisement ----------------------------------------------------------------------------

void FeedCellFull::forward()
{
    FeedCellRoutes::openShareDialog(navigationController(), info_["channel"]);
}

void FeedCellFull::adClicked()
{
    FeedCellRoutes::openWebAction(info_["pos"], navigationController());
}

void FeedCellFull::adCloseClicked()
{
    SetAdClosed();
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kAdCloseClickedNotification);
}

// ---- Local entries ----------------------------------------------------------------------------------------------

void FeedCellFull::localVideoContine_Pause(const Ref<UIButton>& sender)
{
    const int status = info_["status"].intValue();
    const std::string guid = info_["guid"].stringValue();
    const Ref<PZFFmpeg> ffmpeg = g_ffmpeg.get();
    // The entry is this cell's copy; the bridge's list is changed under its own lock so that a later
    // refill and the engine's threads see the same status.
    if (status == 1 || status == 2) {
        info_.setObject_forKey(Value(4), "status");
        if (ffmpeg) {
            ffmpeg->setLocalVideoValue(guid, Value(4), "status");
        }
        if (sender) {
            sender->setTitle_forState("继续", UIControlStateNormal);
        }
        PZFFmpeg::stopUpload(guid);
    } else if (status == 4) {
        info_.setObject_forKey(Value(2), "status");
        if (ffmpeg) {
            ffmpeg->setLocalVideoValue(guid, Value(2), "status");
        }
        if (sender) {
            sender->setTitle_forState("暂停", UIControlStateNormal);
        }
        PZFFmpeg::startUpload(guid);
    }
}

void FeedCellFull::localVideoDelete()
{
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "确认删除？",
                                                                                    self<FeedCellFull>(), "取消",
                                                                                    {"确定"})
        ->show();
}

void FeedCellFull::alertView_clickedButtonAtIndex(const Ref<UIAlertView>&, NSInteger buttonIndex)
{
    if (buttonIndex != 1) {
        return;
    }
    const std::string guid = info_["guid"].stringValue();
    PZFFmpeg::deleteLocalFileGuid(guid);
    if (const Ref<PZFFmpeg> ffmpeg = g_ffmpeg.get()) {
        ffmpeg->removeLocalVideo(guid);
    }
    // The own page is held weakly: when it is gone half a second later there is nothing to refresh.
    Weak<FeedVC> parent = parent_;
    Ref<FeedCellFull> keep = self<FeedCellFull>();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC / 2), dispatch_get_main_queue(), [parent, keep] {
        FeedCellRoutes::refreshLocalMedias(parent.lock());
    });
}

// ---- Progress --------------------------------------------------------------------------------------------------

void FeedCellFull::progressChanged()
{
    progressChangedFor(localProgress_);
}

void FeedCellFull::progressChangedFor(const std::shared_ptr<LocalProgress>& progress)
{
    std::string guid;
    {
        std::lock_guard hold(progress->mutex);
        if (!progress->isLocal) {
            return;
        }
        guid = progress->guid;
    }
    const Ref<PZFFmpeg> ffmpeg = g_ffmpeg.get();
    if (!ffmpeg) {
        return;
    }
    // A copy taken under the bridge's lock: the main thread may remove entries meanwhile.
    const Value videos = ffmpeg->localVideos();
    for (size_t index = 0; index < videos.count(); ++index) {
        const Value entry = videos[index];
        if (entry["guid"].stringValue() != guid) {
            continue;
        }
        const float value = float(entry["upprocess"].doubleValue() / 100);
        Weak<FeedCellFull> cell = progress->cell;
        // The cell is reached on the main thread only, and only while it still shows that entry.
        dispatch_async(dispatch_get_main_queue(), [cell, progress, guid, value] {
            const Ref<FeedCellFull> shown = cell.lock();
            if (!shown) {
                return;
            }
            {
                std::lock_guard hold(progress->mutex);
                if (!progress->isLocal || progress->guid != guid) {
                    return;
                }
            }
            if (const Ref<UploadControl> control = shown->localUploadControl()) {
                control->progress()->setProgress(value);
            }
        });
        return;
    }
}
