// The review screen (import, accept as the video sign or toward publishing, reject keeping the job, no
// publishing without an imported clip) and the live recording through the bridge against the stand-in
// service.
#include "ScreenTestSupport.h"

#include "capture/PPlayer.h"
#include "capture/VideoShareController.h"
#include "platform/media/MPMoviePlayerController.h"
#include "fixtures/GrowingMovie.h"
#include "fixtures/MovieProbe.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIAlertView.h"
#include "service/CommitRoutes.h"
#include "service/TokenRoutes.h"
#include "service/UploadRoutes.h"

#include <fstream>
#include <iterator>

namespace {
namespace ReviewAndLiveTest_cpp {

using screentest::ScreenTest;
using namespace std::chrono_literals;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string param(const standin::Request& r, const char* name)
{
    return standin::findParam(r.formParams(), name).value_or("<none>");
}

class ReviewScreen : public ScreenTest {
protected:
    // A one-second clip in the media folder, as the recording screen leaves it.
    std::string recordedClip()
    {
        const std::string folder = NSHomeDirectory() + "/Documents/media";
        std::filesystem::create_directories(folder);
        const std::string path = folder + "/2026-12-10-22-00-00.MOV";
        GrowingMovie recording(path, {.seconds = 1});
        EXPECT_TRUE(recording.start()) << recording.error();
        while (recording.writeFrames(30)) {
        }
        EXPECT_TRUE(recording.finish()) << recording.error();
        return path;
    }

    // The review screen pushed in the recording flow, as the recording screen does.
    Ref<PZVideoCaptureEditController> openReview(const Value& path, bool sign, const Value& topic = Value())
    {
        flow = UINavigationController::initWithRootViewController(UIViewController::create());
        root->presentModalViewController_animated(flow, false);
        auto review = PZVideoCaptureEditController::create();
        review->setMovileFilePath(path);
        review->setVideoSign(sign);
        review->setTopic(topic);
        flow->pushViewController_animated(review, false);
        return review;
    }

