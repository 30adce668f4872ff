#include "platform/uikit/WebDocument.h"

#include <litehtml.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGFont.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIImage.h"

namespace webpage {

namespace {
namespace WebDocument_cpp {

// The look of an unstyled page: a phone's readable defaults (16 px text, blue underlined links),
// and the form controls as boxes the container draws itself.
constexpr char kDefaultStyleSheet[] = R"css(
html { display: block; }
head, script, style, title, meta, link, base, noscript, template { display: none; }
body { display: block; margin: 8px; color: #000; font-family: Helvetica, sans-serif; font-size: 16px; line-height: 1.3; }
address, article, aside, blockquote, center, dd, details, dir, div, dl, dt, fieldset, figcaption, figure,
footer, form, frameset, h1, h2, h3, h4, h5, h6, header, hgroup, hr, legend, main, menu, nav, ol, p, pre,
section, summary, ul { display: block; }
p, blockquote, dl, ol, ul, pre, figure, fieldset, form { margin-top: 1em; margin-bottom: 1em; }
form { margin-top: 0; }
h1 { font-size: 2em; margin-top: 0.67em; margin-bottom: 0.67em; font-weight: bold; }
h2 { font-size: 1.5em; margin-top: 0.83em; margin-bottom: 0.83em; font-weight: bold; }
h3 { font-size: 1.17em; margin-top: 1em; margin-bottom: 1em; font-weight: bold; }
h4 { margin-top: 1.33em; margin-bottom: 1.33em; font-weight: bold; }
h5 { font-size: 0.83em; margin-top: 1.67em; margin-bottom: 1.67em; font-weight: bold; }
h6 { font-size: 0.67em; margin-top: 2.33em; margin-bottom: 2.33em; font-weight: bold; }
b, strong, th { font-weight: bold; }
i, em, cite, var, dfn, address { font-style: italic; }
u, ins { text-decoration: underline; }
s, strike, del { text-decoration: line-through; }
small { font-size: 0.83em; }
big { font-size: 1.17em; }
sub { vertical-align: sub; font-size: 0.83em; }
sup { vertical-align: super; font-size: 0.83em; }
code, kbd, samp, tt, pre { font-family: monospace; }
pre { white-space: pre; }
center { text-align: center; }
blockquote { margin-left: 40px; margin-right: 40px; }
dd { margin-left: 40px; }
ol, ul { padding-left: 30px; }
ul { list-style-type: disc; }
ol { list-style-type: decimal; }
ul ul, ol ul { list-style-type: circle; }
li { display: list-item; }
hr { border: 1px solid #c0c0c0; margin-top: 0.5em; margin-bottom: 0.5em; }
a { color: #0645ad; text-decoration: underline; }
img { display: inline-block; }
table { display: table; border-collapse: separate; border-spacing: 2px; }
thead { display: table-header-group; vertical-align: middle; }
tbody { display: table-row-group; vertical-align: middle; }
tfoot { display: table-footer-group; vertical-align: middle; }
tr { display: table-row; vertical-align: inherit; }
td, th { display: table-cell; vertical-align: inherit; padding: 1px; }
caption { display: table-caption; text-align: center; }
col { display: table-column; }
colgroup { display: table-column-group; }
input, textarea, select, button { display: inline-block; font-size: 15px; margin: 2px 0; vertical-align: middle; }
input[type="hidden"] { display: none; }
br { display: block; }
)css";

std::string lower(std::string s) { return lowerASCII(std::move(s)); }
std::string collapse(std::string_view text) { return collapseWhiteSpace(text); }

const litehtml::tchar_t* attr(const litehtml::element* el, const char* name)
{
    return el ? el->get_attr(name) : nullptr;
}

std::string tagOf(const litehtml::element* el)
{
    const char* tag = el ? el->get_tagName() : nullptr;
    return tag ? lower(tag) : std::string();
}

// The engine keeps an element's attributes to itself; its subclasses may read them.
struct AttributeReader : litehtml::html_tag {
    static const litehtml::string_map* of(const litehtml::element* el)
    {
        auto tag = dynamic_cast<const litehtml::html_tag*>(el);
        if (!tag) {
            return nullptr;
        }
        constexpr litehtml::string_map litehtml::html_tag::*attributes = &AttributeReader::m_attrs;
        return &(tag->*attributes);
    }
};

bool isVoidTag(std::string_view tag)
{
    static const char* const voids[] = {"area", "base", "br", "col", "embed", "hr", "img", "input",
                                        "link", "meta", "param", "source", "track", "wbr"};
    return std::find(std::begin(voids), std::end(voids), tag) != std::end(voids);
}

// Tags whose next sibling closes them without a closing tag: they do not nest when written open.
bool isSelfClosingInPractice(std::string_view tag)
{
    static const char* const tags[] = {"p", "li", "option", "tr", "td", "th", "dt", "dd", "optgroup"};
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

bool isRawTextTag(std::string_view tag)
{
    return tag == "script" || tag == "style" || tag == "textarea" || tag == "title" || tag == "xmp";
}

CGColorRef colorOf(const litehtml::web_color& c)
{
    return CGColor::createRGB(c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

CGRect rectOf(const litehtml::position& p) { return CGRectMake(p.x, p.y, p.width, p.height); }

bool isCJK(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FA1F);
}

}  // namespace WebDocument_cpp
}  // namespace

using namespace WebDocument_cpp;

// ---- Markup limits --------------------------------------------------------------------------------

std::string boundMarkup(std::string_view html, const Limits& limits)
{
    std::string out;
    out.reserve(html.size());
    size_t elements = 0;
    size_t depth = 0;
    size_t i = 0;
    const size_t n = html.size();
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
    };
    while (i < n) {
        const size_t lt = html.find('<', i);
        if (lt == std::string_view::npos) {
            out.append(html.substr(i));
            break;
        }
        out.append(html.substr(i, lt - i));
        i = lt;
        if (html.substr(i, 4) == "<!--") {
            const size_t end = html.find("-->", i + 4);
            const size_t stop = end == std::string_view::npos ? n : end + 3;
            out.append(html.substr(i, stop - i));
            i = stop;
            continue;
        }
        if (i + 1 < n && (html[i + 1] == '!' || html[i + 1] == '?')) {
            const size_t end = html.find('>', i);
            const size_t stop = end == std::string_view::npos ? n : end + 1;
            out.append(html.substr(i, stop - i));
            i = stop;
            continue;
        }
        const bool closing = i + 1 < n && html[i + 1] == '/';
        size_t p = i + (closing ? 2 : 1);
        const size_t nameStart = p;
        while (p < n && isNameChar(html[p])) {
            ++p;
        }
        if (p == nameStart || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
            out += "&lt;";  // a lone '<' is text
            ++i;
            continue;
        }
        const std::string tag = lower(std::string(html.substr(nameStart, p - nameStart)));
        // The attributes, each whole: name, and '=' with a quoted or bare value.
        std::vector<std::string_view> attributes;
        bool selfClosed = false;
        while (p < n && html[p] != '>') {
            if (isSpace(html[p])) {
                ++p;
                continue;
            }
            if (html[p] == '/') {
                selfClosed = true;
                ++p;
                continue;
            }
            const size_t start = p;
            while (p < n && !isSpace(html[p]) && html[p] != '>' && html[p] != '=' && html[p] != '/') {
                ++p;
            }
            if (p == start) {
                ++p;  // a stray character
                continue;
            }
            size_t q = p;
            while (q < n && isSpace(html[q])) {
                ++q;
            }
            if (q < n && html[q] == '=') {
                ++q;
                while (q < n && isSpace(html[q])) {
                    ++q;
                }
                if (q < n && (html[q] == '"' || html[q] == '\'')) {
                    const size_t close = html.find(html[q], q + 1);
                    q = close == std::string_view::npos ? n : close + 1;
                } else {
                    while (q < n && !isSpace(html[q]) && html[q] != '>') {
                        ++q;
                    }
                }
                p = q;
            }
            selfClosed = false;
            attributes.push_back(html.substr(start, p - start));
        }
        const size_t tagEnd = p < n ? p + 1 : n;
        i = tagEnd;
        if (closing) {
            if (depth > 0 && !isVoidTag(tag) && !isSelfClosingInPractice(tag)) {
                --depth;
            }
            out += "</" + tag + ">";
            continue;
        }
        if (elements >= limits.maxElements) {
            break;  // the rest of the page is not shown
        }
        const bool nests = !isVoidTag(tag) && !selfClosed && !isSelfClosingInPractice(tag);
        if (nests && depth >= limits.maxDepth) {
            continue;  // too deep: the tag goes, its text stays
        }
        ++elements;
        out += '<';
        out += tag;
        for (size_t a = 0; a < attributes.size() && a < limits.maxAttributes; ++a) {
            out += ' ';
            out.append(attributes[a]);
        }
        out += selfClosed ? "/>" : ">";
        if (nests) {
            ++depth;
        }
        if (isRawTextTag(tag)) {
            // Raw text runs to its closing tag; markup inside it is not markup.
            const std::string closeTag = "</" + tag;
            size_t end = i;
            while (true) {
                end = html.find("</", end);
                if (end == std::string_view::npos ||
                    lower(std::string(html.substr(end, closeTag.size()))) == closeTag) {
                    break;
                }
                end += 2;
            }
            const size_t stop = end == std::string_view::npos ? n : end;
            out.append(html.substr(i, stop - i));
            i = stop;
        }
    }
    return out;
}

// ---- Page encodings --------------------------------------------------------------------------------

namespace {
namespace WebDocument_cpp {

// The encoding a label stands for on a web page, or 0 when the label is unknown here.
NSStringEncoding pageEncodingOf(std::string_view label, bool fromMarkup)
{
    const CFStringEncoding cf = CFStringConvertIANACharSetNameToEncoding(label);
    if (cf == kCFStringEncodingInvalidId) {
        return 0;
    }
    switch (cf) {
    case kCFStringEncodingISOLatin1:
    case kCFStringEncodingASCII:
        return NSWindowsCP1252StringEncoding;
    case kCFStringEncodingEUC_CN:
    case kCFStringEncodingGBK_95:
        return CFStringConvertEncodingToNSStringEncoding(kCFStringEncodingGB_18030_2000);
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE:
        // A page that could read its own <meta> is not in UTF-16.
        return fromMarkup ? NSUTF8StringEncoding : CFStringConvertEncodingToNSStringEncoding(cf);
    default:
        break;
    }
    const NSStringEncoding ns = CFStringConvertEncodingToNSStringEncoding(cf);
    return Charset::isSupported(ns) ? ns : 0;
}

// The value of charset= in a content type ("" when none).
std::string charsetParameter(std::string_view content)
{
    const std::string lowered = lower(std::string(content));
    const size_t at = lowered.find("charset");
    if (at == std::string::npos) {
        return "";
    }
    size_t p = at + 7;
    while (p < lowered.size() && (lowered[p] == ' ' || lowered[p] == '\t')) ++p;
    if (p >= lowered.size() || lowered[p] != '=') {
        return "";
    }
    ++p;
    while (p < lowered.size() && (lowered[p] == ' ' || lowered[p] == '\t')) ++p;
    if (p < lowered.size() && (lowered[p] == '"' || lowered[p] == '\'')) {
        const size_t close = lowered.find(lowered[p], p + 1);
        return close == std::string::npos ? "" : lowered.substr(p + 1, close - p - 1);
    }
    size_t end = p;
    while (end < lowered.size() && lowered[end] != ';' && lowered[end] != ' ' && lowered[end] != '\t') ++end;
    return lowered.substr(p, end - p);
}

}  // namespace WebDocument_cpp
}  // namespace

std::string metaCharset(std::string_view markup)
{
    markup = markup.substr(0, 1024);
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/'; };
    size_t i = 0;
    while ((i = markup.find('<', i)) != std::string_view::npos) {
        if (markup.substr(i, 4) == "<!--") {
            const size_t end = markup.find("-->", i + 4);
            if (end == std::string_view::npos) return "";
            i = end + 3;
            continue;
        }
        if (lower(std::string(markup.substr(i, 5))) != "<meta" || i + 5 >= markup.size() || !isSpace(markup[i + 5])) {
            ++i;
            continue;
        }
        // The tag's attributes, as name=value pairs.
        size_t p = i + 5;
        std::string charset, httpEquiv, content;
        while (p < markup.size() && markup[p] != '>') {
            if (isSpace(markup[p])) {
                ++p;
                continue;
            }
            const size_t nameStart = p;
            while (p < markup.size() && !isSpace(markup[p]) && markup[p] != '=' && markup[p] != '>') ++p;
            const std::string name = lower(std::string(markup.substr(nameStart, p - nameStart)));
            std::string value;
            while (p < markup.size() && (markup[p] == ' ' || markup[p] == '\t' || markup[p] == '\n')) ++p;
            if (p < markup.size() && markup[p] == '=') {
                ++p;
                while (p < markup.size() && (markup[p] == ' ' || markup[p] == '\t' || markup[p] == '\n')) ++p;
                if (p < markup.size() && (markup[p] == '"' || markup[p] == '\'')) {
                    const size_t close = markup.find(markup[p], p + 1);
                    if (close == std::string_view::npos) return "";
                    value = std::string(markup.substr(p + 1, close - p - 1));
                    p = close + 1;
                } else {
                    const size_t start = p;
                    while (p < markup.size() && !isSpace(markup[p]) && markup[p] != '>') ++p;
                    value = std::string(markup.substr(start, p - start));
                }
            }
            if (name == "charset") charset = value;
            else if (name == "http-equiv") httpEquiv = lower(value);
            else if (name == "content") content = value;
        }
        if (!charset.empty()) {
            return collapse(charset);
        }
        if (httpEquiv == "content-type") {
            if (std::string named = charsetParameter(content); !named.empty()) {
                return named;
            }
        }
        i = p;
    }
    return "";
}

DecodedText decodePage(std::string_view bytes, std::string_view charset, bool isMarkup)
{
    DecodedText out;
    const auto byte = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        out.encoding = NSUTF8StringEncoding;
        bytes.remove_prefix(3);
    } else if (byte(0) == 0xFE && byte(1) == 0xFF) {
        out.encoding = NSUTF16BigEndianStringEncoding;
        bytes.remove_prefix(2);
    } else if (byte(0) == 0xFF && byte(1) == 0xFE) {
        out.encoding = NSUTF16LittleEndianStringEncoding;
        bytes.remove_prefix(2);
    } else if (NSStringEncoding named = charset.empty() ? 0 : pageEncodingOf(charset, false)) {
        out.encoding = named;
    } else if (NSStringEncoding meta = isMarkup ? pageEncodingOf(metaCharset(bytes), true) : 0) {
        out.encoding = meta;
    } else {
        out.encoding = Charset::isValidUTF8(bytes) ? NSUTF8StringEncoding : NSWindowsCP1252StringEncoding;
    }
    out.text = Charset::decodeReplacing(bytes, out.encoding);
    return out;
}

std::vector<std::string> styleSheetLinks(std::string_view markup, const std::string& baseURL, size_t limit)
{
    std::vector<std::string> out;
    const std::string pageScheme = lower(baseURL.substr(0, baseURL.find(':')));
    Ref<NSURL> base = NSURL::URLWithString(baseURL);
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/'; };
    size_t i = 0;
    while (out.size() < limit && (i = markup.find('<', i)) != std::string_view::npos) {
        if (markup.substr(i, 4) == "<!--") {
            const size_t end = markup.find("-->", i + 4);
            if (end == std::string_view::npos) break;
            i = end + 3;
            continue;
        }
        if (lower(std::string(markup.substr(i, 5))) != "<link" || i + 5 >= markup.size() || !isSpace(markup[i + 5])) {
            ++i;
            continue;
        }
        size_t p = i + 5;
        std::string rel, href;
        while (p < markup.size() && markup[p] != '>') {
            if (isSpace(markup[p])) {
                ++p;
                continue;
            }
            const size_t nameStart = p;
            while (p < markup.size() && !isSpace(markup[p]) && markup[p] != '=' && markup[p] != '>') ++p;
            const std::string name = lower(std::string(markup.substr(nameStart, p - nameStart)));
            std::string value;
            if (p < markup.size() && markup[p] == '=') {
                ++p;
                if (p < markup.size() && (markup[p] == '"' || markup[p] == '\'')) {
                    const size_t close = markup.find(markup[p], p + 1);
                    if (close == std::string_view::npos) return out;
                    value = std::string(markup.substr(p + 1, close - p - 1));
                    p = close + 1;
                } else {
                    const size_t start = p;
                    while (p < markup.size() && !isSpace(markup[p]) && markup[p] != '>') ++p;
                    value = std::string(markup.substr(start, p - start));
                }
            }
            if (name == "rel") rel = " " + lower(collapse(value)) + " ";
            else if (name == "href") href = collapse(value);
        }
        i = p;
        if (href.empty() || rel.find(" stylesheet ") == std::string::npos || rel.find(" alternate ") != std::string::npos) {
            continue;
        }
        Ref<NSURL> url = base ? NSURL::URLWithString_relativeToURL(href, base) : NSURL::URLWithString(href);
        const std::string address = url ? url->absoluteString() : "";
        const std::string scheme = lower(address.substr(0, address.find(':')));
        const bool allowed = scheme == "http" || scheme == "https" || (scheme == "file" && pageScheme == "file");
        if (allowed && std::find(out.begin(), out.end(), address) == out.end()) {
            out.push_back(address);
        }
    }
    return out;
}

std::string escapeHTML(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// ---- Form controls ---------------------------------------------------------------------------------

class ControlElement;

// ---- The document container -------------------------------------------------------------------------

class Container : public litehtml::document_container {
public:
    struct Font {
        textlayout::FontAtSize face;
        std::string name;
        int ascent = 0;
        int descent = 0;
        int height = 0;
        unsigned decoration = 0;
    };

    std::string baseURL;
    std::string baseHref;
    std::string title;
    int viewWidth = 320;
    int viewHeight = 480;
    CGContextRef context;  // while drawing
    std::vector<Font> fonts;
    std::map<std::string, std::shared_ptr<UIImage>> images;  // by absolute address; null while loading
    std::vector<std::string> imageRequests;
    std::vector<ControlElement*> controls;  // in creation (document) order
    StyleSheets sheets;

    const Font* font(litehtml::uint_ptr handle) const
    {
        return handle > 0 && handle <= fonts.size() ? &fonts[handle - 1] : nullptr;
    }

    std::string resolve(const std::string& src, const char* base = nullptr) const
    {
        std::string from = base && *base ? base : (baseHref.empty() ? baseURL : baseHref);
        Ref<NSURL> baseURLRef = NSURL::URLWithString(from);
        Ref<NSURL> url = baseURLRef ? NSURL::URLWithString_relativeToURL(src, baseURLRef) : NSURL::URLWithString(src);
        return url ? url->absoluteString() : std::string();
    }

    // ---- fonts and text ----
    litehtml::uint_ptr create_font(const litehtml::tchar_t* faceName, int size, int weight,
                                   litehtml::font_style italic, unsigned int decoration,
                                   litehtml::font_metrics* fm) override
    {
        const std::string family = lower(faceName ? faceName : "");
        const bool bold = weight >= 600;
        const bool oblique = italic == litehtml::fontStyleItalic;
        std::string name;
        if (family.find("mono") != std::string::npos || family.find("courier") != std::string::npos) {
            name = bold ? (oblique ? "DejaVuSansMono-BoldOblique" : "DejaVuSansMono-Bold")
                        : (oblique ? "DejaVuSansMono-Oblique" : "DejaVuSansMono");
        } else if (oblique) {
            name = bold ? "DejaVuSans-BoldOblique" : "DejaVuSans-Oblique";
        } else {
            name = bold ? "Helvetica-Bold" : "Helvetica";
        }
        CGFontRef face = CGFont::createWithFontName(name);
        if (!face) {
            name = bold ? "Helvetica-Bold" : "Helvetica";
            face = CGFont::createWithFontName(name);
        }
        Font f;
        f.face = {face, CGFloat(std::max(size, 1))};
        f.name = name;
        f.decoration = decoration;
        if (face) {
            f.ascent = int(std::ceil(f.face.ascender()));
            f.descent = int(std::ceil(-f.face.descender()));
        } else {
            f.ascent = size;
            f.descent = size / 4;
        }
        f.height = f.ascent + f.descent;
        if (fm) {
            fm->ascent = f.ascent;
            fm->descent = f.descent;
            fm->height = f.height;
            fm->x_height = face ? int(std::round(f.face.xHeight())) : size / 2;
            fm->draw_spaces = decoration != 0;
        }
        fonts.push_back(std::move(f));
        return fonts.size();
    }
    void delete_font(litehtml::uint_ptr) override {}

    int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont) override
    {
        const Font* f = font(hFont);
        if (!f || !f->face.font || !text) {
            return 0;
        }
        return int(std::ceil(textlayout::widthOfText(text, f->face)));
    }

    void draw_text(litehtml::uint_ptr, const litehtml::tchar_t* text, litehtml::uint_ptr hFont,
                   litehtml::web_color color, const litehtml::position& pos) override
    {
        const Font* f = font(hFont);
        if (!context || !f || !text || !*text) {
            return;
        }
        context->setFillColor(colorOf(color));
        context->showTextLine(text, rectOf(pos), f->ascent, f->name, f->face.pointSize);
        const CGFloat thickness = std::max<CGFloat>(1, f->face.pointSize / 16);
        if (f->decoration & litehtml::font_decoration_underline) {
            context->fillRect(CGRectMake(pos.x, pos.y + f->ascent + 1.5, pos.width, thickness));
        }
        if (f->decoration & litehtml::font_decoration_linethrough) {
            context->fillRect(CGRectMake(pos.x, pos.y + f->ascent * 0.65, pos.width, thickness));
        }
    }

    // Chinese, Japanese and Korean text has no spaces: every such character is a word of its own, so
    // lines may break between them as they do in the rest of the interface.
    void split_text(const char* text, const std::function<void(const litehtml::tchar_t*)>& on_word,
                    const std::function<void(const litehtml::tchar_t*)>& on_space) override
    {
        std::u32string word;
        auto flush = [&] {
            if (!word.empty()) {
                on_word(NSString::fromUTF32(word).c_str());
                word.clear();
            }
        };
        for (char32_t c : NSString::toUTF32(text ? text : "")) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                flush();
                on_space(NSString::fromUTF32(std::u32string(1, c)).c_str());
            } else if (isCJK(c)) {
                flush();
                on_word(NSString::fromUTF32(std::u32string(1, c)).c_str());
            } else {
                word += c;
            }
        }
        flush();
    }

