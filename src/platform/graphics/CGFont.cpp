#include "platform/graphics/CGFont.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

#include <algorithm>
#include <fstream>
#include <cstdlib>
#include <map>
#include <tuple>
#include <utility>

#include "platform/foundation/Charset.h"

namespace {

// One FreeType library for the process, never destroyed (fonts are shared process-wide and may be
// used by detached threads until exit). Creating and destroying faces goes through its lock.
struct Library {
    FT_Library library = nullptr;
    std::mutex mutex;
    Library() { FT_Init_FreeType(&library); }
};

Library& library()
{
    static Library* shared = new Library();
    return *shared;
}

// The phone's font names, mapped onto fonts from Debian packages.
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/";
constexpr const char* kWenQuanYi = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

struct Alias {
    const char* name;
    const char* directory;
    const char* file;
    const char* family;  // the phone's family name
};

constexpr Alias kAliases[] = {
    {"Helvetica", kDejaVu, "DejaVuSans.ttf", "Helvetica"},
    {"Helvetica-Bold", kDejaVu, "DejaVuSans-Bold.ttf", "Helvetica"},
    {"HelveticaNeue", kDejaVu, "DejaVuSans.ttf", "Helvetica Neue"},
    {"HelveticaNeue-Bold", kDejaVu, "DejaVuSans-Bold.ttf", "Helvetica Neue"},
    {"ArialMT", kDejaVu, "DejaVuSans.ttf", "Arial"},
    {"Arial-BoldMT", kDejaVu, "DejaVuSans-Bold.ttf", "Arial"},
    {"Courier", kDejaVu, "DejaVuSansMono.ttf", "Courier"},
    {"Courier-Bold", kDejaVu, "DejaVuSansMono-Bold.ttf", "Courier"},
    {"CourierNewPSMT", kDejaVu, "DejaVuSansMono.ttf", "Courier New"},
    {"CourierNewPS-BoldMT", kDejaVu, "DejaVuSansMono-Bold.ttf", "Courier New"},
    {"TimesNewRomanPSMT", kDejaVu, "DejaVuSerif.ttf", "Times New Roman"},
    {"TimesNewRomanPS-BoldMT", kDejaVu, "DejaVuSerif-Bold.ttf", "Times New Roman"},
    {"Georgia", kDejaVu, "DejaVuSerif.ttf", "Georgia"},
    {"Georgia-Bold", kDejaVu, "DejaVuSerif-Bold.ttf", "Georgia"},
    {"STHeitiSC-Light", kWenQuanYi, "", "Heiti SC"},
    {"STHeitiSC-Medium", kWenQuanYi, "", "Heiti SC"},
    {"STHeitiTC-Light", kWenQuanYi, "", "Heiti TC"},
    {"STHeitiTC-Medium", kWenQuanYi, "", "Heiti TC"},
};

std::string utf16beToUtf8(const FT_Byte* bytes, FT_UInt length)
{
    std::string out;
    for (FT_UInt i = 0; i + 1 < length; i += 2) {
        char32_t c = (char32_t(bytes[i]) << 8) | bytes[i + 1];
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {
            const char32_t low = (char32_t(bytes[i + 2]) << 8) | bytes[i + 3];
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        Charset::appendUTF8(out, c);
    }
    return out;
}

// A name of the face's 'name' table: the English Windows entry first, then the Macintosh Roman one.
std::string sfntName(FT_Face face, FT_UShort nameId)
{
    std::string mac;
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName name;
        if (FT_Get_Sfnt_Name(face, i, &name) != 0 || name.name_id != nameId) {
            continue;
        }
        if (name.platform_id == TT_PLATFORM_MICROSOFT && name.encoding_id == TT_MS_ID_UNICODE_CS &&
            name.language_id == TT_MS_LANGID_ENGLISH_UNITED_STATES) {
            return utf16beToUtf8(name.string, name.string_len);
        }
        if (name.platform_id == TT_PLATFORM_MACINTOSH && name.encoding_id == TT_MAC_ID_ROMAN && mac.empty()) {
            mac.assign(reinterpret_cast<const char*>(name.string), name.string_len);
        }
    }
    return mac;
}

// The height above the baseline of a glyph's outline, in font units.
int glyphTop(FT_Face face, char32_t c)
{
    const FT_UInt glyph = FT_Get_Char_Index(face, c);
    if (glyph == 0 || FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) != 0) {
        return 0;
    }
    return int(face->glyph->metrics.horiBearingY);
}

}  // namespace

