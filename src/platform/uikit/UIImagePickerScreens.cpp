// The image picker's own screens: the library grid and the camera.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSURL.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITouch.h"

namespace {
namespace UIImagePickerScreens_cpp {

UIImagePickerMediaSupport& support()
{
    static auto* instance = new UIImagePickerMediaSupport;  // main thread only
    return *instance;
}

std::string lowerExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool isPicture(const std::string& path)
{
    const std::string ext = lowerExtension(path);
    return ext == ".png" || ext == ".jpg" || ext == ".jpeg";
}

bool isMovie(const std::string& path)
{
    const std::string ext = lowerExtension(path);
    return ext == ".mp4" || ext == ".mov" || ext == ".m4v";
}

bool wants(const std::vector<std::string>& types, const char* type)
{
    return std::find(types.begin(), types.end(), type) != types.end();
}

struct MediaItem {
    std::string path;
    bool movie = false;
};

// The media folder's pictures and movies (sub-folders included), by name, of the wanted types.
std::vector<MediaItem> libraryItems(const std::vector<std::string>& types)
{
    std::vector<MediaItem> items;
    std::error_code error;
    const std::string folder = UIImagePickerController::mediaFolderPath();
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        const std::string path = it->path().string();
        if (isPicture(path) && wants(types, kUTTypeImage)) items.push_back({path, false});
        if (isMovie(path) && wants(types, kUTTypeMovie)) items.push_back({path, true});
    }
    std::sort(items.begin(), items.end(), [](const MediaItem& a, const MediaItem& b) { return a.path < b.path; });
    return items;
}

Value pictureInfo(const Ref<UIImage>& image)
{
    Value info = Value::dictionary();
    info.setObject_forKey(Value(kUTTypeImage), UIImagePickerControllerMediaType);
    info.setObject_forKey(Value(image), UIImagePickerControllerOriginalImage);
    return info;
}

std::string temporaryMoviePath(const std::string& extension)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string folder = NSTemporaryDirectory();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    char name[64];
    std::snprintf(name, sizeof name, "trim.%016llX", static_cast<unsigned long long>(random()));
    return folder + "/" + name + extension;
}

Value movieInfo(const std::string& path)
{
    Value info = Value::dictionary();
    info.setObject_forKey(Value(kUTTypeMovie), UIImagePickerControllerMediaType);
    info.setObject_forKey(Value(NSURL::fileURLWithPath(path)), UIImagePickerControllerMediaURL);
    return info;
}

std::string lengthText(double seconds)
{
    const long whole = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

Ref<UIColor> barColour() { return UIColor::colorWithWhite_alpha(0.08, 1); }

// A round button drawn in the camera's bar: white ring, with a white disc (shutter) or a red disc
// (record) or a red square (stop) inside.
class CameraButton : public UIControl {
public:
    enum Look { Shutter, Record, Stop } look = Shutter;
    void drawRect(CGRect) override
    {
        const CGContextRef c = UIGraphicsGetCurrentContext();
        const CGRect b = bounds();
        const CGFloat side = std::min(b.size.width, b.size.height);
        const CGRect ring = CGRectMake(CGRectGetMidX(b) - side / 2 + 2, CGRectGetMidY(b) - side / 2 + 2, side - 4, side - 4);
        c->saveGState();
        c->setStrokeColor(CGColor::createGray(1, 1));
        c->setLineWidth(4);
        c->strokeEllipseInRect(ring);
        const CGRect inner = CGRectInset(ring, 7, 7);
        if (look == Stop) {
            c->setFillColor(CGColor::createRGB(0.9, 0.15, 0.12, 1));
            c->fillRect(CGRectInset(inner, inner.size.width / 4, inner.size.height / 4));
        } else {
            c->setFillColor(look == Record ? CGColor::createRGB(0.9, 0.15, 0.12, 1)
                                           : isHighlighted() ? CGColor::createGray(0.7, 1) : CGColor::createGray(1, 1));
            c->fillEllipseInRect(inner);
        }
        c->restoreGState();
    }
    void setHighlighted(bool highlighted) override
    {
        UIControl::setHighlighted(highlighted);
        setNeedsDisplay();
    }
};

Ref<UIButton> barButton(const std::string& title, CGRect frame)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(frame);
    button->setTitle_forState(title, UIControlStateNormal);
    button->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    button->setTitleColor_forState(UIColor::lightGrayColor(), UIControlStateHighlighted);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(17));
    return button;
}

}  // namespace UIImagePickerScreens_cpp
}  // namespace

