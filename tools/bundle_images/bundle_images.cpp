// bundle_images DIR: draws the application's bundle images into DIR as NAME.png (scale 1) and
// NAME@2x.png (scale 2), in one simple style: flat colours in the edition's tint, rounded shapes,
// plain text. Run it after changing a picture here and commit the files it writes to resources/.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {
namespace bundle_images_cpp {

constexpr double kPi = std::numbers::pi;

struct Colour {
    double r, g, b, a = 1;
};

// The palette: the edition's blue tint, its dark and light forms, and neutrals.
constexpr Colour kTint{0.16, 0.44, 0.76};
constexpr Colour kTintDark{0.10, 0.27, 0.48};
constexpr Colour kTintLight{0.62, 0.77, 0.93};
constexpr Colour kWhite{1, 1, 1};
constexpr Colour kPaper{0.97, 0.95, 0.90};
constexpr Colour kSand{0.93, 0.89, 0.80};
constexpr Colour kGrey{0.62, 0.64, 0.67};
constexpr Colour kGreyLight{0.86, 0.87, 0.88};
constexpr Colour kInk{0.20, 0.22, 0.25};
constexpr Colour kRed{0.84, 0.22, 0.20};
constexpr Colour kGreen{0.24, 0.66, 0.36};
constexpr Colour kOrange{0.96, 0.58, 0.16};

void set(cairo_t* cr, Colour c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void rounded(cairo_t* cr, double x, double y, double w, double h, double r)
{
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

void fillRounded(cairo_t* cr, double x, double y, double w, double h, double r, Colour c)
{
    rounded(cr, x, y, w, h, r);
    set(cr, c);
    cairo_fill(cr);
}

void fillRect(cairo_t* cr, double x, double y, double w, double h, Colour c)
{
    cairo_rectangle(cr, x, y, w, h);
    set(cr, c);
    cairo_fill(cr);
}

void circle(cairo_t* cr, double cx, double cy, double r, Colour c)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    set(cr, c);
    cairo_fill(cr);
}

void stroke(cairo_t* cr, Colour c, double width)
{
    set(cr, c);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

// Text centred in the box (DejaVu for Latin, WenQuanYi for Chinese, through fontconfig).
void text(cairo_t* cr, const std::string& s, double x, double y, double w, double h, double size, Colour c,
          bool bold = true)
{
    cairo_select_font_face(cr, "WenQuanYi Micro Hei", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x + (w - e.width) / 2 - e.x_bearing, y + (h - e.height) / 2 - e.y_bearing);
    set(cr, c);
    cairo_show_text(cr, s.c_str());
}

// A person: head and shoulders.
void person(cairo_t* cr, double cx, double cy, double size, Colour c)
{
    circle(cr, cx, cy - size * 0.18, size * 0.2, c);
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy + size * 0.42, size * 0.34, kPi, 2 * kPi);
    cairo_close_path(cr);
    set(cr, c);
    cairo_fill(cr);
}

void playTriangle(cairo_t* cr, double cx, double cy, double size, Colour c)
{
    cairo_move_to(cr, cx - size * 0.35, cy - size * 0.45);
    cairo_line_to(cr, cx + size * 0.5, cy);
    cairo_line_to(cr, cx - size * 0.35, cy + size * 0.45);
    cairo_close_path(cr);
    set(cr, c);
    cairo_fill(cr);
}

void arrowLeft(cairo_t* cr, double cx, double cy, double size, Colour c, double width)
{
    cairo_move_to(cr, cx + size * 0.25, cy - size * 0.45);
    cairo_line_to(cr, cx - size * 0.25, cy);
    cairo_line_to(cr, cx + size * 0.25, cy + size * 0.45);
    stroke(cr, c, width);
}

void face(cairo_t* cr, double size, Colour colour, double mouth)
{
    const double r = size / 2 - 0.5;
    circle(cr, size / 2, size / 2, r, colour);
    circle(cr, size * 0.35, size * 0.4, size * 0.07, kInk);
    circle(cr, size * 0.65, size * 0.4, size * 0.07, kInk);
    // mouth: > 0 smiles, < 0 frowns
    cairo_move_to(cr, size * 0.3, size * 0.64);
    cairo_curve_to(cr, size * 0.4, size * (0.64 + mouth * 0.12), size * 0.6, size * (0.64 + mouth * 0.12), size * 0.7,
                   size * 0.64);
    stroke(cr, kInk, size * 0.07);
}

struct Picture {
    std::string name;
    int width, height;  // points
    std::function<void(cairo_t*, double w, double h)> draw;
};

// ---- The recording and review screens -------------------------------------------------------------

// A colour as one filter look shows it.
using Look = std::function<Colour(Colour)>;

Colour grey(Colour c)
{
    const double y = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
    return {y, y, y, c.a};
}

// The small scene every filter button shows (sky, sun, hills, a house), in a look.
void scene(cairo_t* cr, double w, double h, const Look& look)
{
    fillRect(cr, 0, 0, w, h, look({0.45, 0.70, 0.93}));
    circle(cr, w * 0.74, h * 0.28, h * 0.13, look({1.0, 0.80, 0.25}));
    cairo_move_to(cr, 0, h * 0.72);
    cairo_curve_to(cr, w * 0.25, h * 0.45, w * 0.5, h * 0.55, w * 0.62, h * 0.66);
    cairo_curve_to(cr, w * 0.78, h * 0.52, w * 0.9, h * 0.55, w, h * 0.62);
    cairo_line_to(cr, w, h);
    cairo_line_to(cr, 0, h);
    cairo_close_path(cr);
    set(cr, look({0.30, 0.62, 0.30}));
    cairo_fill(cr);
    fillRect(cr, w * 0.18, h * 0.56, w * 0.2, h * 0.2, look({0.90, 0.35, 0.25}));
    cairo_move_to(cr, w * 0.15, h * 0.57);
    cairo_line_to(cr, w * 0.28, h * 0.44);
    cairo_line_to(cr, w * 0.41, h * 0.57);
    cairo_close_path(cr);
    set(cr, look({0.55, 0.25, 0.18}));
    cairo_fill(cr);
}

// The scene's outlines only, for the edge looks.
void sceneOutline(cairo_t* cr, double w, double h, Colour line, double width)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, w * 0.74, h * 0.28, h * 0.13, 0, 2 * kPi);
    cairo_move_to(cr, 0, h * 0.72);
    cairo_curve_to(cr, w * 0.25, h * 0.45, w * 0.5, h * 0.55, w * 0.62, h * 0.66);
    cairo_curve_to(cr, w * 0.78, h * 0.52, w * 0.9, h * 0.55, w, h * 0.62);
    cairo_rectangle(cr, w * 0.18, h * 0.57, w * 0.2, h * 0.19);
    cairo_move_to(cr, w * 0.15, h * 0.57);
    cairo_line_to(cr, w * 0.28, h * 0.44);
    cairo_line_to(cr, w * 0.41, h * 0.57);
    stroke(cr, line, width);
}