    int pt_to_px(int pt) const override { return pt * 4 / 3; }
    int get_default_font_size() const override { return 16; }
    const litehtml::tchar_t* get_default_font_name() const override { return "Helvetica"; }

    void draw_list_marker(litehtml::uint_ptr, const litehtml::list_marker& marker) override
    {
        if (!context) {
            return;
        }
        context->setFillColor(colorOf(marker.color));
        const CGRect box = rectOf(marker.pos);
        switch (marker.marker_type) {
        case litehtml::list_style_type_none:
            break;
        case litehtml::list_style_type_circle:
            context->setStrokeColor(colorOf(marker.color));
            context->setLineWidth(1);
            context->strokeEllipseInRect(CGRectInset(box, 0.5, 0.5));
            break;
        case litehtml::list_style_type_square:
            context->fillRect(box);
            break;
        case litehtml::list_style_type_disc:
            context->fillEllipseInRect(box);
            break;
        default: {
            // Numbered lists: the number before the item, right-aligned to the marker's place.
            const Font* f = font(marker.font);
            if (!f) {
                context->fillEllipseInRect(box);
                break;
            }
            const std::string number = std::to_string(marker.index) + ".";
            const CGFloat width = textlayout::widthOfText(number, f->face);
            const CGFloat lineTop = box.origin.y + box.size.height / 2 - f->height / 2.0 - f->ascent / 4.0;
            context->showTextLine(number, CGRectMake(CGRectGetMaxX(box) - width, lineTop, width, f->height), f->ascent,
                                  f->name, f->face.pointSize);
            break;
        }
        }
    }