using namespace UIImagePickerScreens_cpp;

// A picked or taken picture: straight back, or with editing through the move-and-scale screen first
// (`retake`: the camera's way back from it).
void pictureChosen(const Ref<UIImagePickerController>& owner, const Ref<UIImage>& image,
                   std::function<void()> retake = nullptr);

// --- The library grid ---

class UIImagePickerLibraryScreen : public UIViewController {
public:
    static constexpr CGFloat kThumb = 75;
    static constexpr CGFloat kGap = 4;

    Weak<UIImagePickerController> picker;
    std::vector<MediaItem> items;
    Ref<UIScrollView> grid;
    std::vector<Ref<UIControl>> thumbs;

    void viewDidLoad() override
    {
        UIViewController::viewDidLoad();
        auto owner = picker.lock();
        setTitle(owner && owner->sourceType() == UIImagePickerControllerSourceTypeSavedPhotosAlbum ? "相机胶卷" : "照片");
        navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
            "取消", UIBarButtonItemStyleBordered, self<NSObject>(),
            UISelector::make("cancel", &UIImagePickerLibraryScreen::cancel)));
        const Ref<UIView> root = view();
        root->setBackgroundColor(UIColor::whiteColor());
        grid = UIScrollView::initWithFrame(root->bounds());
        grid->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        grid->setAlwaysBounceVertical(true);
        root->addSubview(grid);
        items = libraryItems(owner ? owner->mediaTypes() : std::vector<std::string>{kUTTypeImage});
        if (items.empty()) {
            auto empty = UILabel::initWithFrame(CGRectMake(0, 120, root->bounds().size.width, 30));
            empty->setTextAlignment(UITextAlignmentCenter);
            empty->setTextColor(UIColor::grayColor());
            empty->setText("没有照片或视频");
            empty->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
            grid->addSubview(empty);
        }
        for (size_t i = 0; i < items.size(); ++i) {
            grid->addSubview(makeThumb(i));
        }
        layoutGrid();
    }

    void viewWillLayoutSubviews() override { layoutGrid(); }

    void layoutGrid()
    {
        if (!grid) return;
        const CGFloat width = grid->bounds().size.width;
        const int columns = std::max(1, int((width - kGap) / (kThumb + kGap)));
        const CGFloat left = std::floor((width - columns * (kThumb + kGap) + kGap) / 2);
        for (size_t i = 0; i < thumbs.size(); ++i) {
            const int column = int(i) % columns;
            const int row = int(i) / columns;
            thumbs[i]->setFrame(CGRectMake(left + column * (kThumb + kGap), kGap + row * (kThumb + kGap), kThumb, kThumb));
        }
        const int rows = int((thumbs.size() + size_t(columns) - 1) / size_t(columns));
        grid->setContentSize(CGSizeMake(width, kGap + rows * (kThumb + kGap)));
    }

    Ref<UIControl> makeThumb(size_t index)
    {
        const MediaItem& item = items[index];
        auto thumb = UIView::makeWithFrame<UIControl>(CGRectMake(0, 0, kThumb, kThumb));
        thumb->setClipsToBounds(true);
        thumb->setBackgroundColor(UIColor::colorWithWhite_alpha(0.85, 1));
        auto image = UIImageView::initWithFrame(thumb->bounds());
        image->setContentMode(UIViewContentModeScaleAspectFill);
        image->setUserInteractionEnabled(false);
        thumb->addSubview(image);
        if (item.movie) {
            Ref<UIImage> poster;
            double seconds = 0;
            if (support().inspectMovie) support().inspectMovie(item.path, &poster, &seconds);
            image->setImage(poster);
            auto strip = UILabel::initWithFrame(CGRectMake(0, kThumb - 18, kThumb, 18));
            strip->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.55));
            strip->setTextColor(UIColor::whiteColor());
            strip->setFont(UIFont::boldSystemFontOfSize(11));
            strip->setTextAlignment(UITextAlignmentRight);
            strip->setText("▶ " + lengthText(seconds) + " ");
            strip->setUserInteractionEnabled(false);
            thumb->addSubview(strip);
        } else {
            image->setImage(UIImage::imageWithContentsOfFile(item.path));
        }
        Weak<UIImagePickerLibraryScreen> weak = self<UIImagePickerLibraryScreen>();
        thumb->addTarget_action_forControlEvents(
            self<NSObject>(),
            UIControlAction::block("picked:", [weak, index](const Ref<UIControl>&, const Ref<UIEvent>&) {
                if (auto screen = weak.lock()) screen->pick(index);
            }),
            UIControlEventTouchUpInside);
        thumbs.push_back(thumb);
        return thumb;
    }

    void pick(size_t index)
    {
        auto owner = picker.lock();
        if (!owner || index >= items.size()) return;
        const MediaItem item = items[index];
        if (item.movie) {
            // The application gets a copy of its own, as the phone hands over an exported movie.
            const std::string copy = temporaryMoviePath(std::filesystem::path(item.path).extension().string());
            if (!NSFileManager::defaultManager()->copyItemAtPath_toPath_error(item.path, copy)) return;
            owner->simulateFinishPickingMediaWithInfo(movieInfo(copy));
            return;
        }
        if (Ref<UIImage> image = UIImage::imageWithContentsOfFile(item.path)) {
            pictureChosen(owner, image);
        }
    }

    void cancel()
    {
        if (auto owner = picker.lock()) owner->simulateCancel();
    }
};

