#include "social/IdolCell.h"

#include "api/Tool.h"
#include "platform/uikit/UIImage.h"
#include "shell/FeedVC.h"

void IdolCell::awakeFromNib()
{
    UITableViewCell::awakeFromNib();
    btnArray_ = {user1, user2, user3, user4};
    bkgArray_ = {bkg1, bkg2, bkg3, bkg4};
    nameArray_ = {name1, name2, name3, name4};
    for (const Ref<UIUserButton>& slot : btnArray_) {
        // The missing-avatar picture stands in until the person's avatar has arrived.
        slot->setTag(kAvatarButtonTag);
    }
}

void IdolCell::fullfillWithInfo_atRow_andTotal_andNavi(const Value& list, NSInteger row, int total,
                                                       const Ref<UINavigationController>& navigation)
{
    navigationController_ = navigation;
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    for (size_t slot = 0; slot < btnArray_.size() && slot < bkgArray_.size(); ++slot) {
        const Ref<UIUserButton>& button = btnArray_[slot];
        const Ref<UIImageView>& frame = bkgArray_[slot];
        const NSInteger index = row * 4 + NSInteger(slot);
        if (index < total && index < NSInteger(list.count())) {
            button->setHidden(false);
            Control_removeAllTarget(button, "gotoMainPage:");
            button->addTarget_action_forControlEvents(self<NSObject>(),
                                                      UIControlAction::make("gotoMainPage:", &IdolCell::gotoMainPage),
                                                      UIControlEventTouchUpInside);
            if (const Ref<UIImage> picture = UIImage::imageNamed("activity-photo-frame.png")) {
                frame->setImage(picture->stretchableImageWithLeftCapWidth_topCapHeight(5, 5));
            }
            frame->setHidden(false);
            button->setUserInfo(list[index]);
        } else {
            button->setHidden(true);
            frame->setHidden(true);
        }
        if (slot < nameArray_.size() && nameArray_[slot]) {
            const bool shown = !button->isHidden();
            nameArray_[slot]->setText(shown ? list[index]["nick"].stringValue() : std::string());
            nameArray_[slot]->setHidden(!shown);
        }
    }
}

void IdolCell::gotoMainPage(const Ref<UIUserButton>& slot)
{
    auto navigation = navigationController_.lock();
    if (!slot || !navigation) {
        return;
    }
    navigation->pushViewController_animated(FeedVC::myinitWithType_andSuid(10, slot->userInfo()["suid"]), true);
}