    // ---- images ----
    bool imageAllowed(const std::string& url) const
    {
        const std::string scheme = lower(url.substr(0, url.find(':')));
        if (scheme == "http" || scheme == "https") {
            return true;
        }
        // A page of the application's own files may show pictures beside it; a network page may not.
        const std::string pageScheme = lower(baseURL.substr(0, baseURL.find(':')));
        return scheme == "file" && pageScheme == "file";
    }
    void load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, bool) override
    {
        if (!src || !*src) {
            return;
        }
        const std::string url = resolve(src, baseurl);
        if (url.empty() || images.count(url) || !imageAllowed(url)) {
            return;
        }
        images[url] = nullptr;
        imageRequests.push_back(url);
    }
    std::shared_ptr<UIImage> image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl) const
    {
        if (!src || !*src) {
            return nullptr;
        }
        auto it = images.find(resolve(src, baseurl));
        return it == images.end() ? nullptr : it->second;
    }
    void get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, litehtml::size& sz) override
    {
        if (auto img = image(src, baseurl)) {
            sz.width = int(std::round(img->size().width));
            sz.height = int(std::round(img->size().height));
        } else {
            sz.width = sz.height = 0;
        }
    }

    void draw_background(litehtml::uint_ptr, const litehtml::background_paint& bg) override
    {
        if (!context) {
            return;
        }
        const CGRect clip = rectOf(bg.clip_box);
        if (bg.color.alpha > 0) {
            context->setFillColor(colorOf(bg.color));
            context->fillRect(bg.is_root ? CGRectMake(0, 0, std::max<CGFloat>(clip.size.width, viewWidth),
                                                      std::max<CGFloat>(clip.size.height, viewHeight))
                                         : clip);
        }
        auto img = image(bg.image.c_str(), bg.baseurl.c_str());
        if (!img || !img->CGImage() || bg.image_size.width <= 0 || bg.image_size.height <= 0) {
            return;
        }
        context->saveGState();
        context->clipToRect(clip);
        const CGFloat w = bg.image_size.width;
        const CGFloat h = bg.image_size.height;
        const bool repeatX = bg.repeat == litehtml::background_repeat_repeat || bg.repeat == litehtml::background_repeat_repeat_x;
        const bool repeatY = bg.repeat == litehtml::background_repeat_repeat || bg.repeat == litehtml::background_repeat_repeat_y;
        CGFloat startX = bg.position_x;
        CGFloat startY = bg.position_y;
        if (repeatX) {
            while (startX > clip.origin.x) startX -= w;
        }
        if (repeatY) {
            while (startY > clip.origin.y) startY -= h;
        }
        int drawn = 0;
        for (CGFloat y = startY; y < CGRectGetMaxY(clip) && drawn < 4096; y += h) {
            for (CGFloat x = startX; x < CGRectGetMaxX(clip) && drawn < 4096; x += w) {
                context->drawImage(CGRectMake(x, y, w, h), img->CGImage());
                ++drawn;
                if (!repeatX) break;
            }
            if (!repeatY) break;
        }
        context->restoreGState();
    }

    void draw_borders(litehtml::uint_ptr, const litehtml::borders& borders, const litehtml::position& pos, bool) override
    {
        if (!context) {
            return;
        }
        auto side = [&](const litehtml::border& b, CGRect r) {
            if (b.width <= 0 || b.style == litehtml::border_style_none || b.style == litehtml::border_style_hidden) {
                return;
            }
            context->setFillColor(colorOf(b.color));
            context->fillRect(r);
        };
        const CGRect box = rectOf(pos);
        side(borders.top, CGRectMake(box.origin.x, box.origin.y, box.size.width, borders.top.width));
        side(borders.bottom, CGRectMake(box.origin.x, CGRectGetMaxY(box) - borders.bottom.width, box.size.width,
                                        borders.bottom.width));
        side(borders.left, CGRectMake(box.origin.x, box.origin.y, borders.left.width, box.size.height));
        side(borders.right, CGRectMake(CGRectGetMaxX(box) - borders.right.width, box.origin.y, borders.right.width,
                                       box.size.height));
    }

    void set_caption(const litehtml::tchar_t* caption) override { title = caption ? caption : ""; }
    void set_base_url(const litehtml::tchar_t* url) override { baseHref = url ? resolve(url) : ""; }
    void link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) override {}
    void on_anchor_click(const litehtml::tchar_t*, const litehtml::element::ptr&) override {}
    void set_cursor(const litehtml::tchar_t*) override {}
    void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override
    {
        if (tt == litehtml::text_transform_uppercase) {
            std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        } else if (tt == litehtml::text_transform_lowercase) {
            std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        } else if (tt == litehtml::text_transform_capitalize && !text.empty()) {
            text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
        }
    }
    // Linked style sheets were fetched before the parse; one that did not arrive is left out.
    void import_css(litehtml::tstring& text, const litehtml::tstring& url, litehtml::tstring& baseurl) override
    {
        const std::string address = resolve(url, baseurl.c_str());
        auto it = sheets.find(address);
        if (it != sheets.end()) {
            text = it->second;
            baseurl = address;  // the sheet's own addresses resolve against it
        }
    }
    void set_clip(const litehtml::position& pos, const litehtml::border_radiuses&, bool, bool) override
    {
        if (context) {
            context->saveGState();
            context->clipToRect(rectOf(pos));
        }
    }
    void del_clip() override
    {
        if (context) {
            context->restoreGState();
        }
    }
    void get_client_rect(litehtml::position& client) const override
    {
        client = litehtml::position(0, 0, viewWidth, viewHeight);
    }
    std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t* tag_name,
                                                      const litehtml::string_map& attributes,
                                                      const std::shared_ptr<litehtml::document>& doc) override;
    void get_media_features(litehtml::media_features& media) const override
    {
        media.type = litehtml::media_type_screen;
        media.width = media.device_width = viewWidth;
        media.height = media.device_height = viewHeight;
        media.color = 8;
        media.monochrome = 0;
        media.color_index = 256;
        media.resolution = 192;
    }
    void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override
    {
        language = "zh";
        culture = "CN";
    }

    // Draws a control in its box.
    void drawControl(const ControlElement& control, CGRect box);

    // A text entry's text as it shows (dots for a password: one per unit, so positions match) and its
    // lines on the page: the units each holds and where it starts.
    struct EntryLine {
        NSUInteger start = 0;
        NSUInteger end = 0;
        CGFloat x = 0;
        CGFloat y = 0;
    };
    static std::string shownText(const Control& control);
    std::vector<EntryLine> entryLines(const ControlElement& control, CGRect box, const std::string& shown) const;
    // Shifts a one-line entry's text so that its caret lies inside the box.
    void keepCaretInside(const ControlElement& control, CGRect box, const std::string& shown) const;
};

