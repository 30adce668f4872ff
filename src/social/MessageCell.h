#pragma once
// MessageCell: the row of one system message in the message box. The sender's rounded avatar (with
// the emotion the sender gave, for a mark notice), the text in bold wrapped to the space left, the
// relative time under it, and, for a message about a video, a small framed cover at the right edge,
// lying for a landscape video and upright otherwise. Built in code; reused under "Cell", every fill
// sets all frames, texts, images and visibility again.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableViewCell.h"

class UIFont;
class UINavigationController;

// The message text's font (bold system 14) and the time's (system 12).
Ref<UIFont> getContentFont();
Ref<UIFont> getTextFont();

class MessageCell : public UITableViewCell {
public:
    static Ref<MessageCell> initWithStyle_reuseIdentifier(UITableViewCellStyle style, const std::string& reuseIdentifier);

    void fullfillWithInfo_andNavi(const Value& info, const Ref<UINavigationController>& navi);
    // The row height for a message: at least 55 points.
    static CGFloat getHeight(const Value& info);
    // The avatar's action: the sender's page.
    void viewMainpage();
    void setSelected_animated(bool selected, bool animated) override;

    Ref<UIButton> head() const { return head_; }
    Ref<UILabel> content() const { return content_; }
    Ref<UILabel> time() const { return time_; }
    Ref<UIImageView> videoCover() const { return videoCover_; }
    Ref<UIImageView> videoCoverBkg() const { return videoCoverBkg_; }
    Ref<UINavigationController> navigationController() const { return navigationController_.lock(); }
    const Value& information() const { return information_; }
    void setInformation(const Value& information) { information_ = information; }

    void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier) override;

    MessageCell() = default;

private:
    Ref<UIButton> head_;
    Ref<UILabel> content_;
    Ref<UILabel> time_;
    Ref<UIImageView> videoCover_;
    Weak<UINavigationController> navigationController_;
    Ref<UIImageView> videoCoverBkg_;
    Value information_;
};
