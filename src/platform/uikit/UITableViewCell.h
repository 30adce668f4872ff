#pragma once
// Table cells: a content view holding a text label, a detail label (not in the default style) and an
// image view, made when first asked for, with accessories, background views and the selected,
// highlighted and editing states.
//
// Layout (layoutSubviews, deterministic rather than pixel-exact): the content view spans the cell's
// height; it starts 32 points in while editing (when the cell indents while editing) and ends 10
// points before the accessory, which sits 10 points from the right edge, centred vertically
// (disclosure indicator and checkmark 20 points wide, detail disclosure button 29, a custom
// accessory view its own width). In the content view the image view sits at x 10 in its image's
// size, centred vertically, and the labels start 10 points after it (at 10 without an image) and end
// 10 points before the content view's edge:
//   default   the text label fills that height (bold 20)
//   subtitle  text (bold 18) over detail (14, grey), centred together vertically
//   value1    text (bold 17) on the left, detail (17, blue grey) right-aligned at its own width
//   value2    text (bold 12, blue, right-aligned) in the first 67 points, detail (bold 15) after it
// A selected or highlighted cell whose selection style is not none shows its selected background
// view and highlights the labels and image views of its content view.
#include <string>

#include "platform/uikit/UIView.h"

class UILabel;
class UIImageView;
class UIButton;
class UIControl;
class UITableView;

enum UITableViewCellStyle : NSInteger {
    UITableViewCellStyleDefault = 0,
    UITableViewCellStyleValue1 = 1,
    UITableViewCellStyleValue2 = 2,
    UITableViewCellStyleSubtitle = 3,
};

enum UITableViewCellSelectionStyle : NSInteger {
    UITableViewCellSelectionStyleNone = 0,
    UITableViewCellSelectionStyleBlue = 1,
    UITableViewCellSelectionStyleGray = 2,
};

enum UITableViewCellAccessoryType : NSInteger {
    UITableViewCellAccessoryNone = 0,
    UITableViewCellAccessoryDisclosureIndicator = 1,
    UITableViewCellAccessoryDetailDisclosureButton = 2,
    UITableViewCellAccessoryCheckmark = 3,
};

enum UITableViewCellEditingStyle : NSInteger {
    UITableViewCellEditingStyleNone = 0,
    UITableViewCellEditingStyleDelete = 1,
    UITableViewCellEditingStyleInsert = 2,
};

enum UITableViewCellSeparatorStyle : NSInteger {
    UITableViewCellSeparatorStyleNone = 0,
    UITableViewCellSeparatorStyleSingleLine = 1,
    UITableViewCellSeparatorStyleSingleLineEtched = 2,
};

using UITableViewCellStateMask = NSUInteger;
enum : NSUInteger {
    UITableViewCellStateDefaultMask = 0,
    UITableViewCellStateShowingEditControlMask = 1 << 0,
    UITableViewCellStateShowingDeleteConfirmationMask = 1 << 1,
};

// The content view's own class, so that code telling views apart by class name
// (NSStringFromClass(touch.view.class) == "UITableViewCellContentView") sees the platform's name.
class UITableViewCellContentView : public UIView {
public:
    static Ref<UITableViewCellContentView> initWithFrame(CGRect frame)
    {
        return makeWithFrame<UITableViewCellContentView>(frame);
    }
};

class UITableViewCell : public UIView {
public:
    static Ref<UITableViewCell> initWithStyle_reuseIdentifier(UITableViewCellStyle style,
                                                              const std::string& reuseIdentifier)
    {
        return makeWithStyle<UITableViewCell>(style, reuseIdentifier);
    }
    // The old initialiser: the default style in the given frame.
    static Ref<UITableViewCell> initWithFrame_reuseIdentifier(CGRect frame, const std::string& reuseIdentifier);
    static Ref<UITableViewCell> create() { return makeWithFrame<UITableViewCell>(CGRectZero); }

    // Constructs a T and runs its init body, as [[T alloc] initWithStyle:style reuseIdentifier:identifier].
    template <class T>
    static Ref<T> makeWithStyle(UITableViewCellStyle style, const std::string& reuseIdentifier)
    {
        auto cell = std::make_shared<T>();
        cell->initWithStyle_reuseIdentifierBody(style, reuseIdentifier);
        return cell;
    }