class ControlElement : public litehtml::html_tag, public Control {
public:
    ControlElement(const std::shared_ptr<litehtml::document>& doc, Container* container, const std::string& tag,
                   const litehtml::string_map& attributes)
        : litehtml::html_tag(doc), container_(container), tag_(tag)
    {
        auto get = [&](const char* key) -> const std::string* {
            auto it = attributes.find(key);
            return it == attributes.end() ? nullptr : &it->second;
        };
        name_ = get("name") ? *get("name") : "";
        disabled_ = get("disabled") != nullptr;
        checked_ = get("checked") != nullptr;
        const std::string type = get("type") ? lower(*get("type")) : "";
        if (tag == "textarea") {
            kind_ = Kind::TextArea;
        } else if (tag == "select") {
            kind_ = Kind::Select;
        } else if (tag == "button") {
            kind_ = type == "button" ? Kind::Button : type == "reset" ? Kind::Reset : Kind::Submit;
            value_ = get("value") ? *get("value") : "";
        } else {
            static const std::map<std::string, Kind> kinds = {
                {"password", Kind::Password}, {"checkbox", Kind::Checkbox}, {"radio", Kind::Radio},
                {"submit", Kind::Submit},     {"image", Kind::Submit},      {"reset", Kind::Reset},
                {"button", Kind::Button},     {"hidden", Kind::Hidden},     {"file", Kind::File}};
            auto it = kinds.find(type);
            kind_ = it == kinds.end() ? Kind::Text : it->second;
            value_ = get("value") ? *get("value") : "";
            if (kind_ == Kind::Submit || kind_ == Kind::Reset || kind_ == Kind::Button) {
                label_ = value_;
            }
        }
        if (const std::string* size = get("size")) {
            sizeAttribute_ = std::clamp(std::atoi(size->c_str()), 0, 200);
        }
        if (const std::string* rows = get("rows")) {
            rows_ = std::clamp(std::atoi(rows->c_str()), 1, 100);
        }
        container_->controls.push_back(this);
    }

    // The control's content (a text area's text, a select's options, a button's label) is the
    // control's own, not laid out as page content.
    bool appendChild(const litehtml::element::ptr& el) override
    {
        if (el) {
            kept_.push_back(el);
            if (kind_ == Kind::TextArea) {
                litehtml::tstring text;
                el->get_text(text);
                value_ += text;
                if (value_.rfind('\n', 0) == 0) {
                    value_.erase(0, 1);  // the line end right after the tag is not text
                }
            } else if (kind_ == Kind::Select) {
                collectOptions(el);
            } else if (tag_ == "button") {
                litehtml::tstring text;
                el->get_text(text);
                label_ += text;
            }
        }
        return true;
    }
    const litehtml::elements_vector& kept() const { return kept_; }