struct CGFont::Face {
    FT_Face face = nullptr;
    std::vector<uint8_t> bytes;  // the font data of a face made from memory; FreeType reads it in place
};

CGFont::CGFont(std::unique_ptr<Face> face) : face_(std::move(face)) {}

CGFont::~CGFont()
{
    if (cairoFace_ != nullptr) {
        cairo_font_face_destroy(static_cast<cairo_font_face_t*>(cairoFace_));
    }
    if (face_ && face_->face != nullptr) {
        std::lock_guard lock(library().mutex);
        FT_Done_Face(face_->face);
    }
}

CGFontRef CGFont::fromFace(std::unique_ptr<Face> holder, std::string path, int faceIndex)
{
    FT_Face face = holder->face;
    if (!FT_IS_SFNT(face) || !FT_IS_SCALABLE(face)) {
        std::lock_guard lock(library().mutex);
        FT_Done_Face(face);
        return nullptr;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    auto font = std::shared_ptr<CGFont>(new CGFont(std::move(holder)));
    font->path_ = std::move(path);
    font->faceIndex_ = faceIndex;
    if (const char* ps = FT_Get_Postscript_Name(face)) {
        font->postScriptName_ = ps;
    }
    font->familyName_ = face->family_name != nullptr ? face->family_name : "";
    font->styleName_ = face->style_name != nullptr ? face->style_name : "";
    font->fullName_ = sfntName(face, TT_NAME_ID_FULL_NAME);
    if (font->fullName_.empty()) {
        font->fullName_ = font->familyName_ + (font->styleName_.empty() ? "" : " " + font->styleName_);
    }
    font->bold_ = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    font->italic_ = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    font->unitsPerEm_ = face->units_per_EM > 0 ? face->units_per_EM : 1000;
    font->ascent_ = face->ascender;
    font->descent_ = face->descender;
    font->leading_ = std::max(0, int(face->height) - (int(face->ascender) - int(face->descender)));
    font->numGlyphs_ = size_t(face->num_glyphs);
    font->bbox_ = CGRectMake(face->bbox.xMin, face->bbox.yMin, face->bbox.xMax - face->bbox.xMin,
                             face->bbox.yMax - face->bbox.yMin);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->version >= 2 && os2->sCapHeight > 0) {
        font->capHeight_ = os2->sCapHeight;
        font->xHeight_ = os2->sxHeight;
    } else {
        font->capHeight_ = glyphTop(face, U'H');
        font->xHeight_ = glyphTop(face, U'x');
    }
    return font;
}

CGFontRef CGFont::createWithFile(const std::string& path, int faceIndex)
{
    auto holder = std::make_unique<Face>();
    {
        std::lock_guard lock(library().mutex);
        if (library().library == nullptr ||
            FT_New_Face(library().library, path.c_str(), faceIndex, &holder->face) != 0) {
            return nullptr;
        }
    }
    return fromFace(std::move(holder), path, faceIndex);
}

CGFontRef CGFont::createWithData(std::vector<uint8_t> bytes, int faceIndex)
{
    if (bytes.empty()) {
        return nullptr;
    }
    auto holder = std::make_unique<Face>();
    holder->bytes = std::move(bytes);
    {
        std::lock_guard lock(library().mutex);
        if (library().library == nullptr ||
            FT_New_Memory_Face(library().library, holder->bytes.data(), FT_Long(holder->bytes.size()), faceIndex,
                               &holder->face) != 0) {
            return nullptr;
        }
    }
    return fromFace(std::move(holder), "", faceIndex);
}

