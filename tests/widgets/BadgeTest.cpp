#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ViewPixels.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "widgets/BadgedCell.h"
#include "widgets/CountBadge.h"

namespace {
namespace BadgeTest_cpp {

using namespace ViewPixels;

// The main screen's scale for one test, put back afterwards.
class ScopedScreenScale {
public:
    explicit ScopedScreenScale(CGFloat scale) : previous_(UIScreen::mainScreen()->scale())
    {
        UIScreen::mainScreen()->setScale(scale);
    }
    ~ScopedScreenScale() { UIScreen::mainScreen()->setScale(previous_); }

private:
    CGFloat previous_;
};

// What one drawRect of the view puts into a recording context.
std::vector<CGDrawingRecord> drawnRecords(const Ref<UIView>& view)
{
    const CGContextRef c = CGContext::createRecording(view->bounds().size);
    UIGraphicsPushContext(c);
    view->drawRect(view->bounds());
    UIGraphicsPopContext();
    return c->records();
}

std::vector<CGDrawingRecord> recordsOfKind(const std::vector<CGDrawingRecord>& records, CGDrawingRecord::Kind kind)
{
    std::vector<CGDrawingRecord> found;
    std::copy_if(records.begin(), records.end(), std::back_inserter(found),
                 [kind](const CGDrawingRecord& r) { return r.kind == kind; });
    return found;
}

// A laid-out cell 300 x 44 (its content view as wide, without an accessory).
Ref<BadgedCell> laidOutCell(const std::string& badge, UITableViewCellStyle style = UITableViewCellStyleDefault,
                            const std::string& text = "消息", const std::string& detail = "")
{
    auto cell = BadgedCell::initWithStyle_reuseIdentifier(style, "badged");
    cell->setFrame(CGRectMake(0, 0, 300, 44));
    cell->textLabel()->setText(text);
    if (!detail.empty()) {
        cell->detailTextLabel()->setText(detail);
    }
    cell->setBadgeString(badge);
    cell->layoutIfNeeded();
    return cell;
}

// The rows (pixels) of the picture's box in which the badge is cut through (a pixel less than half
// covered): how tall the letters cut out of the badge are.
int punchedRows(const CGContextRef& picture, CGRect box)
{
    const CGFloat s = picture->scale();
    int rows = 0;
    for (size_t y = size_t(box.origin.y * s); y < size_t(CGRectGetMaxY(box) * s); ++y) {
        for (size_t x = size_t(box.origin.x * s); x < size_t(CGRectGetMaxX(box) * s); ++x) {
            if ((picture->pixelAt(x, y) >> 24) < 128) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

const Rgba kBlueGrey = rgba(0.530, 0.600, 0.738, 1);

// --- The badged cell -------------------------------------------------------------------------------

TEST(BadgedCellTest, TheBadgeSitsAtTheRightEndOfTheContentView)
{
    MainThreadScope main;
    const struct {
        std::string text;
        CGFloat textWidth;  // in bold 11
    } cases[] = {{"5m", 20}, {"8", 8}, {"128", 23}, {"新消息", 33}};
    for (const auto& c : cases) {
        auto cell = laidOutCell(c.text);
        const Ref<BadgeView> badge = cell->badge();
        ASSERT_EQ(badge->superview(), cell->contentView());
        EXPECT_EQ(badge->parent(), cell);
        EXPECT_FALSE(badge->isHidden()) << c.text;
        EXPECT_EQ(badge->badgeString(), c.text);
        EXPECT_TRUE(CGRectEqualToRect(badge->frame(), CGRectMake(300 - (c.textWidth + 25), 13, c.textWidth + 13, 18)))
            << c.text;
    }
    // The numbers of a text 20 points wide.
    EXPECT_TRUE(CGRectEqualToRect(laidOutCell("5m")->badge()->frame(), CGRectMake(255, 13, 33, 18)));
}

TEST(BadgedCellTest, WithoutATextThereIsNoBadgeAndTheLabelsKeepTheirFrames)
{
    MainThreadScope main;
    auto plain = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleSubtitle, "plain");
    plain->setFrame(CGRectMake(0, 0, 300, 44));
    plain->textLabel()->setText("消息");
    plain->detailTextLabel()->setText("三条新消息");
    plain->layoutIfNeeded();
    auto cell = laidOutCell("", UITableViewCellStyleSubtitle, "消息", "三条新消息");
    EXPECT_TRUE(cell->badge()->isHidden());
    EXPECT_TRUE(CGRectEqualToRect(cell->textLabel()->frame(), plain->textLabel()->frame()));
    EXPECT_TRUE(CGRectEqualToRect(cell->detailTextLabel()->frame(), plain->detailTextLabel()->frame()));
}

TEST(BadgedCellTest, LabelsThatReachTheBadgeGiveUpItsWidthAndTenPoints)
{
    MainThreadScope main;
    // Subtitle: both labels span the content view (x 10, 280 wide) and reach the badge (x 255).
    auto subtitle = laidOutCell("5m", UITableViewCellStyleSubtitle, "消息", "三条新消息");
    EXPECT_EQ(subtitle->textLabel()->frame().size.width, 280 - 43);
    EXPECT_EQ(subtitle->detailTextLabel()->frame().size.width, 280 - 43);
    EXPECT_EQ(subtitle->textLabel()->frame().origin.x, 10);
    // Value 1: a long detail on the right pushes the text label's end left of the badge; only the
    // detail, which reaches it, narrows.
    auto plain = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleValue1, "plain");
    plain->setFrame(CGRectMake(0, 0, 300, 44));
    plain->textLabel()->setText("消息");
    plain->detailTextLabel()->setText("很长很长的一段说明文字");
    plain->layoutIfNeeded();
    auto value1 = laidOutCell("5m", UITableViewCellStyleValue1, "消息", "很长很长的一段说明文字");
    ASSERT_LT(CGRectGetMaxX(plain->textLabel()->frame()), 255);
    EXPECT_TRUE(CGRectEqualToRect(value1->textLabel()->frame(), plain->textLabel()->frame()));
    CGRect detail = plain->detailTextLabel()->frame();
    detail.size.width -= 43;
    EXPECT_TRUE(CGRectEqualToRect(value1->detailTextLabel()->frame(), detail));
}

TEST(BadgedCellTest, EditingHidesTheBadgeAndLeavingItShowsItAgain)
{
    MainThreadScope main;
    auto cell = laidOutCell("12");
    cell->setEditing_animated(true, false);
    EXPECT_TRUE(cell->badge()->isHidden());
    cell->layoutIfNeeded();
    EXPECT_TRUE(cell->badge()->isHidden());
    cell->setEditing_animated(false, false);
    EXPECT_FALSE(cell->badge()->isHidden());
    // A cell without a text keeps it hidden.
    auto empty = laidOutCell("");
    empty->setEditing_animated(true, false);
    empty->setEditing_animated(false, false);
    EXPECT_TRUE(empty->badge()->isHidden());
}

TEST(BadgedCellTest, TheFillFollowsTheCellsStateUnlessItNeverHighlights)
{
    MainThreadScope main;
    const struct {
        UITableViewCellSelectionStyle style;
        bool highlighted, selected, showShadow;
        Rgba fill;
        bool shadow;
    } cases[] = {
        {UITableViewCellSelectionStyleBlue, false, false, true, kBlueGrey, false},
        {UITableViewCellSelectionStyleBlue, true, false, true, rgba(1, 1, 1, 1), true},
        {UITableViewCellSelectionStyleGray, false, true, true, rgba(1, 1, 1, 1), true},
        {UITableViewCellSelectionStyleBlue, true, false, false, rgba(1, 1, 1, 1), false},
        {UITableViewCellSelectionStyleNone, true, true, true, kBlueGrey, false},
    };
    for (const auto& c : cases) {
        auto cell = laidOutCell("12");
        cell->setShowShadow(c.showShadow);
        cell->setNeedsLayout();  // the cell hands its settings to the badge when it lays out
        cell->setSelectionStyle(c.style);
        cell->setHighlighted_animated(c.highlighted, false);
        cell->setSelected_animated(c.selected, false);
        cell->layoutIfNeeded();
        const CGContextRef picture = render(cell->badge(), 1);
        const std::string what = std::to_string(int(c.style)) + (c.highlighted ? " highlighted" : "") +
                                 (c.selected ? " selected" : "") + (c.showShadow ? " shadow" : "");
        EXPECT_TRUE(near(at(picture, 2.5, 9.5), c.fill)) << what << " " << at(picture, 2.5, 9.5);
        EXPECT_TRUE(near(at(picture, 27.5, 9.5), c.fill)) << what;
        // The rounded corner: clear, but for the soft edge of a shadow.
        EXPECT_LT(at(picture, 0.2, 0.2).a, c.shadow ? 40 : 1) << what << ": the rounded corner";
        const Ref<CALayer> layer = cell->badge()->layer();
        EXPECT_EQ(layer->cornerRadius(), 4) << what;
        EXPECT_FLOAT_EQ(layer->shadowOpacity(), c.shadow ? 0.8f : 0.0f) << what;
        EXPECT_TRUE(CGSizeEqualToSize(layer->shadowOffset(), c.shadow ? CGSizeMake(0, 1) : CGSizeZero)) << what;
    }
}

TEST(BadgedCellTest, OwnColoursAndRadiusReplaceTheDefaults)
{
    MainThreadScope main;
    auto cell = laidOutCell("12");
    cell->setBadgeColor(UIColor::redColor());
    cell->setBadgeColorHighlighted(UIColor::greenColor());
    cell->badge()->setRadius(6);
    cell->setNeedsLayout();
    cell->layoutIfNeeded();
    EXPECT_TRUE(near(at(render(cell->badge(), 1), 2.5, 9.5), rgba(1, 0, 0, 1)));
    cell->setHighlighted_animated(true, false);
    EXPECT_TRUE(near(at(render(cell->badge(), 1), 2.5, 9.5), rgba(0, 1, 0, 1)));
    EXPECT_EQ(cell->badge()->layer()->cornerRadius(), 6);
}

TEST(BadgedCellTest, TheLettersAreCutOutOfTheBadge)
{
    MainThreadScope main;
    auto cell = laidOutCell("88");
    const CGContextRef picture = render(cell->badge(), 1);
    // The letters' box starts 6.5 points in; the margin left of it stays filled.
    EXPECT_GT(punchedRows(picture, CGRectMake(6.5, 2, 16, 14)), 5);
    EXPECT_EQ(punchedRows(picture, CGRectMake(1, 2, 5, 14)), 0);
}

TEST(BadgedCellTest, OnAScaleTwoScreenTheBadgeIsDrawnAtTwiceTheResolutionIntoTheSameRectangle)
{
    MainThreadScope main;
    // Between the rounded ends: only the letters cut through there.
    const auto letters = [](const Ref<BadgeView>& badge) {
        return CGRectMake(5, 0, badge->bounds().size.width - 10, badge->bounds().size.height);
    };
    int rowsAtOne = 0;
    {
        auto cell = laidOutCell("88");
        rowsAtOne = punchedRows(render(cell->badge(), 1), letters(cell->badge()));
    }
    ScopedScreenScale scale(2);
    auto cell = laidOutCell("88");
    const Ref<BadgeView> badge = cell->badge();
    const auto images = recordsOfKind(drawnRecords(badge), CGDrawingRecord::kImage);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(CGRectEqualToRect(images[0].rect, badge->bounds()));
    EXPECT_EQ(images[0].image->width(), size_t(badge->bounds().size.width * 2));
    EXPECT_EQ(images[0].image->height(), size_t(36));
    const CGContextRef picture = render(badge, 2);
    EXPECT_TRUE(near(at(picture, 1.5, 9), kBlueGrey)) << at(picture, 1.5, 9);
    EXPECT_EQ(at(picture, 0.1, 0.1).a, 0);
    EXPECT_EQ(badge->layer()->cornerRadius(), 8);
    // The letters are as tall as at scale 1, in twice the pixels: none of them loses its feet.
    const int rowsAtTwo = punchedRows(picture, letters(badge));
    EXPECT_GT(rowsAtOne, 5);
    EXPECT_GE(rowsAtTwo, 2 * rowsAtOne - 1) << rowsAtOne;
    EXPECT_LE(rowsAtTwo, 2 * rowsAtOne + 1) << rowsAtOne;
}

TEST(BadgedCellTest, HighlightingWithShadowsShadowsTheLabelsForGood)
{
    MainThreadScope main;
    auto cell = laidOutCell("12", UITableViewCellStyleSubtitle, "消息", "三条新消息");
    cell->setHighlighted_animated(true, false);
    EXPECT_FLOAT_EQ(cell->textLabel()->layer()->shadowOpacity(), 0) << "only with showShadow";
    cell->setShowShadow(true);
    cell->setHighlighted_animated(true, false);
    cell->setHighlighted_animated(false, false);
    for (const Ref<UILabel>& label : {cell->textLabel(), cell->detailTextLabel()}) {
        EXPECT_FLOAT_EQ(label->layer()->shadowOpacity(), 0.8f);
        EXPECT_EQ(label->layer()->shadowRadius(), 1);
        EXPECT_TRUE(CGSizeEqualToSize(label->layer()->shadowOffset(), CGSizeMake(0, 1)));
    }
}

TEST(BadgedCellTest, ACellFromAnInterfaceFileHasItsBadgeToo)
{
    MainThreadScope main;
    auto cell = BadgedCell::initWithCoder(Value::dictionary({{"UIReuseIdentifier", "badged"}}));
    EXPECT_EQ(cell->reuseIdentifier(), "badged");
    ASSERT_TRUE(cell->badge());
    EXPECT_EQ(cell->badge()->superview(), cell->contentView());
    EXPECT_EQ(cell->badge()->parent(), cell);
    EXPECT_TRUE(CGRectIsEmpty(cell->badge()->frame()));
}

// --- The count badge -------------------------------------------------------------------------------

TEST(CountBadgeTest, TheBadgeIsSizedByItsText)
{
    MainThreadScope main;
    const struct {
        std::string text;
        CGFloat scale;
        CGSize size;
        CGFloat fontSize;
    } cases[] = {
        {"8", 1, {25, 25}, 16.2},
        {"12", 1, {25 + 17 + 2, 25}, 13.5},  // "12" is 17 points wide in bold 12
        {"8", 2, {50, 50}, 32.4},
        {"12", 2, {88, 50}, 27},
        {"new", 1, {25 + 28 + 3, 25}, 13.5},
        {"新", 1, {25, 25}, 16.2},
        {"", 1, {25, 25}, 16.2},
    };
    for (const auto& c : cases) {
        auto badge = CountBadge::initWithString_withScale_withShining(c.text, c.scale, true);
        const std::string what = c.text + " at " + std::to_string(c.scale);
        EXPECT_TRUE(CGRectEqualToRect(badge->frame(), CGRectMake(0, 0, c.size.width, c.size.height))) << what;
        EXPECT_NEAR(badge->textFontSize(), c.fontSize, 1e-9) << what;
        const auto texts = recordsOfKind(drawnRecords(badge), CGDrawingRecord::kText);
        if (c.text.empty()) {
            EXPECT_TRUE(texts.empty()) << what;
        } else {
            ASSERT_EQ(texts.size(), 1u) << what;
            EXPECT_EQ(texts[0].text, c.text) << what;
            EXPECT_NEAR(texts[0].fontSize, c.fontSize, 1e-9) << what;
        }
    }
}

TEST(CountBadgeTest, AShortFormIsWhiteOnRedInAWhiteFrameWithTheScreensScale)
{
    MainThreadScope main;
    ScopedScreenScale scale(2);
    auto badge = CountBadge::countBadgeWithString("3");
    EXPECT_TRUE(UIColorEqual(badge->badgeTextColor(), UIColor::whiteColor()));
    EXPECT_TRUE(UIColorEqual(badge->badgeInsetColor(), UIColor::redColor()));
    EXPECT_TRUE(UIColorEqual(badge->badgeFrameColor(), UIColor::whiteColor()));
    EXPECT_TRUE(badge->badgeFrame());
    EXPECT_TRUE(badge->badgeShining());
    EXPECT_EQ(badge->badgeScaleFactor(), 1);
    EXPECT_EQ(badge->badgeCornerRoundness(), 0.4);
    EXPECT_EQ(badge->contentScaleFactor(), 2);
    EXPECT_TRUE(UIColorEqual(badge->backgroundColor(), UIColor::clearColor()));
}

TEST(CountBadgeTest, TheFrameLineThickensAboveScaleOne)
{
    MainThreadScope main;
    const struct {
        CGFloat scale;
        CGFloat line;
    } cases[] = {{0.5, 2}, {1, 2}, {2, 2.5}, {4, 3}};
    for (const auto& c : cases) {
        auto badge = CountBadge::initWithString_withScale_withShining("8", c.scale, false);
        const auto strokes = recordsOfKind(drawnRecords(badge), CGDrawingRecord::kStrokePath);
        ASSERT_EQ(strokes.size(), 1u) << c.scale;
        EXPECT_EQ(strokes[0].lineWidth, c.line) << c.scale;
    }
    auto unframed = CountBadge::countBadgeWithString("8");
    unframed->setBadgeFrame(false);
    EXPECT_TRUE(recordsOfKind(drawnRecords(unframed), CGDrawingRecord::kStrokePath).empty());
}

TEST(CountBadgeTest, ANewTextKeepsTheSizeUntilTheBadgeIsSizedAgain)
{
    MainThreadScope main;
    auto badge = CountBadge::countBadgeWithString("8");
    badge->setFrame(CGRectMake(50, 12, 25, 25));
    badge->setBadgeText("128");
    EXPECT_TRUE(CGRectEqualToRect(badge->frame(), CGRectMake(50, 12, 25, 25)));
    EXPECT_EQ(badge->badgeText(), "128");
    badge->autoBadgeSizeWithString("128");
    EXPECT_TRUE(CGRectEqualToRect(badge->frame(), CGRectMake(50, 12, 25 + 26 + 3, 25))) << "the origin stays";
}

TEST(CountBadgeTest, TheDrawnPillIsFilledFramedAndShaded)
{
    MainThreadScope main;
    for (bool shining : {false, true}) {
        auto badge = CountBadge::initWithString_withScale_withShining("", 1, shining);
        const CGContextRef picture = render(badge, 2);
        const std::string what = shining ? "shining" : "plain";
        // The frame line runs along the pill's edge, 2.5 points in; inside it the fill.
        EXPECT_TRUE(near(at(picture, 2.5, 12.5), rgba(1, 1, 1, 1))) << what << " " << at(picture, 2.5, 12.5);
        EXPECT_TRUE(near(at(picture, 12.5, 22.4), rgba(1, 1, 1, 1))) << what;
        const Rgba low = at(picture, 12.5, 18);
        if (shining) {
            // A glossy light top over the red.
            const Rgba top = at(picture, 12.5, 4);
            EXPECT_GT(top.g, 120) << what << " " << top;
            EXPECT_GT(top.g, low.g + 40) << what << " " << low;
        } else {
            EXPECT_TRUE(near(low, rgba(1, 0, 0, 1))) << what << " " << low;
            EXPECT_TRUE(near(at(picture, 12.5, 5), rgba(1, 0, 0, 1))) << what;
        }
        EXPECT_EQ(at(picture, 0.25, 0.25).a, 0) << what << ": outside the pill";
        // The shadow falls one point down and right of the pill.
        const Rgba shadow = at(picture, 12.5, 24.25);
        EXPECT_GT(shadow.a, 20) << what << " " << shadow;
        EXPECT_LT(shadow.r + shadow.g + shadow.b, 30) << what;
    }
}

TEST(CountBadgeTest, TheTextIsDrawnInItsColourInTheMiddle)
{
    MainThreadScope main;
    auto badge = CountBadge::initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
        "12", UIColor::whiteColor(), UIColor::blueColor(), false, nullptr, 1, false);
    const auto texts = recordsOfKind(drawnRecords(badge), CGDrawingRecord::kText);
    ASSERT_EQ(texts.size(), 1u);
    const CGFloat width = badge->bounds().size.width;
    // Centred: the line box's middle on the badge's middle.
    EXPECT_NEAR(CGRectGetMidX(texts[0].rect), width / 2, 0.5);
    EXPECT_NEAR(CGRectGetMidY(texts[0].rect), 12.5, 0.5);
    EXPECT_TRUE(UIColorEqual(UIColor::colorWithCGColor(texts[0].color), UIColor::whiteColor()));
    const CGContextRef picture = render(badge, 2);
    int white = 0;
    for (CGFloat x = 0; x < width; x += 0.5) {
        for (CGFloat y = 5; y < 20; y += 0.5) {
            white += near(at(picture, x, y), rgba(1, 1, 1, 1), 10) ? 1 : 0;
        }
    }
    EXPECT_GT(white, 10);
}

}  // namespace BadgeTest_cpp
}  // namespace