    bool is_replaced() const override { return true; }
    int line_height() const override { return height(); }

    void get_content_size(litehtml::size& sz, int max_width) override
    {
        const Container::Font* f = container_->font(m_font);
        const int line = f ? f->height : 18;
        const auto textWidth = [&](const std::string& text) {
            return f && f->face.font ? int(std::ceil(textlayout::widthOfText(text, f->face))) : int(text.size()) * 8;
        };
        switch (kind_) {
        case Kind::Checkbox:
        case Kind::Radio:
            sz.width = sz.height = 16;
            break;
        case Kind::Submit:
        case Kind::Reset:
        case Kind::Button:
            sz.width = textWidth(label()) + 28;
            sz.height = line + 12;
            break;
        case Kind::Select: {
            int widest = 40;
            for (const auto& option : options_) {
                widest = std::max(widest, textWidth(option.first));
            }
            sz.width = widest + 36;
            sz.height = line + 12;
            break;
        }
        case Kind::TextArea:
            sz.width = 240;
            sz.height = line * rows_ + 10;
            break;
        case Kind::Hidden:
            sz.width = sz.height = 0;
            break;
        default:
            sz.width = sizeAttribute_ > 0 ? sizeAttribute_ * 8 + 12 : 180;
            sz.height = line + 12;
            break;
        }
        sz.width = std::min(sz.width, std::max(max_width, 16));
    }

    int render(int x, int y, int max_width, bool) override
    {
        calc_outlines(max_width);
        m_pos.move_to(x, y);
        litehtml::size sz;
        get_content_size(sz, max_width - content_margins_width());
        auto doc = get_document();
        if (!m_css_width.is_predefined()) {
            sz.width = std::min(doc->cvt_units(m_css_width, m_font_size, max_width), max_width);
        }
        if (!m_css_height.is_predefined() && m_css_height.units() != litehtml::css_units_percentage) {
            sz.height = doc->cvt_units(m_css_height, m_font_size, 0);
        }
        m_pos.width = std::max(sz.width, 0);
        m_pos.height = std::max(sz.height, 0);
        m_pos.x += content_margins_left();
        m_pos.y += content_margins_top();
        return m_pos.width + content_margins_left() + content_margins_right();
    }

    // On the line, the control's text sits on the text's baseline around it.
    int get_base_line() override
    {
        const Container::Font* f = container_->font(m_font);
        const int descent = f ? f->descent : 4;
        if (kind_ == Kind::Checkbox || kind_ == Kind::Radio) {
            return content_margins_bottom() + 2;
        }
        const int line = f ? f->height : 18;
        return content_margins_bottom() + (kind_ == Kind::TextArea ? m_pos.height - 5 - line : (m_pos.height - line) / 2) +
               descent;
    }

    void draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override
    {
        litehtml::position pos = m_pos;
        pos.x += x;
        pos.y += y;
        if (clip && !pos.does_intersect(clip)) {
            return;
        }
        (void)hdc;
        container_->drawControl(*this, rectOf(pos));
    }

    const Container::Font* fontOf() const { return container_->font(m_font); }

private:
    void collectOptions(const litehtml::element::ptr& el)
    {
        const std::string tag = tagOf(el.get());
        if (tag == "optgroup") {
            for (size_t i = 0; i < el->get_children_count(); ++i) {
                collectOptions(el->get_child(int(i)));
            }
            return;
        }
        if (tag != "option") {
            return;
        }
        litehtml::tstring text;
        el->get_text(text);
        const std::string label = collapse(text);
        const char* value = el->get_attr("value");
        options_.emplace_back(label, value ? value : label);
        if (el->get_attr("selected") || selected_ < 0) {
            if (el->get_attr("selected") || options_.size() == 1) {
                selected_ = int(options_.size()) - 1;
            }
        }
    }

    Container* container_;
    std::string tag_;
    litehtml::elements_vector kept_;
    int sizeAttribute_ = 0;
    int rows_ = 3;
};

std::string Control::label() const
{
    if (!label_.empty()) {
        return collapse(label_);
    }
    switch (kind_) {
    case Kind::Submit: return "提交";
    case Kind::Reset: return "重置";
    default: return "";
    }
}

std::shared_ptr<litehtml::element> Container::create_element(const litehtml::tchar_t* tag_name,
                                                              const litehtml::string_map& attributes,
                                                              const std::shared_ptr<litehtml::document>& doc)
{
    const std::string tag = lower(tag_name ? tag_name : "");
    if (tag == "input" || tag == "textarea" || tag == "select" || tag == "button") {
        return std::make_shared<ControlElement>(doc, this, tag, attributes);
    }
    return nullptr;
}

void Container::drawControl(const ControlElement& control, CGRect box)
{
    if (!context || control.kind() == Control::Kind::Hidden) {
        return;
    }
    const Font* f = control.fontOf();
    const CGFloat hairline = 1;
    const auto stroke = [&](CGRect r, CGColorRef color) {
        context->setFillColor(color);
        context->fillRect(CGRectMake(r.origin.x, r.origin.y, r.size.width, hairline));
        context->fillRect(CGRectMake(r.origin.x, CGRectGetMaxY(r) - hairline, r.size.width, hairline));
        context->fillRect(CGRectMake(r.origin.x, r.origin.y, hairline, r.size.height));
        context->fillRect(CGRectMake(CGRectGetMaxX(r) - hairline, r.origin.y, hairline, r.size.height));
    };
    const CGColorRef frameColor = control.focused() ? CGColor::createRGB(0.2, 0.45, 0.9, 1) : CGColor::createGray(0.6, 1);
    const CGColorRef textColor = control.disabled() ? CGColor::createGray(0.55, 1) : CGColor::createGray(0.1, 1);
    const auto textAt = [&](const std::string& text, CGFloat x, CGFloat lineTop, CGFloat width) {
        if (!f || text.empty()) {
            return;
        }
        context->setFillColor(textColor);
        context->showTextLine(text, CGRectMake(x, lineTop, width, f->height), f->ascent, f->name, f->face.pointSize);
    };
    const CGFloat line = f ? f->height : 18;
    const CGFloat lineTop = box.origin.y + std::floor((box.size.height - line) / 2);
    switch (control.kind()) {
    case Control::Kind::Checkbox:
    case Control::Kind::Radio: {
        const bool radio = control.kind() == Control::Kind::Radio;
        context->setFillColor(CGColor::createGray(1, 1));
        if (radio) {
            context->fillEllipseInRect(box);
            context->setStrokeColor(frameColor);
            context->setLineWidth(1);
            context->strokeEllipseInRect(CGRectInset(box, 0.5, 0.5));
        } else {
            context->fillRect(box);
            stroke(box, frameColor);
        }
        if (control.checked()) {
            context->setFillColor(CGColor::createRGB(0.2, 0.45, 0.9, 1));
            if (radio) {
                context->fillEllipseInRect(CGRectInset(box, 4, 4));
            } else {
                context->fillRect(CGRectInset(box, 3.5, 3.5));
            }
        }
        return;
    }
    case Control::Kind::Submit:
    case Control::Kind::Reset:
    case Control::Kind::Button: {
        context->setFillColor(CGColor::createGray(control.focused() ? 0.85 : 0.92, 1));
        context->fillRect(box);
        stroke(box, frameColor);
        const std::string label = control.label();
        const CGFloat width = f ? textlayout::widthOfText(label, f->face) : 0;
        textAt(label, box.origin.x + std::floor((box.size.width - width) / 2), lineTop, width);
        return;
    }
    case Control::Kind::Select: {
        context->setFillColor(CGColor::createGray(0.97, 1));
        context->fillRect(box);
        stroke(box, frameColor);
        const int index = control.selectedIndex();
        if (index >= 0 && size_t(index) < control.options().size()) {
            textAt(control.options()[size_t(index)].first, box.origin.x + 6, lineTop, box.size.width - 30);
        }
        // The arrow that says a list of choices opens.
        context->setFillColor(CGColor::createGray(0.35, 1));
        const CGFloat cx = CGRectGetMaxX(box) - 14;
        const CGFloat cy = CGRectGetMidY(box);
        context->beginPath();
        context->moveToPoint(cx - 5, cy - 2);
        context->addLineToPoint(cx + 5, cy - 2);
        context->addLineToPoint(cx, cy + 4);
        context->closePath();
        context->fillPath();
        return;
    }
    default:
        break;
    }
    // Text entries: a white box, the text (dots for a password), the selection or the caret while focused.
    context->setFillColor(CGColor::createGray(1, 1));
    context->fillRect(box);
    stroke(box, frameColor);
    if (control.kind() == Control::Kind::File) {
        textAt("选择文件", box.origin.x + 6, lineTop, box.size.width - 12);
        return;
    }
    const std::string shown = shownText(control);
    keepCaretInside(control, box, shown);
    const std::vector<EntryLine> lines = entryLines(control, box, shown);
    const NSRange selection = control.selection();
    const auto xOf = [&](const EntryLine& l, NSUInteger index) {
        index = std::clamp(index, l.start, l.end);
        return l.x + (f ? textlayout::widthOfText(NSString::substringWithRange(shown, NSMakeRange(l.start, index - l.start)),
                                                  f->face)
                        : 0);
    };
    context->saveGState();
    context->clipToRect(CGRectInset(box, 2, 2));
    if (control.focused() && selection.length > 0) {
        context->setFillColor(CGColor::createRGB(0.70, 0.82, 0.96, 1));
        for (const EntryLine& l : lines) {
            const NSUInteger from = std::max(l.start, selection.location);
            const NSUInteger to = std::min(l.end, NSMaxRange(selection));
            if (from < to) {
                const CGFloat a = xOf(l, from);
                context->fillRect(CGRectMake(a, l.y, xOf(l, to) - a, line));
            }
        }
    }
    for (const EntryLine& l : lines) {
        const std::string text = NSString::substringWithRange(shown, NSMakeRange(l.start, l.end - l.start));
        textAt(text, l.x, l.y, f ? textlayout::widthOfText(text, f->face) : 0);
    }
    if (control.focused() && selection.length == 0 && control.caretShown_) {
        size_t k = 0;
        while (k + 1 < lines.size() && selection.location >= lines[k + 1].start &&
               !(selection.location == lines[k].end && selection.location < lines[k + 1].start)) {
            ++k;
        }
        context->setFillColor(CGColor::createRGB(0.2, 0.45, 0.9, 1));
        context->fillRect(CGRectMake(std::round(xOf(lines[k], selection.location)), lines[k].y + 1, 2, line - 2));
    }
    context->restoreGState();
}

