#pragma once
// The publish screen of one local video: the title (with a topic appended), a place, up to four
// friends and the microblog services to share to; "分享" hands everything to the media engine through
// the bridge, keyed by the video's job (its guid), and leaves. The screen never talks to the service
// itself: the upload and every call after it run in the engine.
//
// Made with create(); the creator sets guid (and topic when it has one) before pushing it.
#include <string>

#include "api/PZViewController.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/CoreLocation.h"
#include "platform/uikit/MapKit.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITextView.h"
#include "capture/TopicViewController.h"

// Told when a movie picked from the album cannot be read.
inline constexpr char kImportFailedMessage[] = "视频导入失败";

class VideoShareController : public PZViewController,
                             public UITextViewDelegate,
                             public UIActionSheetDelegate,
                             public TopicViewControllerDelegate {
public:
    static Ref<VideoShareController> create() { return make<VideoShareController>(); }

    // The engine's job of the video (a text; nil when an import failed).
    const Value& guid() const { return guid_; }
    void setGuid(const Value& guid) { guid_ = guid; }
    // The engine enters any file it is given as a job, so a movie picked from the album is checked
    // first: it must open as a movie with a picture (not an empty file or a web page).
    static bool isImportableMovie(const std::string& path);
    // A topic to append to the title the next time the screen appears (a text or nil).
    const Value& topic() const { return topic_; }
    void setTopic(const Value& topic) { topic_ = topic; }

    // --- Outlets (from the interface file, except placeHolder and mapView) ---
    Ref<UITextView> message;
    Ref<UILabel> placeHolder;
    Ref<UIButton> avatarButton;
    Ref<UIButton> videoThumbButton;
    Ref<UIButton> withSomebodyButton;
    Ref<UIButton> withSomebodyButton1;
    Ref<UIButton> withSomebodyButton2;
    Ref<UIButton> withSomebodyButton3;
    Ref<UIButton> withSomebodyButton4;
    Ref<UIButton> locationTopButton;
    Ref<UIButton> locationBottomButton;
    Ref<MKMapView> mapView;
    Ref<UIButton> shareLumoButton;
    Ref<UIButton> shareQQButton;
    Ref<UILabel> shareTipLable;
    // Made in code: the topic button over the message.
    Ref<UIButton> topicButton;

    // The chosen place; (0, 0) until one is chosen. A hidden map means no place.
    CLLocationCoordinate2D locationCoordinate2D() const { return locationCoordinate2D_; }
    // The chosen friends (records with "suid" and "icon"), or nil.
    const Value& withList() const { return withList_; }
    // The account read when the view loaded.
    const Value& account() const { return account_; }

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

    // --- From the pickers ---
    void setSelectedTopic(const std::string& topic) override;
    void withSomebody(const Value& list);
    void locationWithCoord_place(CLLocationCoordinate2D coordinate, const std::string& place);

    // --- Actions ---
    void shareVideo();
    void backRootView();
    void atTopic();
    void toggleBigThumb();
    void setLocation();
    void setWithSomebody();
    void shareLumo();
    void shareQQ();

    bool textViewShouldBeginEditing(const Ref<UITextView>& textView) override;
    void textViewDidBeginEditing(const Ref<UITextView>& textView) override;
    void textViewDidEndEditing(const Ref<UITextView>& textView) override;
    void textViewDidChange(const Ref<UITextView>& textView) override {}
    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) override;

    // Registers the interface file "VideoShareController" unless it is registered already.
    static void registerNib();
    // Registers the interface file first, so that the view loads from it.
    void initBody() override;
    // The edition word the share codes follow; tests switch it to see another edition's codes ("" is
    // this build's word).
    static void setEditionWordForTesting(const std::string& word);

    VideoShareController() = default;


private:
    Value guid_;
    Value topic_;
    CLLocationCoordinate2D locationCoordinate2D_;
    Value withList_;
    Value account_;
};
