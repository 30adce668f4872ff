// Gallery entries of the device's own screens and controls: the mail and message composers, the image
// picker's album grid and camera, a table's delete button, the caret and a selection in a field, and
// the drawn keyboard's pages.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/uikit/MessageUI.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIKeyboardView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace gallery {

namespace {
namespace DeviceEntries_cpp {

const CGSize kScreen{320, 480};

// A screen that presents one of the device's screens over itself.
Ref<UIViewController> presenting(const Ref<UIWindow>& window, const Ref<UIViewController>& shown)
{
    auto host = UIViewController::create();
    host->view()->setBackgroundColor(UIColor::whiteColor());
    window->setRootViewController(host);
    host->presentModalViewController_animated(shown, false);
    UIGallery::keep(host);
    return host;
}

void tapMiddle(const Ref<UIWindow>& window, const Ref<UIView>& view)
{
    if (!view) return;
    const CGRect b = view->bounds();
    window->simulateTap(view->convertPoint_toView(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)), nullptr));
}

class TopicRows : public NSObject, public UITableViewDataSource, public UITableViewDelegate {
public:
    std::vector<std::string> rows{"#西湖#", "#美食#", "#旅行#", "#摄影#", "#萌宠#"};
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override
    {
        return NSInteger(rows.size());
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& path) override
    {
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Topic");
        cell->textLabel()->setText(rows[size_t(path->row())]);
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        return cell;
    }
};

// A field on a plain screen, editing, with the text and the selection given.
Ref<UITextField> editingField(const Ref<UIWindow>& window, const std::string& text, NSRange selection,
                              UIReturnKeyType returnKey = UIReturnKeyDefault)
{
    auto label = UILabel::initWithFrame(CGRectMake(20, 40, 280, 24));
    label->setText("标题");
    label->setFont(UIFont::systemFontOfSize(15));
    window->addSubview(label);
    auto field = UITextField::initWithFrame(CGRectMake(20, 70, 280, 36));
    field->setBorderStyle(UITextBorderStyleRoundedRect);
    field->setFont(UIFont::systemFontOfSize(17));
    field->setContentVerticalAlignment(UIControlContentVerticalAlignmentCenter);
    field->setPlaceholder("写点什么");
    field->setReturnKeyType(returnKey);
    field->setText(text);
    window->addSubview(field);
    field->becomeFirstResponder();
    field->setSelectedRange(selection);
    return field;
}

}  // namespace DeviceEntries_cpp
}  // namespace