std::string Container::shownText(const Control& control)
{
    if (control.kind() != Control::Kind::Password) {
        return control.value();
    }
    std::string dots;
    for (size_t i = 0, n = NSString::length(control.value()); i < n; ++i) {
        dots += "\u25CF";
    }
    return dots;
}

std::vector<Container::EntryLine> Container::entryLines(const ControlElement& control, CGRect box,
                                                        const std::string& shown) const
{
    const Font* f = control.fontOf();
    const CGFloat line = f ? f->height : 18;
    const NSUInteger length = NSString::length(shown);
    std::vector<EntryLine> lines;
    if (control.kind() != Control::Kind::TextArea || !f || shown.empty()) {
        const CGFloat top = control.kind() == Control::Kind::TextArea ? box.origin.y + 5
                                                                       : box.origin.y + std::floor((box.size.height - line) / 2);
        lines.push_back({0, length, box.origin.x + 6 - control.scrollX_, top});
        return lines;
    }
    const textlayout::Layout layout = textlayout::layoutText(shown, f->face, box.size.width - 12,
                                                             std::numeric_limits<CGFloat>::infinity(), 0,
                                                             textlayout::kWordWrap);
    // The wrapped lines show the text in order; between them lie line breaks and the spaces a wrapped
    // line hangs.
    size_t byte = 0;
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        const textlayout::Line& l = layout.lines[i];
        size_t at = l.text.empty() ? byte : shown.find(l.text, byte);
        if (at == std::string::npos) at = byte;
        const size_t after = at + l.text.size();
        lines.push_back({NSString::length(std::string_view(shown).substr(0, at)),
                         NSString::length(std::string_view(shown).substr(0, after)), box.origin.x + 6,
                         box.origin.y + 5 + layout.lineHeight * CGFloat(i)});
        byte = after;
        if (l.text.empty() && byte < shown.size() && shown[byte] == '\n') {
            ++byte;
        }
    }
    if (shown.back() == '\n') {
        // A line break at the very end opens an empty line for the caret.
        lines.push_back({length, length, box.origin.x + 6,
                         box.origin.y + 5 + layout.lineHeight * CGFloat(layout.lines.size())});
    }
    if (lines.empty()) {
        lines.push_back({0, length, box.origin.x + 6, box.origin.y + 5});
    }
    return lines;
}

void Container::keepCaretInside(const ControlElement& control, CGRect box, const std::string& shown) const
{
    const Font* f = control.fontOf();
    if (control.kind() == Control::Kind::TextArea || !f) {
        return;
    }
    if (!control.focused()) {
        control.scrollX_ = 0;  // a field at rest shows the start of its text
        return;
    }
    const CGFloat room = std::max<CGFloat>(box.size.width - 14, 1);
    const NSRange selection = control.selection();
    const CGFloat caret = textlayout::widthOfText(NSString::substringToIndex(shown, NSMaxRange(selection)), f->face);
    const CGFloat whole = textlayout::widthOfText(shown, f->face);
    CGFloat scroll = control.scrollX_;
    if (caret - scroll > room) scroll = caret - room;
    if (caret < scroll) scroll = caret;
    scroll = std::clamp<CGFloat>(scroll, 0, std::max<CGFloat>(0, whole - room));
    control.scrollX_ = scroll;
}

// ---- The document ----------------------------------------------------------------------------------

namespace {

litehtml::context& engineContext()
{
    static litehtml::context* context = [] {
        auto* c = new litehtml::context();
        c->load_master_stylesheet(WebDocument_cpp::kDefaultStyleSheet);
        return c;
    }();
    return *context;
}

litehtml::document* engine(const std::shared_ptr<void>& doc) { return static_cast<litehtml::document*>(doc.get()); }

void children(const litehtml::element* el, std::vector<litehtml::element::ptr>& out)
{
    if (auto control = dynamic_cast<const ControlElement*>(el)) {
        out = control->kept();
        return;
    }
    out.clear();
    for (size_t i = 0, n = el->get_children_count(); i < n; ++i) {
        out.push_back(el->get_child(int(i)));
    }
}

bool isText(const litehtml::element* el)
{
    const char* tag = el->get_tagName();
    return (!tag || !*tag) && !el->is_comment() && el->get_children_count() == 0 && !dynamic_cast<const litehtml::html_tag*>(el);
}

void findAll(const litehtml::element::ptr& el, const std::string& tag, std::vector<litehtml::element::ptr>& out)
{
    std::vector<litehtml::element::ptr> kids;
    children(el.get(), kids);
    for (const auto& child : kids) {
        if (!child) continue;
        if (tagOf(child.get()) == tag) {
            out.push_back(child);
        }
        findAll(child, tag, out);
    }
}

std::string rawText(const litehtml::element* el)
{
    if (isText(el)) {
        litehtml::tstring text;
        const_cast<litehtml::element*>(el)->get_text(text);
        return text;
    }
    std::string out;
    std::vector<litehtml::element::ptr> kids;
    children(el, kids);
    for (const auto& child : kids) {
        if (child && !child->is_comment()) {
            out += rawText(child.get());
        }
    }
    return out;
}

void serialize(const litehtml::element* el, std::string& out)
{
    if (el->is_comment()) {
        return;
    }
    if (isText(el)) {
        litehtml::tstring text;
        const_cast<litehtml::element*>(el)->get_text(text);
        for (char c : text) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
            }
        }
        return;
    }
    const std::string tag = tagOf(el);
    out += "<" + tag;
    if (const auto* attributes = AttributeReader::of(el)) {
        for (const auto& [name, value] : *attributes) {
            out += " " + name + "=\"" + escapeHTML(value) + "\"";
        }
    }
    out += ">";
    if (isVoidTag(tag)) {
        return;
    }
    std::vector<litehtml::element::ptr> kids;
    children(el, kids);
    for (const auto& child : kids) {
        if (child) serialize(child.get(), out);
    }
    out += "</" + tag + ">";
}

bool isBlockTag(const std::string& name)
{
    static const char* const blocks[] = {"address", "article", "aside", "blockquote", "br", "dd", "div", "dl",
                                         "dt", "fieldset", "footer", "form", "h1", "h2", "h3", "h4", "h5", "h6",
                                         "header", "hr", "li", "main", "nav", "ol", "p", "pre", "section",
                                         "table", "tr", "ul"};
    return std::find(std::begin(blocks), std::end(blocks), name) != std::end(blocks);
}