// --- Move and scale ---

// The picture under a square frame: a finger drags it, two fingers pinch it, "－"/"＋" scale it (the
// mouse's way), and it always covers the frame. "选取" hands back the part in the frame.
class UIImagePickerEditScreen : public UIViewController {
public:
    static constexpr CGFloat kBar = 72;
    static constexpr CGFloat kMostZoom = 4;  // times the smallest scale that covers the frame
    static constexpr CGFloat kStep = 1.25;   // one press of a scale button

    class Canvas : public UIView {
    public:
        Weak<UIImagePickerEditScreen> screen;
        std::map<const UITouch*, CGPoint> fingers;

        void drawRect(CGRect) override
        {
            auto owner = screen.lock();
            if (!owner || !owner->image) return;
            const CGContextRef c = UIGraphicsGetCurrentContext();
            owner->image->drawInRect(owner->imageFrame());
            // Outside the frame the picture is dimmed; the frame is a white line.
            const CGRect crop = owner->cropFrame();
            const CGRect b = bounds();
            c->setFillColor(CGColor::createGray(0, 0.6));
            c->fillRect(CGRectMake(0, 0, b.size.width, crop.origin.y));
            c->fillRect(CGRectMake(0, CGRectGetMaxY(crop), b.size.width, b.size.height - CGRectGetMaxY(crop)));
            c->fillRect(CGRectMake(0, crop.origin.y, crop.origin.x, crop.size.height));
            c->fillRect(CGRectMake(CGRectGetMaxX(crop), crop.origin.y, b.size.width - CGRectGetMaxX(crop), crop.size.height));
            c->setStrokeColor(CGColor::createGray(1, 0.9));
            c->setLineWidth(1);
            c->strokeRect(CGRectInset(crop, 0.5, 0.5));
        }
        void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
        {
            for (const auto& touch : touches) fingers[touch.get()] = touch->locationInView(self<UIView>());
        }
        void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
        {
            auto owner = screen.lock();
            if (!owner || fingers.empty()) return;
            std::map<const UITouch*, CGPoint> now = fingers;
            for (const auto& touch : touches) {
                if (now.count(touch.get())) now[touch.get()] = touch->locationInView(self<UIView>());
            }
            if (fingers.size() == 1) {
                const CGPoint from = fingers.begin()->second;
                const CGPoint to = now.begin()->second;
                owner->moveBy(to.x - from.x, to.y - from.y);
            } else {
                // Two fingers: the picture scales by how far apart they move, about the point between them.
                auto a = fingers.begin(), b = std::next(fingers.begin());
                const CGPoint a1 = now[a->first], b1 = now[b->first];
                const CGFloat before = std::hypot(b->second.x - a->second.x, b->second.y - a->second.y);
                const CGFloat after = std::hypot(b1.x - a1.x, b1.y - a1.y);
                const CGPoint mid0 = CGPointMake((a->second.x + b->second.x) / 2, (a->second.y + b->second.y) / 2);
                const CGPoint mid1 = CGPointMake((a1.x + b1.x) / 2, (a1.y + b1.y) / 2);
                if (before > 1) owner->scaleBy(after / before, mid0);
                owner->moveBy(mid1.x - mid0.x, mid1.y - mid0.y);
            }
            fingers = now;
        }
        void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
        {
            for (const auto& touch : touches) fingers.erase(touch.get());
        }
        void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
        {
            for (const auto& touch : touches) fingers.erase(touch.get());
        }
    };

