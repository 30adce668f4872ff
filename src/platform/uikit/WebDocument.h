#pragma once
// One page of the web view: parsed once, laid out at the view's width, drawn through the graphics
// context and touched by the view. The HTML and CSS engine does the layout; this file is its document
// container (fonts, text, images, borders and backgrounds on CGContext) and the page's live form
// controls. The view keeps the network and the history; a page knows nothing of either.
//
// Pages from the network are hostile: boundMarkup() cuts what the engine is given before it parses
// (elements per page, attributes per element, nesting), since its parse and its recursive layout are
// not bounded by themselves. Parsing is safe off the main thread (each page has its own container;
// the fonts are shared and immutable); everything else belongs to the main thread.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Charset.h"
#include "platform/foundation/NSObjCRuntime.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

class UIImage;

namespace webpage {

struct Limits {
    size_t maxElements = 50000;     // tags kept per page; the rest of the page is cut
    size_t maxAttributes = 64;      // attributes kept per tag
    size_t maxDepth = 200;          // open elements inside each other; deeper tags are dropped
};

// The markup with the limits applied (text is kept; tags past the limits are not).
std::string boundMarkup(std::string_view html, const Limits& limits);

// A page's bytes as the UTF-8 text the engine reads, and the encoding they were read in (forms are
// sent back in it). The encoding is the first that applies of: a byte-order mark; the charset the
// response named (`charset`, when known); for markup, a <meta charset> or <meta http-equiv
// content="...; charset=..."> in the first 1024 bytes; UTF-8 when the bytes are valid UTF-8; Windows
// Latin-1 otherwise. Labels are read as browsers read them: Latin-1 and ASCII as Windows Latin-1, GB2312
// and GBK as GB 18030 (their superset); a <meta> naming UTF-16 means UTF-8. Bytes not valid in the
// encoding show as U+FFFD.
struct DecodedText {
    std::string text;
    NSStringEncoding encoding = NSUTF8StringEncoding;
};
DecodedText decodePage(std::string_view bytes, std::string_view charset, bool isMarkup);
// The charset a <meta> in the first 1024 bytes of markup names ("" when none).
std::string metaCharset(std::string_view markup);

// The style sheets a page links (<link rel="stylesheet" href>), as absolute addresses in document order,
// at most `limit` of them; only addresses the page may load (http and https, or files beside a file).
std::vector<std::string> styleSheetLinks(std::string_view markup, const std::string& baseURL, size_t limit);
// Style sheets fetched for a page, by absolute address.
using StyleSheets = std::map<std::string, std::string>;

// Escapes text for HTML (&, <, >, ").
std::string escapeHTML(std::string_view text);

class Control;
class Container;

// A field of a form, as submitted: name and value.
using Field = std::pair<std::string, std::string>;

// What lies under a point of the page.
struct Hit {
    std::string href;               // a link's address, as written
    Control* control = nullptr;     // a form control
};

class Document {
public:
    // Parses the markup (UTF-8) of the page at baseURL, with the linked style sheets that arrived (a
    // sheet missing from `sheets` is left out). Safe on any thread.
    static std::shared_ptr<Document> parse(std::string_view html, const std::string& baseURL, const Limits& limits,
                                           const StyleSheets& sheets = {});
    ~Document();

    // Lays the page out for a view of this size (points); answers the page's height.
    int layout(int width, int viewHeight);
    int width() const;
    int height() const;
    bool laidOut() const { return laidOutWidth_ > 0; }
    // Draws the part of the page within clip (page coordinates) into the context.
    void draw(const CGContextRef& context, CGRect clip);

    const std::string& baseURL() const { return baseURL_; }
    // The address a link or form action resolves against (the page's <base href> when it has one).
    std::string resolveBase() const;
    std::string title() const;
    // The page's text as a reader sees it: one line per block, blanks collapsed.
    std::string text() const;
    bool hasForm() const;

    // Scripts the view answers: the elements of a tag, document order; their markup and text.
    size_t countTag(const std::string& tag) const;
    std::string innerHTML(const std::string& tag, size_t index) const;
    std::string textContent(const std::string& tag, size_t index) const;