// The text a reader sees: one line per block.
struct TextWriter {
    std::vector<std::string> lines{""};

    void breakLine()
    {
        if (!lines.back().empty()) {
            lines.emplace_back();
        }
    }
    void append(std::string_view raw)
    {
        if (raw.empty()) {
            return;
        }
        std::string text = collapse(raw);
        const bool leadingBlank = raw.find_first_of(" \t\n\r\f") == 0;
        const char last = raw.back();
        const bool trailingBlank = last == ' ' || last == '\t' || last == '\n' || last == '\r' || last == '\f';
        if ((leadingBlank || text.empty()) && !lines.back().empty() && lines.back().back() != ' ') {
            lines.back() += ' ';
        }
        if (text.empty()) {
            return;
        }
        lines.back() += text;
        if (trailingBlank) {
            lines.back() += ' ';
        }
    }
    void walk(const litehtml::element* el)
    {
        std::vector<litehtml::element::ptr> kids;
        children(el, kids);
        for (const auto& child : kids) {
            if (!child || child->is_comment()) {
                continue;
            }
            if (isText(child.get())) {
                litehtml::tstring text;
                child->get_text(text);
                append(text);
                continue;
            }
            const std::string name = tagOf(child.get());
            if (name == "script" || name == "style" || name == "head" || name == "title" || name == "noscript" ||
                dynamic_cast<const ControlElement*>(child.get())) {
                continue;
            }
            const bool block = isBlockTag(name);
            if (block) breakLine();
            walk(child.get());
            if (block) breakLine();
        }
    }
    std::string text() const
    {
        std::string out;
        for (const auto& line : lines) {
            std::string trimmed = collapse(line);
            if (trimmed.empty()) continue;
            if (!out.empty()) out += '\n';
            out += trimmed;
        }
        return out;
    }
};

// Where an element shows: its own box, or for an inline element (a link in a line of text) the boxes of
// the words it holds.
void unionOfWords(const litehtml::element::ptr& el, CGRect& all)
{
    std::vector<litehtml::element::ptr> kids;
    children(el.get(), kids);
    for (const auto& child : kids) {
        if (!child) continue;
        if (isText(child.get()) || dynamic_cast<const ControlElement*>(child.get()) || child->is_replaced()) {
            const litehtml::position p = child->get_placement();
            if (p.width > 0 && p.height > 0) all = CGRectUnion(all, rectOf(p));
        } else {
            unionOfWords(child, all);
        }
    }
}

CGRect boxOf(const litehtml::element::ptr& el)
{
    if (el->get_display() == litehtml::display_inline) {
        CGRect all = CGRectNull;
        unionOfWords(el, all);
        if (!CGRectIsNull(all)) return all;
    }
    return rectOf(el->get_placement());
}

litehtml::element::ptr formOf(const litehtml::element* el)
{
    for (auto p = el ? el->parent() : nullptr; p; p = p->parent()) {
        if (tagOf(p.get()) == "form") {
            return p;
        }
    }
    return nullptr;
}

void collectControls(const litehtml::element::ptr& el, std::vector<ControlElement*>& out)
{
    std::vector<litehtml::element::ptr> kids;
    children(el.get(), kids);
    for (const auto& child : kids) {
        if (auto control = dynamic_cast<ControlElement*>(child.get())) {
            out.push_back(control);
        } else if (child) {
            collectControls(child, out);
        }
    }
}

void fieldsOf(const std::vector<ControlElement*>& controls, const Control* submitter, std::vector<Field>& fields)
{
    for (ControlElement* c : controls) {
        if (c->disabled() || c->name().empty()) {
            continue;
        }
        switch (c->kind()) {
        case Control::Kind::Text:
        case Control::Kind::Password:
        case Control::Kind::TextArea:
        case Control::Kind::Hidden:
            fields.emplace_back(c->name(), c->value());
            break;
        case Control::Kind::Checkbox:
        case Control::Kind::Radio:
            if (c->checked()) {
                fields.emplace_back(c->name(), c->value().empty() ? "on" : c->value());
            }
            break;
        case Control::Kind::Select:
            if (c->selectedIndex() >= 0 && size_t(c->selectedIndex()) < c->options().size()) {
                fields.emplace_back(c->name(), c->options()[size_t(c->selectedIndex())].second);
            }
            break;
        case Control::Kind::Submit:
            if (c == submitter) {
                fields.emplace_back(c->name(), c->value());
            }
            break;
        default:
            break;
        }
    }
}

}  // namespace

std::shared_ptr<Document> Document::parse(std::string_view html, const std::string& baseURL, const Limits& limits,
                                          const StyleSheets& sheets)
{
    std::shared_ptr<Document> page(new Document());
    page->container_ = std::make_unique<Container>();
    page->container_->baseURL = baseURL;
    page->container_->sheets = sheets;
    page->baseURL_ = baseURL;
    const std::string bounded = boundMarkup(html, limits);
    auto doc = litehtml::document::createFromUTF8(bounded.empty() ? "<html><body></body></html>" : bounded.c_str(),
                                                  page->container_.get(), &engineContext());
    page->doc_ = std::static_pointer_cast<void>(doc);
    return page;
}

Document::~Document()
{
    doc_.reset();  // the engine's document before its container
}

int Document::layout(int width, int viewHeight)
{
    width = std::max(width, 1);
    container_->viewWidth = width;
    container_->viewHeight = std::max(viewHeight, 1);
    laidOutWidth_ = width;
    viewHeight_ = viewHeight;
    if (auto* doc = engine(doc_)) {
        doc->media_changed();
        doc->render(width);
        return doc->height();
    }
    return 0;
}

int Document::width() const { return engine(doc_) ? engine(doc_)->width() : 0; }
int Document::height() const { return engine(doc_) ? engine(doc_)->height() : 0; }

void Document::draw(const CGContextRef& context, CGRect clip)
{
    auto* doc = engine(doc_);
    if (!doc || !context) {
        return;
    }
    container_->context = context;
    litehtml::position clipPos(int(std::floor(clip.origin.x)), int(std::floor(clip.origin.y)),
                               int(std::ceil(clip.size.width)) + 1, int(std::ceil(clip.size.height)) + 1);
    doc->draw(0, 0, 0, &clipPos);
    container_->context = nullptr;
}

std::string Document::resolveBase() const
{
    return container_->baseHref.empty() ? baseURL_ : container_->baseHref;
}

std::string Document::title() const
{
    if (!container_->title.empty()) {
        return collapse(container_->title);
    }
    return collapse(textContent("title", 0));
}

std::string Document::text() const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root()) {
        return "";
    }
    std::vector<litehtml::element::ptr> bodies;
    findAll(doc->root(), "body", bodies);
    TextWriter writer;
    writer.walk(bodies.empty() ? doc->root().get() : bodies.front().get());
    return writer.text();
}

bool Document::hasForm() const { return countTag("form") > 0; }

size_t Document::countTag(const std::string& tag) const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root()) return 0;
    std::vector<litehtml::element::ptr> found;
    if (tagOf(doc->root().get()) == tag) found.push_back(doc->root());
    findAll(doc->root(), tag, found);
    return found.size();
}

std::string Document::innerHTML(const std::string& tag, size_t index) const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root()) return "";
    std::vector<litehtml::element::ptr> found;
    findAll(doc->root(), lower(tag), found);
    if (index >= found.size()) return "";
    std::string out;
    std::vector<litehtml::element::ptr> kids;
    children(found[index].get(), kids);
    for (const auto& child : kids) {
        if (child) serialize(child.get(), out);
    }
    return out;
}

std::string Document::textContent(const std::string& tag, size_t index) const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root()) return "";
    std::vector<litehtml::element::ptr> found;
    findAll(doc->root(), lower(tag), found);
    return index < found.size() ? rawText(found[index].get()) : "";
}

std::vector<Control*> Document::controls() const
{
    std::vector<Control*> out;
    auto* doc = engine(doc_);
    if (!doc || !doc->root()) return out;
    std::vector<ControlElement*> found;
    collectControls(doc->root(), found);
    out.assign(found.begin(), found.end());
    return out;
}

std::vector<Control*> Document::focusableControls() const
{
    std::vector<Control*> out;
    for (Control* c : controls()) {
        const CGRect frame = frameOf(c);
        if (c->focusable() && frame.size.width > 0 && frame.size.height > 0) {
            out.push_back(c);
        }
    }
    return out;
}

