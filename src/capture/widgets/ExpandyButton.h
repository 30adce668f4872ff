#pragma once
// A rounded, half-transparent control with a fixed title on its left and a row of options (say the
// torch modes of a camera screen). Collapsed, it shows the title and the chosen option only; a tap
// opens it to show every option; a tap on an option chooses it and closes the control, which sends
// the value-changed event when the choice changed.
//
// Geometry (points), n options of width w, at `point`: collapsed (w + 64) x 32, open (n w + 64) x 32;
// the title at (8, 9, 44, 16); option i at (54 + i w, -3, w, 39) when open; when collapsed the chosen
// one at (54, -3, w, 39) and the others squeezed to no width on either side of it.
#include <string>
#include <vector>

#include "platform/uikit/UIButton.h"

class UILabel;

class ExpandyButton : public UIButton {
public:
    static Ref<ExpandyButton> initWithPoint_title_buttonNames_selectedItem_buttonWidth(
        CGPoint point, const std::string& title, const std::vector<std::string>& buttonNames, int32_t selectedItem,
        float buttonWidth);
    static Ref<ExpandyButton> initWithPoint_title_buttonNames_selectedItem(CGPoint point, const std::string& title,
                                                                         const std::vector<std::string>& buttonNames,
                                                                         int32_t selectedItem)
    {
        return initWithPoint_title_buttonNames_selectedItem_buttonWidth(point, title, buttonNames, selectedItem, 40);
    }
    static Ref<ExpandyButton> initWithPoint_title_buttonNames(CGPoint point, const std::string& title,
                                                            const std::vector<std::string>& buttonNames)
    {
        return initWithPoint_title_buttonNames_selectedItem_buttonWidth(point, title, buttonNames, 0, 40);
    }

    // The control's own touch-up-inside action: opens it, or chooses the option touched.
    void chooseLabel_forEvent(const Ref<UIControl>& sender, const Ref<UIEvent>& event);
    // Chooses an option and collapses; an index past the options is ignored.
    void setSelectedItem(int32_t selectedItem);

    // The fixed title (in place of the button's own title label).
    const Ref<UILabel>& titleLabel() const { return titleLabel_; }
    const std::vector<Ref<UILabel>>& labels() const { return labels_; }
    int32_t selectedItem() const { return selectedItem_; }
    bool expanded() const { return expanded_; }
    void setExpanded(bool expanded) { expanded_ = expanded; }
    CGRect frameExpanded() const { return frameExpanded_; }
    CGRect frameShrunk() const { return frameShrunk_; }
    float buttonWidth() const { return buttonWidth_; }

private:
    Ref<UILabel> titleLabel_;
    std::vector<Ref<UILabel>> labels_;
    int32_t selectedItem_ = 0;
    bool expanded_ = false;
    CGRect frameExpanded_ = CGRectZero;
    CGRect frameShrunk_ = CGRectZero;
    float buttonWidth_ = 40;
};