    Weak<UIImagePickerController> picker;
    Ref<UIImage> image;
    bool fromCamera = false;
    std::function<void()> retake;  // the camera's way back
    Ref<Canvas> canvas;
    CGPoint origin = CGPointZero;  // the picture's top left on the canvas
    CGFloat scale = 1;             // canvas points per picture point
    CGSize laidOut = CGSizeZero;
    bool touched = false;

    void viewDidLoad() override
    {
        UIViewController::viewDidLoad();
        const Ref<UIView> root = view();
        root->setBackgroundColor(UIColor::blackColor());
        const CGRect b = root->bounds();
        canvas = UIView::makeWithFrame<Canvas>(CGRectMake(0, 0, b.size.width, b.size.height - kBar));
        canvas->screen = self<UIImagePickerEditScreen>();
        canvas->setBackgroundColor(UIColor::blackColor());
        canvas->setMultipleTouchEnabled(true);
        canvas->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        root->addSubview(canvas);
        auto title = UILabel::initWithFrame(CGRectMake(0, 8, b.size.width, 24));
        title->setText("移动和缩放");
        title->setTextAlignment(UITextAlignmentCenter);
        title->setTextColor(UIColor::whiteColor());
        title->setBackgroundColor(UIColor::clearColor());
        title->setUserInteractionEnabled(false);
        title->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        root->addSubview(title);
        auto bar = UIView::initWithFrame(CGRectMake(0, b.size.height - kBar, b.size.width, kBar));
        bar->setBackgroundColor(barColour());
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
        root->addSubview(bar);
        const CGFloat w = b.size.width;
        auto add = [&](const std::string& text, CGRect frame, void (UIImagePickerEditScreen::*action)()) {
            auto button = barButton(text, frame);
            Weak<UIImagePickerEditScreen> weak = self<UIImagePickerEditScreen>();
            button->addTarget_action_forControlEvents(
                self<NSObject>(),
                UIControlAction::block(text + ":", [weak, action](const Ref<UIControl>&, const Ref<UIEvent>&) {
                    if (auto screen = weak.lock()) ((*screen).*action)();
                }),
                UIControlEventTouchUpInside);
            bar->addSubview(button);
        };
        add(fromCamera ? "重拍" : "取消", CGRectMake(8, 16, 72, 40), &UIImagePickerEditScreen::cancel);
        add("－", CGRectMake(w / 2 - 52, 16, 44, 40), &UIImagePickerEditScreen::zoomOut);
        add("＋", CGRectMake(w / 2 + 8, 16, 44, 40), &UIImagePickerEditScreen::zoomIn);
        add("选取", CGRectMake(w - 80, 16, 72, 40), &UIImagePickerEditScreen::choose);
        laidOut = canvas->bounds().size;
        fit();
    }

    void viewWillAppear(bool animated) override
    {
        UIViewController::viewWillAppear(animated);
        if (auto owner = picker.lock()) owner->setNavigationBarHidden(true);
    }

    // The frame follows the canvas's size; until a finger moved the picture it starts over on its centre.
    void viewWillLayoutSubviews() override
    {
        if (!canvas || CGSizeEqualToSize(canvas->bounds().size, laidOut)) return;
        laidOut = canvas->bounds().size;
        if (touched) {
            settle();
        } else {
            fit();
        }
    }