void registerDeviceEntries()
{
    using namespace DeviceEntries_cpp;
    UIGallery::add({"mail-composer", kScreen, [](const Ref<UIWindow>& window) {
                        auto mail = MFMailComposeViewController::create();
                        mail->setToRecipients({"friend@example.com"});
                        mail->setSubject("来自您的朋友小明在Ombri的视频");
                        mail->setMessageBody_isHTML(
                            "我在Ombri手机视频分享软件的视频，点击看Ombri吧^_^<a href='http://127.0.0.1:8080/show/"
                            "sc3001.htm'>西湖边的傍晚</a>",
                            true);
                        mail->addAttachmentData_mimeType_fileName(NSData::dataWithString(std::string(48000, 'x')),
                                                                  "image/jpeg", "封面.jpg");
                        presenting(window, mail);
                    }});
    UIGallery::add({"message-composer", kScreen, [](const Ref<UIWindow>& window) {
                        auto text = MFMessageComposeViewController::create();
                        text->setRecipients({"13800138000"});
                        text->setBody("来看我在Ombri手机视频分享软件的视频，西湖边的傍晚：http://127.0.0.1:8080/show/sc3001.htm");
                        presenting(window, text);
                    }});
    UIGallery::add({"image-picker-library", kScreen, [](const Ref<UIWindow>& window) {
                        AVCaptureDevice::announceCamerasToImagePicker();
                        UIImagePickerController::seedMediaLibraryIfNeeded();
                        auto picker = UIImagePickerController::create();
                        picker->setSourceType(UIImagePickerControllerSourceTypeSavedPhotosAlbum);
                        picker->setMediaTypes({kUTTypeImage, kUTTypeMovie});
                        presenting(window, picker);
                    }});
    for (const bool shot : {false, true}) {
        UIGallery::add({shot ? "image-picker-camera-shot" : "image-picker-camera", kScreen,
                        [shot](const Ref<UIWindow>& window) {
                            AVCaptureDevice::announceCamerasToImagePicker();
                            auto picker = UIImagePickerController::create();
                            picker->setSourceType(UIImagePickerControllerSourceTypeCamera);
                            picker->setAllowsEditing(true);
                            presenting(window, picker);
                            window->layoutIfNeeded();
                            if (!shot) return;
                            // The shutter: the one control of the camera's bar that is no titled button.
                            std::function<Ref<UIControl>(const Ref<UIView>&)> shutter = [&](const Ref<UIView>& view) {
                                for (const auto& sub : view->subviews()) {
                                    auto control = std::dynamic_pointer_cast<UIControl>(sub);
                                    if (control && !std::dynamic_pointer_cast<UIButton>(sub)) return control;
                                    if (auto found = shutter(sub)) return found;
                                }
                                return Ref<UIControl>();
                            };
                            tapMiddle(window, shutter(picker->sourceScreen()->view()));
                        }});
    }
    UIGallery::add({"image-picker-move-and-scale", kScreen, [](const Ref<UIWindow>& window) {
                        AVCaptureDevice::announceCamerasToImagePicker();
                        UIImagePickerController::seedMediaLibraryIfNeeded();
                        auto picker = UIImagePickerController::create();
                        picker->setSourceType(UIImagePickerControllerSourceTypePhotoLibrary);
                        picker->setAllowsEditing(true);
                        presenting(window, picker);
                        window->layoutIfNeeded();
                        // The first picture of the grid, then the frame scaled up once.
                        std::function<Ref<UIControl>(const Ref<UIView>&, const std::string&)> find =
                            [&](const Ref<UIView>& view, const std::string& title) {
                                for (const auto& sub : view->subviews()) {
                                    auto control = std::dynamic_pointer_cast<UIControl>(sub);
                                    auto button = std::dynamic_pointer_cast<UIButton>(sub);
                                    if (control && (title.empty() ? !button
                                                                  : button && button->titleForState(UIControlStateNormal) == title)) {
                                        return control;
                                    }
                                    if (auto found = find(sub, title)) return found;
                                }
                                return Ref<UIControl>();
                            };
                        tapMiddle(window, find(picker->sourceScreen()->view(), ""));
                        window->layoutIfNeeded();
                        tapMiddle(window, find(picker->topViewController()->view(), "＋"));
                    }});
    UIGallery::add({"table-editing-delete-button", kScreen, [](const Ref<UIWindow>& window) {
                        auto rows = std::make_shared<TopicRows>();
                        UIGallery::keep(rows);
                        auto table = UITableView::initWithFrame_style(window->bounds(), UITableViewStylePlain);
                        table->setDataSource(rows);
                        table->setDelegate(rows);
                        window->addSubview(table);
                        table->reloadData();
                        table->setEditing(true);
                        auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(1, 0));
                        if (cell) tapMiddle(window, cell->deleteControl());
                    }});
    UIGallery::add({"text-field-caret", CGSizeMake(320, 140), [](const Ref<UIWindow>& window) {
                        editingField(window, "西湖边的傍晚 Evening", NSMakeRange(6, 0));
                    }});
    UIGallery::add({"text-field-selection", CGSizeMake(320, 140), [](const Ref<UIWindow>& window) {
                        editingField(window, "西湖边的傍晚 Evening", NSMakeRange(7, 7));
                    }});
    for (const bool symbols : {false, true}) {
        UIGallery::add({symbols ? "keyboard-symbols" : "keyboard-letters", kScreen, [symbols](const Ref<UIWindow>& window) {
                            editingField(window, symbols ? "#西湖#" : "Hello", NSMakeRange(symbols ? 4 : 5, 0),
                                         symbols ? UIReturnKeyDone : UIReturnKeySend);
                            if (auto keyboard = UIKeyboard::keyboardView()) {
                                keyboard->setPage(symbols ? UIKeyboardView::Symbols : UIKeyboardView::Letters);
                            }
                        }});
    }
}

}  // namespace gallery