namespace {

// Installed fonts whose PostScript or full name is exactly `name`, lowest file and index first so
// the choice does not depend on the order fontconfig lists them in.
struct FontIndex {
    std::mutex mutex;
    FcConfig* config = nullptr;
    bool closed = false;  // the process is exiting
};

FontIndex& fontIndex()
{
    static auto* index = new FontIndex();  // never destroyed: lookups may run until exit
    return *index;
}

// fontconfig's configuration is released at exit (it is not freed otherwise), under the lock, so a
// lookup still running finishes first and later ones find nothing.
void closeFontIndex()
{
    FontIndex& index = fontIndex();
    std::lock_guard lock(index.mutex);
    if (index.config != nullptr) {
        FcConfigDestroy(index.config);
        FcFini();
        index.config = nullptr;
    }
    index.closed = true;
}

CGFontRef installedFontNamed(const std::string& name)
{
    FontIndex& index = fontIndex();
    std::lock_guard lock(index.mutex);
    if (index.closed) {
        return nullptr;
    }
    if (index.config == nullptr) {
        index.config = FcInitLoadConfigAndFonts();
        if (index.config == nullptr) {
            return nullptr;
        }
        std::atexit(closeFontIndex);
    }
    FcConfig* config = index.config;
    for (const char* property : {FC_POSTSCRIPT_NAME, FC_FULLNAME}) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, property, reinterpret_cast<const FcChar8*>(name.c_str()));
        FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
        FcFontSet* set = FcFontList(config, pattern, objects);
        std::vector<std::pair<std::string, int>> candidates;
        for (int i = 0; set != nullptr && i < set->nfont; ++i) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch) {
                FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
                candidates.emplace_back(reinterpret_cast<const char*>(file), index);
            }
        }
        if (set != nullptr) {
            FcFontSetDestroy(set);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        std::sort(candidates.begin(), candidates.end());
        for (const auto& [file, index] : candidates) {
            auto font = CGFont::createWithFile(file, index);
            if (font && (font->postScriptName() == name || font->fullName() == name)) {
                return font;
            }
        }
    }
    return nullptr;
}

}  // namespace

CGFontRef CGFont::createWithFontName(const std::string& name)
{
    // Never destroyed: fonts are looked up until the process ends.
    static auto* mutex = new std::mutex();
    static auto* byName = new std::map<std::string, CGFontRef>();  // misses are kept too
    static auto* byFile = new std::map<std::pair<std::string, int>, CGFontRef>();
    if (name.empty()) {
        return nullptr;
    }
    std::lock_guard lock(*mutex);
    if (auto it = byName->find(name); it != byName->end()) {
        return it->second;
    }
    CGFontRef font;
    const auto alias = std::find_if(std::begin(kAliases), std::end(kAliases),
                                    [&](const Alias& a) { return name == a.name; });
    std::pair<std::string, int> key;
    if (alias != std::end(kAliases)) {
        key = {std::string(alias->directory) + alias->file, 0};
        if (auto it = byFile->find(key); it != byFile->end()) {
            font = it->second;
        } else {
            font = createWithFile(key.first, key.second);
        }
    } else {
        font = installedFontNamed(name);
        if (font) {
            key = {font->path(), font->faceIndex()};
            if (auto it = byFile->find(key); it != byFile->end()) {
                font = it->second;  // one object per face, whichever name reached it
            }
        }
    }
    if (font) {
        byFile->emplace(key, font);
    }
    byName->emplace(name, font);
    return font;
}

std::string CGFont::systemFamilyNameForFontName(const std::string& name)
{
    for (const Alias& alias : kAliases) {
        if (name == alias.name) {
            return alias.family;
        }
    }
    return "";
}

std::vector<std::string> CGFont::systemFontNames()
{
    std::vector<std::string> names;
    for (const Alias& alias : kAliases) {
        names.emplace_back(alias.name);
    }
    return names;
}