    Hit hitTest(CGPoint point) const;
    // The box of the n-th element of a tag on the page (its content box; CGRectNull when none).
    CGRect frameOfElement(const std::string& tag, size_t index) const;
    // The box of the first link to this address as written (CGRectNull when none).
    CGRect frameOfLink(const std::string& href) const;
    // The page's form controls in document order, and the fields a tap, Tab or Return can reach.
    std::vector<Control*> controls() const;
    std::vector<Control*> focusableControls() const;
    // The frame of a control on the page (points).
    CGRect frameOf(const Control* control) const;
    // A text entry's caret: where it stands on the page for a position in the value (UTF-16 units),
    // and the position nearest a point of the page (a tap).
    CGRect caretRect(const Control* control, NSUInteger index) const;
    NSUInteger characterIndexNearestPoint(const Control* control, CGPoint point) const;
    // Draws one control as it is now, over whatever the page drew there before (page coordinates),
    // with the caret when caretShown and the control has the focus.
    void drawControl(const CGContextRef& context, const Control* control, bool caretShown);

    // The fields a submission of control's form sends (the submitter's own name=value when it has a
    // name), the form's method ("get"/"post") and action as written; false when control is in no form.
    struct Submission {
        std::string method;
        std::string action;
        std::vector<Field> fields;
    };
    bool submission(const Control* submitter, Submission& out) const;
    // The form of the first form on the page with its first submit button (null when none).
    Control* firstSubmitter(bool& hasForm) const;
    // The first form on the page: its fields as a submission without a submitter's name.
    bool firstFormSubmission(Submission& out) const;

    // Images the page asked for (absolute addresses), and their arrival (null: it failed).
    std::vector<std::string> takeImageRequests();
    // True when the layout must run again (the image's size changed the page).
    bool setImage(const std::string& url, const std::shared_ptr<UIImage>& image);

private:
    Document() = default;
    std::unique_ptr<Container> container_;
    std::shared_ptr<void> doc_;  // the engine's document (kept opaque here)
    std::string baseURL_;
    int laidOutWidth_ = 0;
    int viewHeight_ = 0;
    friend class Container;
};

// A live form control of a page.
class Control {
public:
    enum class Kind { Text, Password, TextArea, Checkbox, Radio, Select, Submit, Reset, Button, Hidden, File };
    virtual ~Control() = default;

    Kind kind() const { return kind_; }
    const std::string& name() const { return name_; }
    const std::string& value() const { return value_; }
    // A new value; the caret goes to its end.
    void setValue(std::string value);
    // A text entry's caret or selection (UTF-16 units of the value), kept within the value.
    NSRange selection() const { return selection_; }
    void setSelection(NSRange range);
    bool checked() const { return checked_; }
    void setChecked(bool checked) { checked_ = checked; }
    bool disabled() const { return disabled_; }
    bool focused() const { return focused_; }
    void setFocused(bool focused) { focused_ = focused; }
    // A select's choices (label, value) and the one chosen.
    const std::vector<std::pair<std::string, std::string>>& options() const { return options_; }
    int selectedIndex() const { return selected_; }
    void setSelectedIndex(int index) { selected_ = index; }
    // What a button says.
    std::string label() const;

    bool isTextEntry() const { return kind_ == Kind::Text || kind_ == Kind::Password || kind_ == Kind::TextArea; }
    bool isSubmit() const { return kind_ == Kind::Submit; }
    bool focusable() const { return !disabled_ && kind_ != Kind::Hidden; }

protected:
    Kind kind_ = Kind::Text;
    std::string name_;
    std::string value_;
    std::string label_;
    bool checked_ = false;
    bool disabled_ = false;
    bool focused_ = false;
    std::vector<std::pair<std::string, std::string>> options_;
    int selected_ = -1;
    NSRange selection_{0, 0};
    bool caretShown_ = true;
    // How far a one-line entry's text is shifted left so the caret stays inside the box.
    mutable CGFloat scrollX_ = 0;
    friend class Container;
    friend class Document;
};

// ASCII lower case; runs of HTML white space collapsed to one space, none at the ends.
std::string lowerASCII(std::string s);
std::string collapseWhiteSpace(std::string_view text);

}  // namespace webpage