    // The frame: a square as wide as the canvas, in its middle.
    CGRect cropFrame() const
    {
        const CGSize size = canvas ? canvas->bounds().size : CGSizeMake(320, 408);
        const CGFloat side = std::min(size.width, size.height);
        return CGRectMake(std::floor((size.width - side) / 2), std::floor((size.height - side) / 2), side, side);
    }
    CGRect imageFrame() const
    {
        const CGSize size = image ? image->size() : CGSizeMake(1, 1);
        return CGRectMake(origin.x, origin.y, size.width * scale, size.height * scale);
    }
    CGFloat smallestScale() const
    {
        const CGSize size = image ? image->size() : CGSizeMake(1, 1);
        return cropFrame().size.width / std::max<CGFloat>(1, std::min(size.width, size.height));
    }
    // The picture's centre square fills the frame, as it starts on the phone.
    void fit()
    {
        const CGRect crop = cropFrame();
        scale = smallestScale();
        const CGRect frame = imageFrame();
        origin = CGPointMake(std::round(CGRectGetMidX(crop) - frame.size.width / 2),
                             std::round(CGRectGetMidY(crop) - frame.size.height / 2));
        settle();
    }
    // Keeps the frame covered.
    void settle()
    {
        const CGRect crop = cropFrame();
        const CGRect frame = imageFrame();
        origin.x = std::clamp(origin.x, CGRectGetMaxX(crop) - frame.size.width, crop.origin.x);
        origin.y = std::clamp(origin.y, CGRectGetMaxY(crop) - frame.size.height, crop.origin.y);
        if (canvas) canvas->setNeedsDisplay();
    }
    void moveBy(CGFloat dx, CGFloat dy)
    {
        touched = true;
        origin.x += dx;
        origin.y += dy;
        settle();
    }
    void scaleBy(CGFloat factor, CGPoint about)
    {
        const CGFloat wanted = std::clamp(scale * factor, smallestScale(), smallestScale() * kMostZoom);
        const CGFloat applied = wanted / scale;
        touched = true;
        origin.x = about.x - (about.x - origin.x) * applied;
        origin.y = about.y - (about.y - origin.y) * applied;
        scale = wanted;
        settle();
    }
    void zoomIn() { scaleBy(kStep, CGPointMake(CGRectGetMidX(cropFrame()), CGRectGetMidY(cropFrame()))); }
    void zoomOut() { scaleBy(1 / kStep, CGPointMake(CGRectGetMidX(cropFrame()), CGRectGetMidY(cropFrame()))); }

    // The part of the picture in the frame, in the picture's points.
    CGRect cropRect() const
    {
        const CGRect crop = cropFrame();
        const CGSize size = image->size();
        const CGFloat side = std::min({std::round(crop.size.width / scale), size.width, size.height});
        const CGFloat x = std::clamp<CGFloat>(std::round((crop.origin.x - origin.x) / scale), 0, size.width - side);
        const CGFloat y = std::clamp<CGFloat>(std::round((crop.origin.y - origin.y) / scale), 0, size.height - side);
        return CGRectMake(x, y, side, side);
    }

    void choose()
    {
        auto owner = picker.lock();
        if (!owner || !image) return;
        const CGRect crop = cropRect();
        UIGraphicsBeginImageContextWithOptions(crop.size, true, image->scale());
        image->drawInRect(CGRectMake(-crop.origin.x, -crop.origin.y, image->size().width, image->size().height));
        Ref<UIImage> edited = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        Value info = Value::dictionary();
        info.setObject_forKey(Value(kUTTypeImage), UIImagePickerControllerMediaType);
        info.setObject_forKey(Value(image), UIImagePickerControllerOriginalImage);
        info.setObject_forKey(Value(edited), UIImagePickerControllerEditedImage);
        info.setObject_forKey(Value(UIGeometryValue::valueWithCGRect(crop)), UIImagePickerControllerCropRect);
        owner->simulateFinishPickingMediaWithInfo(info);
    }

    void cancel()
    {
        auto owner = picker.lock();
        if (!owner) return;
        std::function<void()> again = retake;
        owner->setNavigationBarHidden(fromCamera);
        owner->popViewControllerAnimated(false);
        if (again) again();
    }
};

void pictureChosen(const Ref<UIImagePickerController>& owner, const Ref<UIImage>& image, std::function<void()> retake)
{
    if (!owner->allowsEditing()) {
        owner->simulateFinishPickingMediaWithInfo(pictureInfo(image));
        return;
    }
    auto edit = UIViewController::make<UIImagePickerEditScreen>();
    edit->picker = owner;
    edit->image = image;
    edit->fromCamera = retake != nullptr;
    edit->retake = std::move(retake);
    owner->pushViewController_animated(edit, false);
}