CGFontRef CGFont::fallbackFont()
{
    static const auto* font = new CGFontRef(createWithFontName("STHeitiSC-Light"));
    return *font;
}

CGFontRef CGFont::boldFallbackFont()
{
    static const auto* font = new CGFontRef([]() -> CGFontRef {
        const CGFontRef light = fallbackFont();
        if (!light || light->path().empty()) {
            return light;
        }
        auto bold = std::const_pointer_cast<CGFont>(createWithFile(light->path(), light->faceIndex()));
        if (bold) {
            bold->syntheticBold_ = true;
        }
        return bold;
    }());
    return *font;
}

CGGlyph CGFont::glyphForCharacter(char32_t c) const
{
    std::lock_guard lock(mutex_);
    if (auto it = glyphCache_.find(c); it != glyphCache_.end()) {
        return it->second;
    }
    const FT_UInt index = FT_Get_Char_Index(face_->face, c);
    const CGGlyph glyph = index <= 0xFFFF ? CGGlyph(index) : 0;
    glyphCache_.emplace(c, glyph);
    return glyph;
}

int CGFont::advanceForGlyph(CGGlyph glyph) const
{
    std::lock_guard lock(mutex_);
    if (auto it = advanceCache_.find(glyph); it != advanceCache_.end()) {
        return it->second;
    }
    FT_Fixed advance = 0;
    if (glyph >= numGlyphs_ || FT_Get_Advance(face_->face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) {
        advance = 0;
    }
    advanceCache_.emplace(glyph, int(advance));
    return int(advance);
}

bool CGFont::getGlyphAdvances(const CGGlyph* glyphs, size_t count, int* advances) const
{
    bool all = true;
    for (size_t i = 0; i < count; ++i) {
        if (glyphs[i] >= numGlyphs_) {
            all = false;
            advances[i] = 0;
        } else {
            advances[i] = advanceForGlyph(glyphs[i]);
        }
    }
    return all;
}

std::optional<std::vector<uint8_t>> CGFont::copyTableForTag(uint32_t tag) const
{
    std::lock_guard lock(mutex_);
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face_->face, tag, 0, nullptr, &length) != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(length);
    if (length > 0 && FT_Load_Sfnt_Table(face_->face, tag, 0, bytes.data(), &length) != 0) {
        return std::nullopt;
    }
    return bytes;
}

bool CGFont::hasTableForTag(uint32_t tag) const
{
    // FreeType leaves out of its directory a table that runs past the end of the file, so the
    // file's own table directory is read: the font's header, or the header of its face in a
    // collection.
    const auto readAt = [this](uint64_t offset, size_t length, uint8_t* out) {
        if (!face_->bytes.empty()) {
            if (offset > face_->bytes.size() || length > face_->bytes.size() - offset) {
                return false;
            }
            std::copy_n(face_->bytes.begin() + long(offset), length, out);
            return true;
        }
        std::ifstream file(path_, std::ios::binary);
        file.seekg(std::streamoff(offset));
        return bool(file.read(reinterpret_cast<char*>(out), std::streamsize(length)));
    };
    const auto u32 = [](const uint8_t* b) { return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]; };
    uint8_t header[12];
    if (!readAt(0, sizeof header, header)) {
        return false;
    }
    uint64_t directory = 0;
    if (u32(header) == CGFontTableTag('t', 't', 'c', 'f')) {
        uint8_t offset[4];
        if (faceIndex_ < 0 || uint32_t(faceIndex_) >= u32(header + 8) || !readAt(12 + 4 * uint64_t(faceIndex_), 4, offset) ||
            !readAt(u32(offset), sizeof header, header)) {
            return false;
        }
        directory = u32(offset);
    }
    const unsigned tables = (unsigned(header[4]) << 8) | header[5];
    std::vector<uint8_t> records(16 * size_t(tables));
    if (tables == 0 || !readAt(directory + 12, records.size(), records.data())) {
        return false;
    }
    for (unsigned i = 0; i < tables; ++i) {
        if (u32(&records[16 * size_t(i)]) == tag) {
            return true;
        }
    }
    return false;
}