// A filter button: the scene in the filter's look above its name.
Picture filterIcon(std::string name, std::string label, std::function<void(cairo_t*, double, double)> picture)
{
    return {std::move(name), 62, 62, [label, picture](cairo_t* cr, double w, double h) {
        rounded(cr, 4, 4, w - 8, h - 8, 6);
        cairo_save(cr);
        cairo_clip(cr);
        cairo_translate(cr, 4, 4);
        picture(cr, w - 8, h - 8);
        cairo_restore(cr);
        fillRect(cr, 4, h - 19, w - 8, 15, {0, 0, 0, 0.55});
        text(cr, label, 4, h - 19, w - 8, 15, 10, kWhite, false);
        rounded(cr, 4.5, 4.5, w - 9, h - 9, 6);
        stroke(cr, {1, 1, 1, 0.85}, 1);
    }};
}

void addCapturePictures(std::vector<Picture>& out)
{
    // Top controls: camera switch and torch, light on dark glass, brighter when pressed.
    for (bool pressed : {false, true}) {
        const Colour glass{0, 0, 0, pressed ? 0.65 : 0.4};
        const Colour ink = pressed ? kTintLight : kWhite;
        out.push_back({pressed ? "capture-flip-passed" : "capture-flip", 70, 30, [glass, ink](cairo_t* cr, double w, double h) {
            fillRounded(cr, 0.5, 0.5, w - 1, h - 1, h / 2, glass);
            // a camera body with two turning arrows
            fillRounded(cr, w / 2 - 12, h / 2 - 7, 24, 15, 3, ink);
            fillRect(cr, w / 2 - 5, h / 2 - 10, 10, 4, ink);
            circle(cr, w / 2, h / 2 + 0.5, 4.5, glass);
            cairo_new_sub_path(cr);
            cairo_arc(cr, w / 2, h / 2, 20, kPi * 0.8, kPi * 1.2);
            stroke(cr, ink, 2);
            cairo_new_sub_path(cr);
            cairo_arc(cr, w / 2, h / 2, 20, -kPi * 0.2, kPi * 0.2);
            stroke(cr, ink, 2);
        }});
        for (bool on : {false, true}) {
            const std::string name = std::string("capture-flash-") + (on ? "on" : "off") + (pressed ? "-passed" : "");
            out.push_back({name, 39, 32, [glass, ink, on](cairo_t* cr, double w, double h) {
                fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 8, glass);
                cairo_move_to(cr, w * 0.56, h * 0.12);
                cairo_line_to(cr, w * 0.3, h * 0.55);
                cairo_line_to(cr, w * 0.5, h * 0.55);
                cairo_line_to(cr, w * 0.42, h * 0.88);
                cairo_line_to(cr, w * 0.72, h * 0.42);
                cairo_line_to(cr, w * 0.52, h * 0.42);
                cairo_close_path(cr);
                set(cr, on ? Colour{1.0, 0.82, 0.2} : ink);
                cairo_fill(cr);
                if (!on) {
                    cairo_move_to(cr, w * 0.2, h * 0.15);
                    cairo_line_to(cr, w * 0.8, h * 0.85);
                    stroke(cr, kRed, 2);
                }
            }});
        }
    }
    out.push_back({"capture-lens", 75, 32, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 8, {1, 1, 1, 0.85});
        for (auto [dx, c] : {std::pair{-4.0, kRed}, std::pair{0.0, kGreen}, std::pair{4.0, kTint}}) {
            circle(cr, 16 + dx, h / 2 + (dx == 0 ? -3 : 2), 6, {c.r, c.g, c.b, 0.7});
        }
        text(cr, "滤镜", 28, 0, w - 32, h, 13, kInk);
    }});
    // Filter buttons.
    auto look = [](Look l) { return [l](cairo_t* cr, double w, double h) { scene(cr, w, h, l); }; };
    out.push_back(filterIcon("filter-original", "原图", look([](Colour c) { return c; })));
    out.push_back(filterIcon("filter-blakWhite", "黑白", look(grey)));
    out.push_back(filterIcon("filter-oldFilm", "老电影", [](cairo_t* cr, double w, double h) {
        scene(cr, w, h, [](Colour c) {
            const Colour g = grey(c);
            return Colour{std::min(1.0, g.r * 1.07 + 0.08), g.g * 0.9 + 0.03, g.b * 0.7, 1};
        });
        for (double x : {w * 0.3, w * 0.55, w * 0.82}) {
            cairo_move_to(cr, x, 0);
            cairo_line_to(cr, x - 2, h);
        }
        stroke(cr, {1, 1, 1, 0.35}, 0.6);
    }));
    out.push_back(filterIcon("filter-antiColor", "反色", look([](Colour c) { return Colour{1 - c.r, 1 - c.g, 1 - c.b, 1}; })));
    out.push_back(filterIcon("filter-radial", "光晕", [](cairo_t* cr, double w, double h) {
        scene(cr, w, h, [](Colour c) { return c; });
        cairo_pattern_t* p = cairo_pattern_create_radial(w / 2, h / 2, w * 0.2, w / 2, h / 2, w * 0.75);
        cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, 0);
        cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 0.8);
        cairo_set_source(cr, p);
        cairo_paint(cr);
        cairo_pattern_destroy(p);
    }));
    out.push_back(filterIcon("filter-pro", "专业", look([](Colour c) {
        auto push = [](double v) { return std::clamp((v - 0.5) * 1.6 + 0.5, 0.0, 1.0); };
        return Colour{push(c.r), push(c.g), push(c.b), 1};
    })));
    out.push_back(filterIcon("filter-edge", "边缘", [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, {0.05, 0.05, 0.08});
        sceneOutline(cr, w, h, kWhite, 1.4);
    }));
    out.push_back(filterIcon("filter-sketch", "素描", [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, {0.98, 0.98, 0.96});
        sceneOutline(cr, w, h, kInk, 1.4);
    }));
    out.push_back(filterIcon("filter-toon", "卡通", [](cairo_t* cr, double w, double h) {
        scene(cr, w, h, [](Colour c) {
            auto step = [](double v) { return std::round(v * 3) / 3; };
            return Colour{step(c.r), step(c.g), step(c.b), 1};
        });
        sceneOutline(cr, w, h, {0, 0, 0}, 1.6);
    }));
    out.push_back(filterIcon("filter-sobeledge", "浮雕", [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, {0.12, 0.1, 0.2});
        sceneOutline(cr, w, h, {0.55, 0.95, 0.8}, 1.4);
    }));
    out.push_back(filterIcon("filter-8bit", "8bit", [](cairo_t* cr, double w, double h) {
        scene(cr, w, h, [](Colour c) { return c; });
        const double cell = w / 9;
        for (double y = 0; y < h; y += cell) {
            for (double x = 0; x < w; x += cell) {
                fillRect(cr, x, y, cell, 0.6, {0, 0, 0, 0.25});
                fillRect(cr, x, y, 0.6, cell, {0, 0, 0, 0.25});
            }
        }
    }));
    out.push_back(filterIcon("filter-more", "更多", [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kTint);
        cairo_move_to(cr, w / 2, h * 0.18);
        cairo_line_to(cr, w / 2, h * 0.58);
        cairo_move_to(cr, w * 0.3, h * 0.38);
        cairo_line_to(cr, w * 0.7, h * 0.38);
        stroke(cr, kWhite, 4);
    }));
    // The selected filter's frame.
    out.push_back({"filter-bg", 62, 62, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 8, kOrange);
    }});
    // The bottom bar and its buttons.
    out.push_back({"capture-bar-bg", 320, 53, [](cairo_t* cr, double w, double h) {
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.22, 0.23, 0.26);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.08, 0.08, 0.10);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        fillRect(cr, 0, 0, w, 1, {1, 1, 1, 0.18});
    }});
    for (bool pressed : {false, true}) {
        out.push_back({pressed ? "capture-button-passed" : "capture-button", 96, 44, [pressed](cairo_t* cr, double w, double h) {
            fillRounded(cr, 0.5, 0.5, w - 1, h - 1, h / 2, pressed ? Colour{0.55, 0.12, 0.12} : kWhite);
            rounded(cr, 2, 2, w - 4, h - 4, h / 2 - 1.5);
            stroke(cr, pressed ? kRed : kGreyLight, 2);
        }});
        out.push_back({pressed ? "capture-review-accept-passed" : "capture-review-accept", 96, 44, [pressed](cairo_t* cr, double w, double h) {
            fillRounded(cr, 0.5, 0.5, w - 1, h - 1, h / 2, pressed ? kTintDark : kGreen);
            cairo_move_to(cr, w / 2 - 11, h / 2);
            cairo_line_to(cr, w / 2 - 3, h / 2 + 8);
            cairo_line_to(cr, w / 2 + 12, h / 2 - 9);
            stroke(cr, kWhite, 4);
        }});
    }
    // The mark inside the record button: a movie camera, red and grey while it records.
    const std::pair<const char*, Colour> marks[] = {
        {"capture-button-video", kRed}, {"capture-button-video-record", kRed}, {"capture-button-video-gray", kGrey}};
    for (const auto& [name, colour] : marks) {
        const bool dot = std::string(name) != "capture-button-video";
        out.push_back({name, 35, 35, [colour, dot](cairo_t* cr, double w, double h) {
            if (dot) {
                circle(cr, w / 2, h / 2, w * 0.34, colour);
                return;
            }
            fillRounded(cr, w * 0.14, h * 0.3, w * 0.48, h * 0.4, 3, colour);
            cairo_move_to(cr, w * 0.64, h * 0.5);
            cairo_line_to(cr, w * 0.88, h * 0.32);
            cairo_line_to(cr, w * 0.88, h * 0.68);
            cairo_close_path(cr);
            set(cr, colour);
            cairo_fill(cr);
        }});
    }
    out.push_back({"capture-review-reject", 39, 53, [](cairo_t* cr, double w, double h) {
        cairo_move_to(cr, w / 2 - 8, h / 2 - 8);
        cairo_line_to(cr, w / 2 + 8, h / 2 + 8);
        cairo_move_to(cr, w / 2 + 8, h / 2 - 8);
        cairo_line_to(cr, w / 2 - 8, h / 2 + 8);
        stroke(cr, kWhite, 3);
    }});
    out.push_back({"Live", 34, 15, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 3, kRed);
        text(cr, "LIVE", 0, 0, w, h, 9.5, kWhite);
    }});
    out.push_back({"focussquare-small", 70, 70, [](cairo_t* cr, double w, double h) {
        cairo_rectangle(cr, 1.5, 1.5, w - 3, h - 3);
        stroke(cr, {1.0, 0.82, 0.2}, 2);
        for (auto [x1, y1, x2, y2] : {std::tuple{w / 2, 1.5, w / 2, 8.0}, {w / 2, h - 1.5, w / 2, h - 8},
                                      {1.5, h / 2, 8.0, h / 2}, {w - 1.5, h / 2, w - 8, h / 2}}) {
            cairo_move_to(cr, x1, y1);
            cairo_line_to(cr, x2, y2);
        }
        stroke(cr, {1.0, 0.82, 0.2}, 2);
    }});
}