    bool jobListed(const std::string& guid)
    {
        PZFFmpeg::findAllFlvs();
        const Value list = g_ffmpeg->localVideos();
        for (const Value& entry : list.arrayItems()) {
            if (entry["guid"].stringValue() == guid) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(ReviewScreen, AcceptingAVideoSignPublishesItAtOnceAsTheSign)
{
    startEngine();
    auto review = openReview(Value(recordedClip()), true);
    ASSERT_TRUE(review->guid().isString());
    EXPECT_TRUE(flow->isNavigationBarHidden());
    tap(review->captureAcceptButton());
    settle();
    // The flow closed; no publish screen.
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(flow->viewControllers().size(), 2u);

    // Titled as the sign, seen by nobody else, and made the user's sign, on the service.
    auto& server = service.server();
    ASSERT_TRUE(pumpMainUntil(
        [&] {
            return !server.requests(standin::kVideoSignPath).empty() && !server.requests(standin::kShareWithPath).empty() &&
                   !server.requests(standin::kModifyChannelPath).empty();
        },
        60s));
    EXPECT_EQ(param(server.requests(standin::kModifyChannelPath)[0], "title"), "ombrivideosign");
    EXPECT_EQ(param(server.requests(standin::kShareWithPath)[0], "suids"), "off");
}

TEST_F(ReviewScreen, AcceptingOpensThePublishScreenWithTheJobAndTopicAndRejectingKeepsTheJob)
{
    startEngine();
    const std::string clip = recordedClip();
    auto review = openReview(Value(clip), false, Value("#周末#"));
    const Value guid = review->guid();
    ASSERT_TRUE(guid.isString());
    EXPECT_TRUE(jobListed(guid.stringValue()));
    // The clip plays below the buttons.
    ASSERT_TRUE(review->player());
    EXPECT_EQ(review->view()->subviews().front(), std::static_pointer_cast<UIView>(review->player()));
    EXPECT_EQ(review->player()->frame().size.height, 407);
    review->player()->play();
    ASSERT_TRUE(pumpMainUntil([] { return PPlayer::sharedMoviePlayer()->playbackState() == MPMoviePlaybackStatePlaying; }));

    tap(review->captureAcceptButton());
    settle();
    auto share = std::dynamic_pointer_cast<VideoShareController>(flow->topViewController());
    ASSERT_TRUE(share);
    // The review screen went out of sight: the clip stopped playing.
    EXPECT_EQ(PPlayer::sharedMoviePlayer()->playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_FALSE(review->player()->isPlayer());
    EXPECT_EQ(share->guid().stringValue(), guid.stringValue());
    EXPECT_EQ(share->topic().stringValue(), "#周末#");

    // Back on review, the person rejects: the flow closes, the clip and its job stay.
    flow->popViewControllerAnimated(false);
    tap(review->captureRejectButton());
    settle();
    EXPECT_FALSE(root->modalViewController());
    EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath(clip));
    EXPECT_TRUE(jobListed(guid.stringValue()));
    EXPECT_TRUE(service.server().requests(standin::kMediaPath).empty());
    EXPECT_TRUE(service.server().requests(standin::kTokenPath).empty());
}

TEST_F(ReviewScreen, WithoutAnImportedClipAcceptTellsThePersonAndQueuesNothing)
{
    startEngine();
    struct Case {
        const char* name;
        bool sign;
        bool throughRecording;  // a recording whose media folder could not be made, else a clip that is not there
    };
    const Case cases[] = {{"sign after a failed recording", true, true}, {"publish of a missing clip", false, false}};
    const std::string media = NSHomeDirectory() + "/Documents/media";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ref<PZVideoCaptureEditController> review;
        if (c.throughRecording) {
            // Something else took the folder's name: the screen cannot make it and records nowhere.
            std::filesystem::remove_all(media);
            std::filesystem::create_directories(NSHomeDirectory() + "/Documents");
            std::ofstream(media) << "not a folder";
            ASSERT_TRUE(std::filesystem::is_regular_file(media));
            auto screen = openRecording(false, c.sign);
            frames(screen, 1);
            tap(screen->captureButton());
            frames(screen, 5);
            tap(screen->captureButton());
            settle();
            review = std::dynamic_pointer_cast<PZVideoCaptureEditController>(flow->topViewController());
            ASSERT_TRUE(review);
            EXPECT_TRUE(review->isVideoSign());
        } else {
            review = openReview(Value(media + "/2026-12-10-23-59-59.MOV"), c.sign);
        }
        EXPECT_TRUE(review->guid().isNil());

        tap(review->captureAcceptButton());
        auto alert = UIAlertView::currentAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->title(), kCaptureNoVideoTitle);
        EXPECT_EQ(alert->message(), kCaptureNoVideoMessage);
        alert->simulateClickButtonAtIndex(0);
        settle();
        // Still on review: nothing pushed, nothing closed.
        EXPECT_EQ(flow->topViewController(), review);
        EXPECT_TRUE(root->modalViewController());
        root->dismissModalViewControllerAnimated(false);
        std::filesystem::remove_all(media);
    }
    // The engine was handed nothing: no job, no upload, no call to the service.
    PZFFmpeg::findAllFlvs();
    EXPECT_EQ(g_ffmpeg->localVideos().count(), 0u);
    const auto requests = service.server().requests();
    for (const standin::Request& r : requests) {
        EXPECT_NE(r.path, standin::kTokenPath);
        EXPECT_NE(r.path, standin::kVideoSignPath);
        EXPECT_NE(r.path, standin::kModifyChannelPath);
    }
}

class LiveRecording : public ScreenTest {};

TEST_F(LiveRecording, GrowingFileGoesUpWhileRecordedAndTheScreenClosesWhenItStops)
{
    startEngine();
    NSLogCapture log;
    auto screen = openRecording(true);
    const std::string movie = screen->movileFilePath();
    const std::string flv = movie.substr(0, movie.size() - 3) + "flv";
    frames(screen, 1);
    tap(screen->captureButton());
    // However soon the engine's job thread takes the live job, the movie is there for its remux.
    ASSERT_TRUE(pumpMainUntil([&] { return log.contains("transformat_thread info:"); }, 30s));
    EXPECT_FALSE(log.contains("transformat_thread info:-1"));

    // The engine's live job remuxes the growing movie and uploads it while the camera goes on.
    frames(screen, 60);
    ASSERT_TRUE(pumpMainUntil([&] { return !g_ffmpeg->livingScid().stringValue().empty(); }, 30s));
    const std::string scid = g_ffmpeg->livingScid().stringValue();
    ASSERT_TRUE(pumpMainUntil(
        [&] {
            for (const standin::ReceivedBlock& b : service.uploads().blocks(scid, "flv")) {
                if (b.lastMode == "live") {
                    return true;
                }
            }
            return false;
        },
        30s));
    frames(screen, 15);

    // Stop: the file is finished, the live job ends, the screen closes; there is no review.
    tap(screen->captureButton());
    const ProbedMovie probed = probeMovie(movie);
    ASSERT_EQ(probed.error, "");
    ASSERT_TRUE(probed.stream("video"));
    EXPECT_EQ(probed.stream("video")->packetTimes.size(), 75u);
    EXPECT_TRUE(g_ffmpeg->livingScid().isNil());
    settle();
    EXPECT_FALSE(root->modalViewController());

    // The service ends up with exactly the local FLV, closed by the end call.
    ASSERT_TRUE(pumpMainUntil([&] { return service.uploads().endCalls(scid, "flv") == 1; }, 60s));
    const std::string local = readFile(flv);
    ASSERT_GT(local.size(), 64u * 1024);
    EXPECT_TRUE(service.uploads().contents(scid, "flv") == local)
        << service.uploads().contents(scid, "flv").size() << " of " << local.size();
}

TEST_F(LiveRecording, LeavingWhileLiveStopsTheLiveJobAfterTheFileIsFinished)
{
    startEngine();
    auto screen = openRecording(true);
    const std::string movie = screen->movileFilePath();
    frames(screen, 1);
    tap(screen->captureButton());
    frames(screen, 30);
    ASSERT_TRUE(pumpMainUntil([&] { return !g_ffmpeg->livingScid().stringValue().empty(); }, 30s));
    const std::string scid = g_ffmpeg->livingScid().stringValue();

    root->dismissModalViewControllerAnimated(false);
    EXPECT_TRUE(g_ffmpeg->livingScid().isNil());
    const ProbedMovie probed = probeMovie(movie);
    ASSERT_EQ(probed.error, "");
    ASSERT_TRUE(probed.stream("video"));
    EXPECT_EQ(probed.stream("video")->packetTimes.size(), 30u);
    // The live job became an ordinary upload and finishes.
    ASSERT_TRUE(pumpMainUntil([&] { return service.uploads().endCalls(scid, "flv") == 1; }, 60s));
}

}  // namespace ReviewAndLiveTest_cpp
}  // namespace