    UITableViewCellStyle style() const { return style_; }
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }

    // --- Content ---
    Ref<UIView> contentView() const { return contentView_; }
    Ref<UILabel> textLabel();
    // Null in the default style.
    Ref<UILabel> detailTextLabel();
    Ref<UIImageView> imageView();

    Ref<UIView> backgroundView() const { return backgroundView_; }
    void setBackgroundView(const Ref<UIView>& view);
    Ref<UIView> selectedBackgroundView() const { return selectedBackgroundView_; }
    void setSelectedBackgroundView(const Ref<UIView>& view);

    UITableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(UITableViewCellAccessoryType type);
    // A custom accessory replaces the standard one.
    Ref<UIView> accessoryView() const { return accessoryView_; }
    void setAccessoryView(const Ref<UIView>& view);
    UITableViewCellAccessoryType editingAccessoryType() const { return editingAccessoryType_; }
    void setEditingAccessoryType(UITableViewCellAccessoryType type) { editingAccessoryType_ = type; }
    Ref<UIView> editingAccessoryView() const { return editingAccessoryView_; }
    void setEditingAccessoryView(const Ref<UIView>& view) { editingAccessoryView_ = view; }
    // The view standing for the accessory now shown (custom or standard), null when none.
    Ref<UIView> currentAccessoryView() const { return shownAccessory_; }

    UITableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(UITableViewCellSelectionStyle style);

    // --- State ---
    bool isSelected() const { return selected_; }
    bool selected() const { return selected_; }
    void setSelected(bool selected) { setSelected_animated(selected, false); }
    virtual void setSelected_animated(bool selected, bool animated);
    bool isHighlighted() const { return highlighted_; }
    bool highlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { setHighlighted_animated(highlighted, false); }
    virtual void setHighlighted_animated(bool highlighted, bool animated);
    bool isEditing() const { return editing_; }
    bool editing() const { return editing_; }
    void setEditing(bool editing) { setEditing_animated(editing, false); }
    virtual void setEditing_animated(bool editing, bool animated);
    bool showingDeleteConfirmation() const { return showingDeleteConfirmation_; }
    void setShowingDeleteConfirmation(bool showing);
    bool shouldIndentWhileEditing() const { return shouldIndentWhileEditing_; }
    void setShouldIndentWhileEditing(bool indent) { shouldIndentWhileEditing_ = indent; }
    NSInteger indentationLevel() const { return indentationLevel_; }
    void setIndentationLevel(NSInteger level) { indentationLevel_ = level; }
    CGFloat indentationWidth() const { return indentationWidth_; }
    void setIndentationWidth(CGFloat width) { indentationWidth_ = width; }
    bool showsReorderControl() const { return showsReorderControl_; }
    void setShowsReorderControl(bool shows) { showsReorderControl_ = shows; }

    // Called by the table before a dequeued cell is handed out again.
    virtual void prepareForReuse() {}
    virtual void willTransitionToState(UITableViewCellStateMask state) {}
    virtual void didTransitionToState(UITableViewCellStateMask state) {}

    void layoutSubviews() override;

    // --- Set by the table: the row's editing style (the delete control shows while editing when it
    // is delete) and the title of its delete button ---
    UITableViewCellEditingStyle rowEditingStyle() const { return rowEditingStyle_; }
    void setRowEditingStyle(UITableViewCellEditingStyle style);
    void setDeleteConfirmationTitle(const std::string& title);
    // The red round delete control and the delete button, while they show (null otherwise).
    Ref<UIView> deleteControl() const;
    Ref<UIButton> deleteConfirmationButton() const;

    // The table showing the cell (set by the table).
    Ref<UITableView> tableView() const { return tableView_.lock(); }
    void setTableView(const Ref<UITableView>& table) { tableView_ = table; }

    void initWithFrameBody(CGRect frame) override;
    virtual void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier);

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    void updateAccessory();
    void applyHighlight();
    UITableViewCellStateMask stateMask() const;
    void accessoryButtonTapped();
    void deleteControlTapped();
    void deleteButtonTapped();
    void updateEditingControls();

    UITableViewCellStyle style_ = UITableViewCellStyleDefault;
    std::string reuseIdentifier_;
    Ref<UIView> contentView_;
    Ref<UILabel> textLabel_;
    Ref<UILabel> detailTextLabel_;
    Ref<UIImageView> imageView_;
    Ref<UIView> backgroundView_;
    Ref<UIView> selectedBackgroundView_;
    UITableViewCellAccessoryType accessoryType_ = UITableViewCellAccessoryNone;
    Ref<UIView> accessoryView_;
    UITableViewCellAccessoryType editingAccessoryType_ = UITableViewCellAccessoryNone;
    Ref<UIView> editingAccessoryView_;
    Ref<UIView> shownAccessory_;
    Ref<UIView> standardAccessory_;
    UITableViewCellAccessoryType standardAccessoryType_ = UITableViewCellAccessoryNone;
    UITableViewCellSelectionStyle selectionStyle_ = UITableViewCellSelectionStyleBlue;
    bool selected_ = false;
    bool highlighted_ = false;
    bool editing_ = false;
    bool showingDeleteConfirmation_ = false;
    UITableViewCellEditingStyle rowEditingStyle_ = UITableViewCellEditingStyleDelete;
    std::string deleteTitle_ = "删除";
    Ref<UIControl> deleteControl_;
    Ref<UIButton> deleteButton_;
    bool accessoryHiddenForDelete_ = false;
    bool shouldIndentWhileEditing_ = true;
    NSInteger indentationLevel_ = 0;
    CGFloat indentationWidth_ = 10;
    bool showsReorderControl_ = false;
    Weak<UITableView> tableView_;
};