// --- The camera ---

class UIImagePickerCameraScreen : public UIViewController {
public:
    static constexpr CGFloat kBar = 96;

    Weak<UIImagePickerController> picker;
    Ref<UIImageView> live;
    Ref<UIView> bar;
    Ref<CameraButton> shutter;
    Ref<UIButton> cancelButton;
    Ref<UIButton> retakeButton;
    Ref<UIButton> useButton;
    Ref<UIButton> switchButton;
    Ref<UILabel> flashLabel;
    Ref<UILabel> clockLabel;
    Ref<NSTimer> timer;
    int64_t frame = 0;
    bool recording = false;
    double recorded = 0;
    Ref<UIImage> shot;        // the picture taken, waiting for "使用"
    std::string movie;        // or the movie recorded
    bool reviewing = false;

    ~UIImagePickerCameraScreen() override
    {
        if (timer) timer->invalidate();
    }

    bool moviesOnly() const
    {
        auto owner = picker.lock();
        if (!owner) return false;
        return owner->cameraCaptureMode() == UIImagePickerControllerCameraCaptureModeVideo ||
               (wants(owner->mediaTypes(), kUTTypeMovie) && !wants(owner->mediaTypes(), kUTTypeImage));
    }

    void viewDidLoad() override
    {
        UIViewController::viewDidLoad();
        const Ref<UIView> root = view();
        root->setBackgroundColor(UIColor::blackColor());
        const CGRect b = root->bounds();
        live = UIImageView::initWithFrame(CGRectMake(0, 0, b.size.width, b.size.height - kBar));
        live->setContentMode(UIViewContentModeScaleAspectFill);
        live->setClipsToBounds(true);
        live->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        root->addSubview(live);
        bar = UIView::initWithFrame(CGRectMake(0, b.size.height - kBar, b.size.width, kBar));
        bar->setBackgroundColor(barColour());
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
        root->addSubview(bar);

        shutter = UIView::makeWithFrame<CameraButton>(CGRectMake(b.size.width / 2 - 33, 15, 66, 66));
        shutter->setBackgroundColor(UIColor::clearColor());
        shutter->look = moviesOnly() ? CameraButton::Record : CameraButton::Shutter;
        shutter->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
        shutter->addTarget_action_forControlEvents(self<NSObject>(),
                                                   UIControlAction::make("shutter", &UIImagePickerCameraScreen::shutterTapped),
                                                   UIControlEventTouchUpInside);
        bar->addSubview(shutter);
        cancelButton = barButton("取消", CGRectMake(8, 28, 70, 40));
        cancelButton->addTarget_action_forControlEvents(
            self<NSObject>(), UIControlAction::make("cancel", &UIImagePickerCameraScreen::cancel), UIControlEventTouchUpInside);
        bar->addSubview(cancelButton);
        retakeButton = barButton("重拍", CGRectMake(8, 28, 70, 40));
        retakeButton->addTarget_action_forControlEvents(
            self<NSObject>(), UIControlAction::make("retake", &UIImagePickerCameraScreen::retake), UIControlEventTouchUpInside);
        bar->addSubview(retakeButton);
        useButton = barButton("使用", CGRectMake(b.size.width - 78, 28, 70, 40));
        useButton->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
        useButton->addTarget_action_forControlEvents(
            self<NSObject>(), UIControlAction::make("use", &UIImagePickerCameraScreen::use), UIControlEventTouchUpInside);
        bar->addSubview(useButton);

        auto owner = picker.lock();
        const bool both = UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront) &&
                          UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear);
        if (both) {
            switchButton = barButton("⇄ 切换", CGRectMake(b.size.width - 88, 10, 80, 32));
            switchButton->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.45));
            switchButton->layer()->setCornerRadius(16);
            switchButton->titleLabel()->setFont(UIFont::systemFontOfSize(14));
            switchButton->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
            switchButton->addTarget_action_forControlEvents(
                self<NSObject>(), UIControlAction::make("switch", &UIImagePickerCameraScreen::switchCamera),
                UIControlEventTouchUpInside);
            root->addSubview(switchButton);
        }
        flashLabel = UILabel::initWithFrame(CGRectMake(8, 10, 110, 32));
        flashLabel->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.45));
        flashLabel->layer()->setCornerRadius(16);
        flashLabel->setTextColor(UIColor::whiteColor());
        flashLabel->setFont(UIFont::systemFontOfSize(14));
        flashLabel->setTextAlignment(UITextAlignmentCenter);
        root->addSubview(flashLabel);
        clockLabel = UILabel::initWithFrame(CGRectMake(b.size.width / 2 - 40, 10, 80, 32));
        clockLabel->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.45));
        clockLabel->setTextColor(UIColor::whiteColor());
        clockLabel->setFont(UIFont::boldSystemFontOfSize(15));
        clockLabel->setTextAlignment(UITextAlignmentCenter);
        clockLabel->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
        root->addSubview(clockLabel);
        showState();
    }

    void viewDidAppear(bool animated) override
    {
        UIViewController::viewDidAppear(animated);
        if (timer) return;
        // The live picture at ten frames a second (the synthetic camera's picture moves with the count).
        Weak<UIImagePickerCameraScreen> weak = self<UIImagePickerCameraScreen>();
        timer = NSTimer::timerWithTimeInterval(0.1, true, [weak] {
            if (auto screen = weak.lock()) screen->tick();
        });
        NSRunLoop::currentRunLoop()->addTimer(timer, kCFRunLoopCommonModes);
    }

    void viewDidDisappear(bool animated) override
    {
        UIViewController::viewDidDisappear(animated);
        if (timer) {
            timer->invalidate();
            timer = nullptr;
        }
    }

    NSInteger device() const
    {
        auto owner = picker.lock();
        return owner ? owner->cameraDevice() : UIImagePickerControllerCameraDeviceRear;
    }

    void tick()
    {
        if (reviewing) return;
        frame += 3;  // the camera runs at thirty frames a second
        if (recording) recorded += 0.1;
        showLive();
        showState();
    }

    void showLive()
    {
        if (support().cameraPicture) live->setImage(support().cameraPicture(device(), frame));
    }

    void showState()
    {
        auto owner = picker.lock();
        shutter->setHidden(reviewing);
        cancelButton->setHidden(reviewing || recording);
        retakeButton->setHidden(!reviewing);
        useButton->setHidden(!reviewing);
        if (switchButton) switchButton->setHidden(reviewing || recording);
        const bool flash = owner && UIImagePickerController::isFlashAvailableForCameraDevice(owner->cameraDevice());
        flashLabel->setHidden(!flash || reviewing);
        if (owner) {
            const NSInteger mode = owner->cameraFlashMode();
            flashLabel->setText(std::string("⚡ ") + (mode == UIImagePickerControllerCameraFlashModeOn    ? "打开"
                                                      : mode == UIImagePickerControllerCameraFlashModeOff ? "关闭"
                                                                                                           : "自动"));
        }
        clockLabel->setHidden(!moviesOnly());
        clockLabel->setText(lengthText(std::floor(recorded)));
        if (!live->image()) showLive();
    }

    void shutterTapped()
    {
        if (!moviesOnly()) {
            shot = live->image();
            if (!shot && support().cameraPicture) shot = support().cameraPicture(device(), frame);
            if (!shot) return;
            reviewing = true;
        } else if (!recording) {
            recording = true;
            recorded = 0;
            shutter->look = CameraButton::Stop;
            shutter->setNeedsDisplay();
        } else {
            recording = false;
            shutter->look = CameraButton::Record;
            shutter->setNeedsDisplay();
            movie = temporaryMoviePath(".MOV");
            // At least one picture's worth: a tap straight after the first still records a frame.
            if (!support().recordMovie || !support().recordMovie(movie, device(), std::max(recorded, 0.1))) {
                movie.clear();
                return;
            }
            reviewing = true;
        }
        showState();
    }

    void retake()
    {
        reviewing = false;
        shot = nullptr;
        if (!movie.empty()) {
            std::error_code ignored;
            std::filesystem::remove(movie, ignored);
            movie.clear();
        }
        recorded = 0;
        showState();
    }

    void use()
    {
        auto owner = picker.lock();
        if (!owner || !reviewing) return;
        if (!movie.empty()) {
            owner->simulateFinishPickingMediaWithInfo(movieInfo(movie));
        } else if (shot) {
            Weak<UIImagePickerCameraScreen> weak = self<UIImagePickerCameraScreen>();
            pictureChosen(owner, shot, [weak] {
                if (auto screen = weak.lock()) screen->retake();
            });
        }
    }

    void switchCamera()
    {
        auto owner = picker.lock();
        if (!owner) return;
        owner->setCameraDevice(owner->cameraDevice() == UIImagePickerControllerCameraDeviceFront
                                   ? UIImagePickerControllerCameraDeviceRear
                                   : UIImagePickerControllerCameraDeviceFront);
        showLive();
        showState();
    }

    void cancel()
    {
        if (auto owner = picker.lock()) owner->simulateCancel();
    }
};