CGRect Document::frameOf(const Control* control) const
{
    auto* el = dynamic_cast<const ControlElement*>(control);
    if (!el || !laidOut()) {
        return CGRectZero;
    }
    const litehtml::position p = el->get_placement();
    return rectOf(p);
}

CGRect Document::caretRect(const Control* control, NSUInteger index) const
{
    auto* el = dynamic_cast<const ControlElement*>(control);
    if (!el || !laidOut() || !control->isTextEntry()) {
        return CGRectNull;
    }
    const CGRect box = frameOf(control);
    const std::string shown = Container::shownText(*control);
    const auto lines = container_->entryLines(*el, box, shown);
    index = std::min(index, NSString::length(shown));
    size_t k = 0;
    while (k + 1 < lines.size() && index >= lines[k + 1].start &&
           !(index == lines[k].end && index < lines[k + 1].start)) {
        ++k;
    }
    const auto& l = lines[k];
    const Container::Font* f = el->fontOf();
    const CGFloat x =
        l.x + (f ? textlayout::widthOfText(NSString::substringWithRange(shown, NSMakeRange(l.start, std::clamp(index, l.start, l.end) - l.start)),
                                           f->face)
                 : 0);
    return CGRectMake(std::round(x), l.y, 2, f ? f->height : 18);
}

NSUInteger Document::characterIndexNearestPoint(const Control* control, CGPoint point) const
{
    auto* el = dynamic_cast<const ControlElement*>(control);
    if (!el || !laidOut() || !control->isTextEntry()) {
        return 0;
    }
    const std::string shown = Container::shownText(*control);
    const auto lines = container_->entryLines(*el, frameOf(control), shown);
    const Container::Font* f = el->fontOf();
    size_t k = 0;
    while (k + 1 < lines.size() && point.y >= lines[k + 1].y) {
        ++k;
    }
    const auto& l = lines[k];
    NSUInteger best = l.end;
    CGFloat bestDistance = std::numeric_limits<CGFloat>::infinity();
    for (NSUInteger i = l.start; i <= l.end; ++i) {
        if (i > l.start && i < l.end) {
            const unichar c = NSString::characterAtIndex(shown, i);
            if (c >= 0xDC00 && c <= 0xDFFF) {
                continue;  // never inside a surrogate pair
            }
        }
        const CGFloat x =
            l.x + (f ? textlayout::widthOfText(NSString::substringWithRange(shown, NSMakeRange(l.start, i - l.start)), f->face) : 0);
        if (std::fabs(x - point.x) < bestDistance) {
            bestDistance = std::fabs(x - point.x);
            best = i;
        }
    }
    return best;
}

void Document::drawControl(const CGContextRef& context, const Control* control, bool caretShown)
{
    auto* el = dynamic_cast<const ControlElement*>(control);
    if (!el || !context || !laidOut()) {
        return;
    }
    container_->context = context;
    const bool was = control->caretShown_;
    const_cast<Control*>(control)->caretShown_ = caretShown;
    container_->drawControl(*el, frameOf(control));
    const_cast<Control*>(control)->caretShown_ = was;
    container_->context = nullptr;
}

void Control::setValue(std::string value)
{
    value_ = std::move(value);
    const NSUInteger end = NSString::length(value_);
    selection_ = NSMakeRange(end, 0);
}

void Control::setSelection(NSRange range)
{
    const NSUInteger length = NSString::length(value_);
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    selection_ = range;
}

CGRect Document::frameOfElement(const std::string& tag, size_t index) const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root() || !laidOut()) return CGRectNull;
    std::vector<litehtml::element::ptr> found;
    findAll(doc->root(), lower(tag), found);
    if (index >= found.size()) return CGRectNull;
    return boxOf(found[index]);
}

CGRect Document::frameOfLink(const std::string& href) const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root() || !laidOut()) return CGRectNull;
    std::vector<litehtml::element::ptr> links;
    findAll(doc->root(), "a", links);
    for (const auto& link : links) {
        const char* target = attr(link.get(), "href");
        if (target && href == target) {
            return boxOf(link);
        }
    }
    return CGRectNull;
}

Hit Document::hitTest(CGPoint point) const
{
    Hit hit;
    auto* doc = engine(doc_);
    if (!doc || !doc->root() || !laidOut()) {
        return hit;
    }
    // Controls first, by their boxes, with a little slack for a finger.
    Control* nearest = nullptr;
    CGFloat best = 0;
    for (Control* c : focusableControls()) {
        const CGRect frame = frameOf(c);
        const CGRect target = CGRectInset(frame, c->kind() == Control::Kind::Checkbox || c->kind() == Control::Kind::Radio ? -6 : -2,
                                          -4);
        if (CGRectContainsPoint(target, point)) {
            const CGFloat d = std::hypot(CGRectGetMidX(frame) - point.x, CGRectGetMidY(frame) - point.y);
            if (!nearest || d < best) {
                nearest = c;
                best = d;
            }
        }
    }
    if (nearest) {
        hit.control = nearest;
        return hit;
    }
    const int x = int(std::floor(point.x));
    const int y = int(std::floor(point.y));
    for (auto el = doc->root()->get_element_by_point(x, y, x, y); el; el = el->parent()) {
        if (tagOf(el.get()) == "a") {
            if (const char* href = attr(el.get(), "href")) {
                hit.href = href;
                return hit;
            }
        }
        if (tagOf(el.get()) == "label") {
            // A tap on a label goes to its field.
            std::vector<ControlElement*> inside;
            collectControls(el, inside);
            const char* forId = attr(el.get(), "for");
            if (forId) {
                std::vector<ControlElement*> all;
                collectControls(doc->root(), all);
                for (ControlElement* c : all) {
                    if (const char* id = c->get_attr("id"); id && std::string(id) == forId) {
                        hit.control = c;
                        return hit;
                    }
                }
            }
            if (!inside.empty()) {
                hit.control = inside.front();
                return hit;
            }
        }
    }
    return hit;
}

bool Document::submission(const Control* submitter, Submission& out) const
{
    auto* el = dynamic_cast<const ControlElement*>(submitter);
    auto form = formOf(el);
    if (!form) {
        return false;
    }
    std::vector<ControlElement*> controls;
    collectControls(form, controls);
    out.method = lower(attr(form.get(), "method") ? attr(form.get(), "method") : "get");
    out.action = attr(form.get(), "action") ? attr(form.get(), "action") : "";
    out.fields.clear();
    fieldsOf(controls, submitter, out.fields);
    return true;
}

Control* Document::firstSubmitter(bool& hasForm) const
{
    auto* doc = engine(doc_);
    hasForm = false;
    if (!doc || !doc->root()) return nullptr;
    std::vector<litehtml::element::ptr> forms;
    findAll(doc->root(), "form", forms);
    if (forms.empty()) return nullptr;
    hasForm = true;
    std::vector<ControlElement*> controls;
    collectControls(forms.front(), controls);
    for (ControlElement* c : controls) {
        if (c->isSubmit()) return c;
    }
    return nullptr;
}

bool Document::firstFormSubmission(Submission& out) const
{
    auto* doc = engine(doc_);
    if (!doc || !doc->root()) return false;
    std::vector<litehtml::element::ptr> forms;
    findAll(doc->root(), "form", forms);
    if (forms.empty()) return false;
    std::vector<ControlElement*> controls;
    collectControls(forms.front(), controls);
    const Control* submitter = nullptr;
    for (ControlElement* c : controls) {
        if (c->isSubmit()) {
            submitter = c;
            break;
        }
    }
    out.method = lower(attr(forms.front().get(), "method") ? attr(forms.front().get(), "method") : "get");
    out.action = attr(forms.front().get(), "action") ? attr(forms.front().get(), "action") : "";
    out.fields.clear();
    fieldsOf(controls, submitter, out.fields);
    return true;
}

std::vector<std::string> Document::takeImageRequests()
{
    std::vector<std::string> out;
    out.swap(container_->imageRequests);
    return out;
}

bool Document::setImage(const std::string& url, const std::shared_ptr<UIImage>& image)
{
    auto it = container_->images.find(url);
    if (it == container_->images.end() || !image) {
        return false;
    }
    it->second = image;
    return true;
}

std::string lowerASCII(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string collapseWhiteSpace(std::string_view text)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) {
            out += ' ';
        }
        blank = false;
        out += c;
    }
    return out;
}

}  // namespace webpage