// The publish screen and its pickers.
void addPublishPictures(std::vector<Picture>& out)
{
    // The speech bubble behind the title: stretched with caps 20 (left) and 40 (top); its tail points
    // left at the avatar.
    out.push_back({"share-message-bg", 44, 64, [](cairo_t* cr, double w, double h) {
        rounded(cr, 8, 1, w - 9, h - 2, 8);
        cairo_move_to(cr, 8.5, 16);
        cairo_line_to(cr, 1, 24);
        cairo_line_to(cr, 8.5, 30);
        cairo_close_path(cr);
        set(cr, kWhite);
        cairo_fill_preserve(cr);
        stroke(cr, kGreyLight, 1);
        fillRect(cr, 8.5, 16.5, 1.5, 13, kWhite);
    }});
    out.push_back({"topic", 21, 20, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 4, kTint);
        text(cr, "#", 0, 0, w, h, 14, kWhite);
    }});
    out.push_back({"done-button-bg", 52, 31, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 6, kTintDark);
        fillRounded(cr, 1.5, 1.5, w - 3, h - 3, 5, kTint);
        fillRounded(cr, 2, 2, w - 4, (h - 4) / 2, 4, {1, 1, 1, 0.12});
    }});
    // The arrow-shaped back button: the publish screen's and the registration's (a label on it).
    for (const char* name : {"share-back-button", "back-button"}) {
        out.push_back({name, 52, 31, [](cairo_t* cr, double w, double h) {
            auto shape = [&](double inset, double r) {
                cairo_new_path(cr);
                cairo_move_to(cr, inset + 10, inset);
                cairo_arc(cr, w - inset - r, inset + r, r, -kPi / 2, 0);
                cairo_arc(cr, w - inset - r, h - inset - r, r, 0, kPi / 2);
                cairo_line_to(cr, inset + 10, h - inset);
                cairo_line_to(cr, inset, h / 2);
                cairo_close_path(cr);
            };
            shape(0.5, 6);
            set(cr, kTintDark);
            cairo_fill(cr);
            shape(1.5, 5);
            set(cr, {0.22, 0.36, 0.55});
            cairo_fill(cr);
        }});
    }
    out.push_back({"at-somebody", 28, 28, [](cairo_t* cr, double w, double h) {
        circle(cr, w / 2, h / 2, w / 2 - 0.5, kGreyLight);
        text(cr, "@", 0, 0, w, h, 16, kGrey);
    }});
    // A chosen friend's chip: stretched with a left cap of 20.
    out.push_back({"friends-selected-button", 44, 25, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 12, kTintDark);
        fillRounded(cr, 1.5, 1.5, w - 3, h - 3, 11, kTint);
    }});
    // The sharing toggles behind the services' icons: off is a pale tile, on a tinted one with a tick.
    // The share dialog's targets: whether one is chosen (a ring, or a filled ring with a check), and
    // each target's mark.
    out.push_back({"share-toggle-off", 24, 24, [](cairo_t* cr, double w, double h) {
        cairo_arc(cr, w / 2, h / 2, w / 2 - 1.5, 0, 2 * kPi);
        stroke(cr, kGrey, 1.5);
    }});
    out.push_back({"share-toggle-on", 24, 24, [](cairo_t* cr, double w, double h) {
        circle(cr, w / 2, h / 2, w / 2 - 0.5, kTint);
        cairo_move_to(cr, w * 0.28, h * 0.52);
        cairo_line_to(cr, w * 0.44, h * 0.68);
        cairo_line_to(cr, w * 0.74, h * 0.34);
        stroke(cr, kWhite, 2.2);
    }});
    out.push_back({"share-target-repost", 28, 28, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kTint);
        playTriangle(cr, w / 2 + 1, h / 2, h * 0.5, kWhite);
    }});
    out.push_back({"share-target-lumo", 28, 28, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kOrange);
        circle(cr, w * 0.46, h * 0.56, w * 0.26, kWhite);
        circle(cr, w * 0.46, h * 0.56, w * 0.1, kOrange);
        cairo_arc(cr, w * 0.7, h * 0.3, w * 0.14, -kPi / 2, 0);
        stroke(cr, kWhite, 1.8);
    }});
    out.push_back({"share-target-qq", 28, 28, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, {0.13, 0.55, 0.85});
        cairo_save(cr);
        cairo_translate(cr, w / 2, h * 0.46);
        cairo_scale(cr, 1, 1.15);
        cairo_arc(cr, 0, 0, w * 0.24, 0, 2 * kPi);
        cairo_restore(cr);
        set(cr, kWhite);
        cairo_fill(cr);
        fillRounded(cr, w * 0.22, h * 0.66, w * 0.56, h * 0.14, 3, kWhite);
    }});
    out.push_back({"share-target-mail", 28, 28, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, {0.45, 0.50, 0.58});
        fillRounded(cr, w * 0.18, h * 0.28, w * 0.64, h * 0.44, 2, kWhite);
        cairo_move_to(cr, w * 0.2, h * 0.31);
        cairo_line_to(cr, w / 2, h * 0.53);
        cairo_line_to(cr, w * 0.8, h * 0.31);
        stroke(cr, {0.45, 0.50, 0.58}, 1.4);
    }});
    out.push_back({"share-target-sms", 28, 28, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kGreen);
        fillRounded(cr, w * 0.18, h * 0.22, w * 0.64, h * 0.42, 6, kWhite);
        cairo_move_to(cr, w * 0.32, h * 0.6);
        cairo_line_to(cr, w * 0.28, h * 0.78);
        cairo_line_to(cr, w * 0.48, h * 0.62);
        cairo_close_path(cr);
        set(cr, kWhite);
        cairo_fill(cr);
    }});
}