// --- The picker's side ---

void UIImagePickerController::setMediaSupport(UIImagePickerMediaSupport media) { support() = std::move(media); }

const UIImagePickerMediaSupport& UIImagePickerController::mediaSupport() { return support(); }

std::string UIImagePickerController::mediaFolderPath() { return NSHomeDirectory() + "/Media"; }

void UIImagePickerController::viewDidLoad()
{
    UINavigationController::viewDidLoad();
    if (!viewControllers().empty()) {
        return;
    }
    if (sourceType_ == UIImagePickerControllerSourceTypeCamera) {
        auto camera = UIViewController::make<UIImagePickerCameraScreen>();
        camera->picker = self<UIImagePickerController>();
        setNavigationBarHidden(true);
        setViewControllers({camera});
    } else {
        auto library = UIViewController::make<UIImagePickerLibraryScreen>();
        library->picker = self<UIImagePickerController>();
        setViewControllers({library});
    }
}

Ref<UIViewController> UIImagePickerController::sourceScreen() const
{
    const auto& stack = viewControllers();
    return stack.empty() ? nullptr : stack.front();
}

namespace {

// One of the seeded pictures: a sky over water and hills with a sun, in the colours of one time of day.
Ref<UIImage> seededPicture(int index)
{
    const CGSize size = CGSizeMake(480, 360);
    UIGraphicsBeginImageContextWithOptions(size, true, 1);
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGFloat skies[][3] = {{0.45, 0.70, 0.95}, {0.98, 0.62, 0.35}, {0.20, 0.24, 0.45}};
    const CGFloat waters[][3] = {{0.16, 0.45, 0.62}, {0.55, 0.36, 0.40}, {0.10, 0.14, 0.28}};
    const auto& sky = skies[index % 3];
    const auto& water = waters[index % 3];
    c->setFillColor(CGColor::createRGB(sky[0], sky[1], sky[2], 1));
    c->fillRect(CGRectMake(0, 0, size.width, size.height));
    c->setFillColor(CGColor::createRGB(1, 0.92 - 0.2 * index, 0.55, 1));
    c->fillEllipseInRect(CGRectMake(300 - 90 * index, 50 + 20 * index, 70, 70));
    c->setFillColor(CGColor::createRGB(0.22, 0.42 - 0.08 * index, 0.26, 1));
    c->beginPath();
    c->moveToPoint(0, 230);
    c->addLineToPoint(120, 150 + 15 * index);
    c->addLineToPoint(230, 215);
    c->addLineToPoint(340, 160);
    c->addLineToPoint(480, 225);
    c->addLineToPoint(480, 260);
    c->addLineToPoint(0, 260);
    c->closePath();
    c->fillPath();
    c->setFillColor(CGColor::createRGB(water[0], water[1], water[2], 1));
    c->fillRect(CGRectMake(0, 250, size.width, 110));
    Ref<UIImage> picture = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return picture;
}

}  // namespace

bool UIImagePickerController::seedMediaLibraryIfNeeded()
{
    const std::string folder = mediaFolderPath();
    std::error_code error;
    if (std::filesystem::exists(folder, error)) {
        return false;
    }
    if (!std::filesystem::create_directories(folder + "/DCIM", error)) {
        return false;
    }
    bool made = false;
    for (int i = 0; i < 3; ++i) {
        const auto png = UIImagePNGRepresentation(seededPicture(i));
        made = (png && png->writeToFile_atomically(folder + "/DCIM/" + stringWithFormat("IMG_%04d.PNG", i + 1), true)) ||
               made;
    }
    if (support().recordMovie) {
        made = support().recordMovie(folder + "/DCIM/MOV_0001.MOV", UIImagePickerControllerCameraDeviceRear, 2) || made;
    }
    return made;
}