namespace {
namespace CGFont_cpp {

// The FreeType face cairo draws with; released when cairo lets go of the font face (it may keep it
// in its caches after the CGFont is gone).
struct DrawingFace {
    FT_Face face = nullptr;
    std::shared_ptr<const std::vector<uint8_t>> bytes;  // memory fonts: FreeType reads them in place
};

const cairo_user_data_key_t kDrawingFaceKey{};

void releaseDrawingFace(void* data)
{
    auto* drawing = static_cast<DrawingFace*>(data);
    {
        std::lock_guard lock(library().mutex);
        FT_Done_Face(drawing->face);
    }
    delete drawing;
}

}  // namespace CGFont_cpp
}  // namespace

void* CGFont::cairoFontFace() const
{
    std::call_once(cairoOnce_, [this] {
        auto drawing = std::make_unique<CGFont_cpp::DrawingFace>();
        {
            std::lock_guard lock(library().mutex);
            if (library().library == nullptr) {
                return;
            }
            FT_Error error = 0;
            if (!path_.empty()) {
                error = FT_New_Face(library().library, path_.c_str(), faceIndex_, &drawing->face);
            } else {
                drawing->bytes = std::make_shared<const std::vector<uint8_t>>(face_->bytes);
                error = FT_New_Memory_Face(library().library, drawing->bytes->data(),
                                           FT_Long(drawing->bytes->size()), faceIndex_, &drawing->face);
            }
            if (error != 0) {
                return;
            }
        }
        cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(drawing->face, FT_LOAD_NO_HINTING);
        if (syntheticBold_) {
            cairo_ft_font_face_set_synthesize(face, CAIRO_FT_SYNTHESIZE_BOLD);
        }
        if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS ||
            cairo_font_face_set_user_data(face, &CGFont_cpp::kDrawingFaceKey, drawing.get(),
                                          CGFont_cpp::releaseDrawingFace) != CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(face);
            std::lock_guard lock(library().mutex);
            FT_Done_Face(drawing->face);
            return;
        }
        drawing.release();
        cairoFace_ = face;
    });
    return cairoFace_;
}

CGFontRef CGFontCreateWithFontName(const std::string& name) { return CGFont::createWithFontName(name); }
int CGFontGetUnitsPerEm(const CGFontRef& font) { return font ? font->unitsPerEm() : 0; }
int CGFontGetAscent(const CGFontRef& font) { return font ? font->ascent() : 0; }
int CGFontGetDescent(const CGFontRef& font) { return font ? font->descent() : 0; }
int CGFontGetLeading(const CGFontRef& font) { return font ? font->leading() : 0; }
int CGFontGetCapHeight(const CGFontRef& font) { return font ? font->capHeight() : 0; }
int CGFontGetXHeight(const CGFontRef& font) { return font ? font->xHeight() : 0; }
size_t CGFontGetNumberOfGlyphs(const CGFontRef& font) { return font ? font->numberOfGlyphs() : 0; }
bool CGFontGetGlyphAdvances(const CGFontRef& font, const CGGlyph* glyphs, size_t count, int* advances)
{
    if (!font) {
        std::fill(advances, advances + count, 0);
        return false;
    }
    return font->getGlyphAdvances(glyphs, count, advances);
}
std::optional<std::vector<uint8_t>> CGFontCopyTableForTag(const CGFontRef& font, uint32_t tag)
{
    return font ? font->copyTableForTag(tag) : std::nullopt;
}
bool CGFontHasTableForTag(const CGFontRef& font, uint32_t tag) { return font && font->hasTableForTag(tag); }
std::string CGFontCopyPostScriptName(const CGFontRef& font) { return font ? font->postScriptName() : ""; }
std::string CGFontCopyFullName(const CGFontRef& font) { return font ? font->fullName() : ""; }