std::vector<Picture> pictures()
{
    std::vector<Picture> out;
    // Backgrounds and patterns (tiles).
    // The shared background of the menu, the follow and fans panel, the share dialog and people's
    // pages: the menu rows' charcoal with a faint plaid, so the dark panels run on without a seam.
    out.push_back({"plaid-bg", 40, 40, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, {0.14, 0.15, 0.17});
        fillRect(cr, 0, 16, w, 8, {1, 1, 1, 0.025});
        fillRect(cr, 16, 0, 8, h, {1, 1, 1, 0.025});
        fillRect(cr, 0, 19, w, 2, {0, 0, 0, 0.12});
        fillRect(cr, 19, 0, 2, h, {0, 0, 0, 0.12});
    }});
    out.push_back({"cell_bkg", 40, 40, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kSand);
        for (double x = -h; x < w; x += 8) {
            cairo_move_to(cr, x, h);
            cairo_line_to(cr, x + h, 0);
        }
        stroke(cr, {1, 1, 1, 0.35}, 1);
    }});
    out.push_back({"navbar-pattern-bg", 320, 44, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kTintDark);
        for (double x = -h; x < w; x += 12) {
            cairo_move_to(cr, x, h);
            cairo_line_to(cr, x + h, 0);
        }
        stroke(cr, {1, 1, 1, 0.08}, 4);
        fillRect(cr, 0, 0, w, 1, {1, 1, 1, 0.25});
        fillRect(cr, 0, h - 1, w, 1, {0, 0, 0, 0.4});
    }});
    out.push_back({"cloud", 320, 480, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kTintLight);
        for (auto [x, y, r] : {std::tuple{70.0, 120.0, 40.0}, {230.0, 220.0, 55.0}, {120.0, 360.0, 45.0}}) {
            circle(cr, x, y, r, {1, 1, 1, 0.8});
            circle(cr, x + r * 0.8, y + r * 0.2, r * 0.7, {1, 1, 1, 0.8});
            circle(cr, x - r * 0.8, y + r * 0.25, r * 0.6, {1, 1, 1, 0.8});
        }
    }});
    out.push_back({"default_cover", 320, 160, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kTint);
        for (double x = 0; x < w; x += 40) {
            circle(cr, x + 20, h * 0.75, 30, {1, 1, 1, 0.08});
        }
    }});
    // Placeholders.
    out.push_back({"missing-video-thumb", 80, 60, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kGreyLight);
        circle(cr, w / 2, h / 2, h * 0.28, {1, 1, 1, 0.9});
        playTriangle(cr, w / 2 + 2, h / 2, h * 0.25, kGrey);
    }});
    out.push_back({"missing-avatar", 60, 60, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kGreyLight);
        person(cr, w / 2, h / 2, w * 0.8, kGrey);
    }});
    out.push_back({"white-user-icon-overlay", 60, 60, [](cairo_t* cr, double w, double h) {
        rounded(cr, 1.5, 1.5, w - 3, h - 3, 5);
        stroke(cr, kWhite, 3);
    }});
    out.push_back({"round_head_small", 30, 30, [](cairo_t* cr, double w, double h) {
        cairo_arc(cr, w / 2, h / 2, w / 2 - 1.5, 0, 2 * kPi);
        stroke(cr, kWhite, 2);
    }});
    out.push_back({"feed-cover-large-user-icon-frame", 70, 70, [](cairo_t* cr, double w, double h) {
        rounded(cr, 2, 2, w - 4, h - 4, 6);
        stroke(cr, kWhite, 4);
    }});
    // The play button over a cover: 50 x 50, the size of the button it is the background of.
    out.push_back({"video-thumbnail-overaly", 50, 50, [](cairo_t* cr, double w, double h) {
        circle(cr, w / 2, h / 2, w / 2 - 1, {0, 0, 0, 0.45});
        cairo_arc(cr, w / 2, h / 2, w / 2 - 1.5, 0, 2 * kPi);
        stroke(cr, {1, 1, 1, 0.85}, 1.5);
        playTriangle(cr, w / 2 + 2, h / 2, 22, kWhite);
    }});
    out.push_back({"activity-photo-frame", 16, 16, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 3, kWhite);
        rounded(cr, 0.5, 0.5, w - 1, h - 1, 3);
        stroke(cr, kGrey, 1);
    }});
    // Emotion marks 1 to 5: from very glad to cross, in five colours.
    const Colour emotions[] = {kOrange, kGreen, kTintLight, kGrey, kRed};
    const double mouths[] = {1, 0.5, 0, -0.5, -1};
    for (int i = 0; i < 5; ++i) {
        out.push_back({"emotion" + std::to_string(i + 1), 18, 18, [c = emotions[i], m = mouths[i]](cairo_t* cr, double w, double) {
            face(cr, w, c, m);
        }});
    }
    // The inline player: the viewer's mark before one is given, the heat tag, the deleted-video mark.
    out.push_back({"emotion0", 18, 18, [](cairo_t* cr, double w, double) {
        circle(cr, w / 2, w / 2, w / 2 - 1.5, {1, 1, 1, 0.25});
        cairo_arc(cr, w / 2, w / 2, w / 2 - 1.5, 0, 2 * kPi);
        stroke(cr, kWhite, 1.2);
        circle(cr, w * 0.36, w * 0.42, w * 0.06, kWhite);
        circle(cr, w * 0.64, w * 0.42, w * 0.06, kWhite);
        cairo_move_to(cr, w * 0.34, w * 0.66);
        cairo_line_to(cr, w * 0.66, w * 0.66);
        stroke(cr, kWhite, 1.2);
    }});
    out.push_back({"tag-emotion", 44, 27, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 1, 2, w - 2, h - 4, 6, {0, 0, 0, 0.55});
    }});
    out.push_back({"video_deleted", 90, 60, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 20, 4, 50, 32, 5, kGrey);
        playTriangle(cr, 45, 20, 18, kWhite);
        cairo_move_to(cr, 22, 6);
        cairo_line_to(cr, 68, 34);
        stroke(cr, kRed, 3);
        text(cr, "视频已删除", 0, 40, w, 18, 12, kInk);
    }});
    // The full-screen movie player's controls.
    out.push_back({"player-view-button", 30, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 6, {0, 0, 0, 0.5});
        cairo_rectangle(cr, 8, 9, w - 16, h - 18);
        stroke(cr, kWhite, 1.5);
        cairo_move_to(cr, 5, 12);
        cairo_line_to(cr, 5, 5);
        cairo_line_to(cr, 12, 5);
        cairo_move_to(cr, w - 5, h - 12);
        cairo_line_to(cr, w - 5, h - 5);
        cairo_line_to(cr, w - 12, h - 5);
        stroke(cr, kWhite, 1.5);
    }});
    out.push_back({"snap-icon", 20, 20, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 1, 5, w - 2, h - 7, 3, kWhite);
        fillRect(cr, 6, 3, 8, 3, kWhite);
        circle(cr, w / 2, 12, 4, kInk);
        circle(cr, w / 2, 12, 2.2, kWhite);
    }});
    out.push_back({"player-done-button", 50, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 6, {0.1, 0.1, 0.12, 0.75});
        rounded(cr, 0.5, 0.5, w - 1, h - 1, 6);
        stroke(cr, {1, 1, 1, 0.6}, 1);
    }});
    // The full-screen player's control bar: an opaque backing, so the controls read over any picture.
    out.push_back({"player-scrubber-bg", 8, 40, [](cairo_t* cr, double w, double h) {
        cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, 0, h);
        cairo_pattern_add_color_stop_rgba(shade, 0, 0.28, 0.29, 0.32, 1);
        cairo_pattern_add_color_stop_rgba(shade, 1, 0.05, 0.05, 0.06, 1);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_set_source(cr, shade);
        cairo_fill(cr);
        cairo_pattern_destroy(shade);
    }});
    out.push_back({"icon-play", 20, 20, [](cairo_t* cr, double w, double h) {
        playTriangle(cr, w / 2 + 1, h / 2, 16, kWhite);
    }});
    out.push_back({"icon-pause", 20, 20, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 4, 3, 4.5, 14, kWhite);
        fillRect(cr, 11.5, 3, 4.5, 14, kWhite);
    }});
    // Relation buttons.
    auto button = [](std::string name, std::string label, Colour fill, Colour ink, int w, int h) {
        return Picture{std::move(name), w, h, [label, fill, ink](cairo_t* cr, double w, double h) {
            fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 5, fill);
            text(cr, label, 0, 0, w, h, h * 0.48, ink);
        }};
    };
    out.push_back(button("followHe", "+ 关注", kTint, kWhite, 60, 28));
    out.push_back(button("unfollowHe", "已关注", kGreyLight, kInk, 60, 28));
    out.push_back(button("invite", "邀请", kGreen, kWhite, 60, 28));
    out.push_back(button("login-button", "登录", kTint, kWhite, 130, 40));
    // A plain light button (stretched between 13-point caps), for titles set in code.
    out.push_back({"fast-reg-button", 130, 40, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 8, kGreyLight);
        fillRounded(cr, 1.5, 1.5, w - 3, h - 3, 7, kWhite);
    }});
    // Row icons of the two microblog services.
    out.push_back({"ButtonLumo", 30, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kOrange);
        text(cr, "微", 0, 0, w, h, h * 0.55, kWhite);
    }});
    out.push_back({"ButtonQQ", 30, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kTint);
        text(cr, "Q", 0, 0, w, h, h * 0.6, kWhite);
    }});
    // The guide titles its start button itself.
    out.push_back(button("start_this_app", "", kOrange, kWhite, 180, 43));
    out.push_back(button("player-action-button", "···", {0, 0, 0, 0.5}, kWhite, 44, 27));
    out.push_back({"black-button-bg", 41, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 5, {0.15, 0.16, 0.18});
    }});
    // Small icons.
    out.push_back({"menu_icon", 20, 20, [](cairo_t* cr, double w, double h) {
        for (double y : {5.0, 10.0, 15.0}) {
            cairo_move_to(cr, 3, y);
            cairo_line_to(cr, w - 3, y);
        }
        stroke(cr, kWhite, 2);
    }});
    out.push_back({"friend_icon", 20, 20, [](cairo_t* cr, double w, double h) {
        person(cr, w * 0.38, h * 0.5, w * 0.7, kWhite);
        person(cr, w * 0.7, h * 0.5, w * 0.55, {1, 1, 1, 0.7});
    }});
    out.push_back({"nearby_videos", 20, 20, [](cairo_t* cr, double w, double h) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, w / 2, h * 0.4, w * 0.28, kPi, 2 * kPi);
        cairo_line_to(cr, w / 2, h * 0.95);
        cairo_close_path(cr);
        set(cr, kTint);
        cairo_fill(cr);
        circle(cr, w / 2, h * 0.4, w * 0.1, kWhite);
    }});
    out.push_back({"timeline_in_cell", 20, 20, [](cairo_t* cr, double w, double h) {
        circle(cr, w / 2, h / 2, w * 0.4, kTint);
        cairo_move_to(cr, w / 2, h * 0.25);
        cairo_line_to(cr, w / 2, h / 2);
        cairo_line_to(cr, w * 0.68, h * 0.6);
        stroke(cr, kWhite, 1.5);
    }});
    out.push_back({"delete_white", 18, 18, [](cairo_t* cr, double w, double h) {
        circle(cr, w / 2, h / 2, w / 2 - 0.5, {0, 0, 0, 0.5});
        cairo_move_to(cr, w * 0.32, h * 0.32);
        cairo_line_to(cr, w * 0.68, h * 0.68);
        cairo_move_to(cr, w * 0.68, h * 0.32);
        cairo_line_to(cr, w * 0.32, h * 0.68);
        stroke(cr, kWhite, 1.8);
    }});
    out.push_back({"alert_error_icon", 37, 37, [](cairo_t* cr, double w, double h) {
        cairo_arc(cr, w / 2, h / 2, w / 2 - 2, 0, 2 * kPi);
        stroke(cr, kWhite, 3);
        cairo_move_to(cr, w / 2, h * 0.25);
        cairo_line_to(cr, w / 2, h * 0.58);
        stroke(cr, kWhite, 3.5);
        circle(cr, w / 2, h * 0.74, 2.2, kWhite);
    }});
    out.push_back({"back-arrow", 44, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 5, {0, 0, 0, 0.25});
        arrowLeft(cr, w / 2, h / 2, h * 0.5, kWhite, 2.5);
    }});
    out.push_back({"return_back", 44, 30, [](cairo_t* cr, double w, double h) {
        arrowLeft(cr, w / 2, h / 2, h * 0.5, kWhite, 2.5);
    }});
    out.push_back({"pull-to-refresh-arrow", 30, 50, [](cairo_t* cr, double w, double h) {
        cairo_move_to(cr, w / 2, h * 0.1);
        cairo_line_to(cr, w / 2, h * 0.85);
        stroke(cr, kGrey, 4);
        cairo_move_to(cr, w * 0.2, h * 0.62);
        cairo_line_to(cr, w / 2, h * 0.9);
        cairo_line_to(cr, w * 0.8, h * 0.62);
        stroke(cr, kGrey, 4);
    }});
    out.push_back({"lumo", 30, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kOrange);
        text(cr, "L", 0, 0, w, h, h * 0.6, kWhite);
    }});
    out.push_back({"qq", 30, 30, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, 0, w, h, 6, kTint);
        text(cr, "Q", 0, 0, w, h, h * 0.6, kWhite);
    }});
    // Strips and section headers.
    auto strip = [](std::string name, int w, int h, Colour fill, Colour line, std::string label) {
        return Picture{std::move(name), w, h, [fill, line, label](cairo_t* cr, double w, double h) {
            fillRect(cr, 0, 0, w, h, fill);
            fillRect(cr, 0, h - 1, w, 1, line);
            if (!label.empty()) text(cr, label, 10, 0, 120, h, h * 0.45, kWhite);
        }};
    };
    out.push_back(strip("menu_cell_bkg", 320, 44, {0.19, 0.21, 0.24}, {0.12, 0.13, 0.15}, ""));
    out.push_back(strip("menu_cell_bkg_down", 320, 44, kTintDark, {0.12, 0.13, 0.15}, ""));
    out.push_back(strip("menu_section_header", 320, 31, {0.12, 0.13, 0.15}, {0, 0, 0}, ""));
    // The square's large section tiles (93 points square): a picture of what the section holds over
    // its name, on the section's colour with a darker foot.
    auto sectionTile = [](std::string name, Colour fill, Colour foot, std::string label,
                          std::function<void(cairo_t*, double, double)> icon) {
        return Picture{std::move(name), 93, 93, [fill, foot, label, icon](cairo_t* cr, double w, double h) {
            fillRect(cr, 0, 0, w, h, fill);
            fillRect(cr, 0, h * 0.68, w, h * 0.32, foot);
            icon(cr, w / 2, h * 0.36);
            text(cr, label, 0, h * 0.68, w, h * 0.32, 15, kWhite);
        }};
    };
    out.push_back(sectionTile("people_header", kTint, kTintDark, "推荐人物", [](cairo_t* cr, double cx, double cy) {
        person(cr, cx - 13, cy + 2, 26, {0.75, 0.85, 0.97});
        person(cr, cx + 9, cy - 2, 32, kWhite);
    }));
    out.push_back(sectionTile("topic_header", kOrange, {0.7, 0.4, 0.1}, "热门话题", [](cairo_t* cr, double cx, double cy) {
        text(cr, "#", cx - 20, cy - 20, 40, 40, 36, kWhite);
    }));
    out.push_back(sectionTile("lumo_channel_header", kGreen, {0.1, 0.4, 0.2}, "精彩视频", [](cairo_t* cr, double cx, double cy) {
        circle(cr, cx, cy, 17, kWhite);
        playTriangle(cr, cx + 2, cy, 16, kGreen);
    }));
    out.push_back(strip("comment_input_bkg", 320, 44, kGreyLight, kGrey, ""));
    out.push_back({"comment_bkg", 300, 40, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 4, kWhite);
        rounded(cr, 0.5, 0.5, w - 1, h - 1, 4);
        stroke(cr, kGreyLight, 1);
    }});
    out.push_back({"comment_cell_header", 300, 10, [](cairo_t* cr, double w, double h) {
        cairo_move_to(cr, 20, 0);
        cairo_line_to(cr, 28, h);
        cairo_line_to(cr, 12, h);
        cairo_close_path(cr);
        set(cr, kPaper);
        cairo_fill(cr);
    }});
    out.push_back({"comment_cell_middle", 300, 10, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kPaper);
    }});
    out.push_back({"comment_cell_end", 300, 10, [](cairo_t* cr, double w, double h) {
        fillRounded(cr, 0, -6, w, h + 6, 5, kPaper);
    }});
    out.push_back({"ad", 320, 50, [](cairo_t* cr, double w, double h) {
        fillRect(cr, 0, 0, w, h, kOrange);
        text(cr, "推荐 · 一起来拍短视频", 0, 0, w, h, 17, kWhite);
    }});
    // The radial record menu: its orange add button and the four round items, each with a pressed form.
    constexpr Colour kMenuOrange{0.95, 0.40, 0.13};
    constexpr Colour kMenuOrangeDown{0.77, 0.29, 0.07};
    constexpr Colour kItemBlue{0.29, 0.56, 0.89};
    constexpr Colour kItemBlueDown{0.16, 0.39, 0.71};
    constexpr Colour kDropShadow{0, 0, 0, 0.27};
    auto roundButton = [](double size, double radius, Colour fill, std::function<void(cairo_t*, double c)> symbol) {
        return [=](cairo_t* cr, double, double) {
            const double c = size / 2;
            circle(cr, c, c + 1, radius + 1, kDropShadow);
            circle(cr, c, c, radius + 0.5, kWhite);
            circle(cr, c, c, radius - 2, fill);
            symbol(cr, c);
        };
    };
    auto plus = [](cairo_t* cr, double c) {
        fillRect(cr, c - 9, c - 2, 18, 4, kWhite);
        fillRect(cr, c - 2, c - 9, 4, 18, kWhite);
    };
    out.push_back({"bg-addbutton", 40, 40, roundButton(40, 18, kMenuOrange, plus)});
    out.push_back({"bg-addbutton-highlighted", 40, 40, roundButton(40, 18, kMenuOrangeDown, plus)});
    const std::vector<std::pair<std::string, std::function<void(cairo_t*, double)>>> menuSymbols = {
        {"record",
         [](cairo_t* cr, double c) {
             cairo_arc(cr, c, c, 7, 0, 2 * kPi);
             stroke(cr, kWhite, 2);
             circle(cr, c, c, 4, kWhite);
         }},
        {"living",
         [](cairo_t* cr, double c) {
             circle(cr, c, c, 3, kWhite);
             for (double r : {6.2, 10.2}) {
                 for (double side : {0.0, kPi}) {
                     cairo_new_sub_path(cr);
                     cairo_arc(cr, c, c, r, side - 0.7, side + 0.7);
                 }
             }
             set(cr, kWhite);
             cairo_set_line_width(cr, 1.6);
             cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
             cairo_stroke(cr);
         }},
        {"friend",
         [](cairo_t* cr, double c) {
             circle(cr, c, c - 4, 4, kWhite);
             cairo_move_to(cr, c - 8, c + 9);
             cairo_line_to(cr, c - 6, c + 2);
             cairo_line_to(cr, c + 6, c + 2);
             cairo_line_to(cr, c + 8, c + 9);
             cairo_close_path(cr);
             set(cr, kWhite);
             cairo_fill(cr);
         }},
        {"import",
         [](cairo_t* cr, double c) {
             fillRect(cr, c - 2, c - 9, 4, 10, kWhite);
             cairo_move_to(cr, c - 7, c);
             cairo_line_to(cr, c + 7, c);
             cairo_line_to(cr, c, c + 7);
             cairo_close_path(cr);
             set(cr, kWhite);
             cairo_fill(cr);
             fillRect(cr, c - 9, c + 8, 18, 2, kWhite);
         }},
    };
    for (const auto& [name, symbol] : menuSymbols) {
        out.push_back({"menu_item_" + name, 36, 36, roundButton(36, 16, kItemBlue, symbol)});
        out.push_back({"menu_item_" + name + "_down", 36, 36, roundButton(36, 16, kItemBlueDown, symbol)});
    }
    // The in-app browser's toolbar chevrons, white, back (left) and forward (right).
    for (bool back : {true, false}) {
        out.push_back({std::string("WebViewController.bundle/iPhone/") + (back ? "back" : "forward"), 12, 16,
                       [back](cairo_t* cr, double w, double) {
                           const double points[][2] = {{9, 1}, {11, 3}, {5, 8}, {11, 13}, {9, 15}, {1, 8}};
                           for (const auto& p : points) {
                               cairo_line_to(cr, back ? p[0] : w - p[0], p[1]);
                           }
                           cairo_close_path(cr);
                           set(cr, kWhite);
                           cairo_fill(cr);
                       }});
    }
    addCapturePictures(out);
    addPublishPictures(out);
    return out;
}

}  // namespace bundle_images_cpp
}  // namespace

int main(int argc, char** argv)
{
    using namespace bundle_images_cpp;
    if (argc != 2) {
        std::fprintf(stderr, "usage: bundle_images DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    int failures = 0;
    for (const Picture& picture : pictures()) {
        for (int scale : {1, 2}) {
            cairo_surface_t* surface =
                cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width * scale, picture.height * scale);
            cairo_t* cr = cairo_create(surface);
            cairo_font_options_t* options = cairo_font_options_create();
            cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
            cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
            cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
            cairo_set_font_options(cr, options);
            cairo_font_options_destroy(options);
            cairo_scale(cr, scale, scale);
            picture.draw(cr, picture.width, picture.height);
            cairo_destroy(cr);
            const std::string path = dir + "/" + picture.name + (scale == 2 ? "@2x" : "") + ".png";
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS) {
                std::fprintf(stderr, "bundle_images: cannot write %s\n", path.c_str());
                ++failures;
            }
            cairo_surface_destroy(surface);
        }
    }
    return failures == 0 ? 0 : 1;
}
