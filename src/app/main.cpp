// The system's main program. By default it starts the application as the phone does: the application
// object with its delegate "ombriAppDelegate" (start-up, root controller, engine, version check and
// reminders against the service at OMBRI_SERVICE_HOST, home folder OMBRI_HOME), then the main run loop
// until the application terminates. Its second mode drives the engine bridge along the road of one
// recorded video: it starts the engine as the application does at launch, stores a login, records a
// short movie (the synthetic camera and microphone), enters it, publishes it with a title, visibility,
// a place, friends and a microblog share as the publish screen does, and lets the engine upload it. It
// prints the status-bar messages as they are shown and the notifications the bridge posts, until the
// upload has finished and the local job is deleted.
//
//     ombri [--seconds N] [--headless] [--verbose] the application, in a desktop window when a display
//                                                  is present (closing it terminates the application),
//                                                  else headless (--headless: always); --seconds N
//                                                  terminates it after N seconds; prints what it shows
//                                                  (--frame-sums: a check sum of each frame's colours)
//     ombri --tour DIR [--window]                  the application driven along its main road as a
//                                                  person would (see app/Tour.h), a picture and a line
//                                                  per step; headless unless --window
//     ombri --publish [--keep] [--verbose]         the publish road; --keep leaves the scratch folder
//                                                  (home, movie, database, engine log); --verbose also
//                                                  writes the log (the engine's lines among it) to stderr
//
// The tour ends with 0 when every step saw what it expected. The publish road ends with 0 once the video is published and its local job deleted, 1 when that has
// not happened within two minutes or the movie cannot be made.
#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "platform/foundation/Configuration.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/uikit/CLLocationManager.h"
#include "platform/uikit/MKMapView.h"
#include "platform/media/MovieFileWriter.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/screen/UIScreenDisplay.h"
#include "platform/uikit/UIScreen.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UINavigationController.h"
#include "app/Tour.h"
#include "shell/RootViewController.h"
#include "shell/ombriAppDelegate.h"
#include "widgets/StatusBarOverlay.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_printMutex;

std::string usageText()
{
    return "usage: ombri [--seconds N] [--headless] [--frame-sums] [--verbose]\n"
           "       ombri --tour DIR [--window] [--seconds N] [--verbose]\n"
           "       ombri --publish [--keep] [--verbose]\n"
           "       ombri --help\n"
           "\n"
           "  (no mode)       the application, in a desktop window when a display is present\n"
           "  --seconds N     terminate the application after N seconds\n"
           "  --headless      never open a window\n"
           "  --frame-sums    print a check sum of the colours of every frame the window presents\n"
           "  --verbose       also write the log to stderr\n"
           "  --tour DIR      drive the application along its main road as a person would, a picture\n"
           "                  per step in DIR; headless unless --window; exit 0 when every step held\n"
           "  --window        with --tour: show the tour in a desktop window\n"
           "  --publish       record a short movie and publish it through the engine, printing the\n"
           "                  status-bar messages and notifications until it is uploaded\n"
           "  --keep          with --publish: keep the scratch folder\n"
           "  --help, -h      print this text\n"
           "\n" +
           Configuration::usage();
}

void say(const std::string& line)
{
    std::lock_guard hold(g_printMutex);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Prints each status-bar message as the overlay puts it up (main thread).
class MessagePrinter : public StatusBarOverlayDelegate {
public:
    void statusBarOverlayDidSwitchFromOldMessage_toNewMessage(const Value&, const std::string& newMessage) override
    {
        say("status bar: " + newMessage);
        ++shown;
    }
    int shown = 0;
};

// Two seconds of the synthetic camera and microphone as the phone records them.
bool recordMovie(const std::string& path)
{
    MovieFileSettings settings;
    MovieFileWriter writer;
    if (!writer.startWriting(path, settings)) {
        std::fprintf(stderr, "ombri: cannot record %s: %s\n", path.c_str(), writer.error().c_str());
        return false;
    }
    SyntheticCamera camera(settings.width, settings.height);
    SyntheticMicrophone microphone(settings.audioSampleRate);
    const int frames = 2 * settings.frameRate;
    std::vector<float> sound(static_cast<size_t>(settings.audioSampleRate / settings.frameRate));
    for (int i = 0; i < frames; ++i) {
        microphone.read(sound.data(), sound.size());
        if (!writer.appendAudioSamples(sound.data(), sound.size()) || !writer.appendVideoFrame(camera.frameAt(i))) {
            std::fprintf(stderr, "ombri: recording failed: %s\n", writer.error().c_str());
            return false;
        }
    }
    if (!writer.finishWriting()) {
        std::fprintf(stderr, "ombri: recording failed: %s\n", writer.error().c_str());
        return false;
    }
    return true;
}

// The upload progress of the job as the bridge's list shows it ("" when the list does not hold it).
std::string progressOf(const std::string& guid)
{
    if (auto ffmpeg = g_ffmpeg.get()) {
        const Value list = ffmpeg->localVideos();
        for (const Value& entry : list.arrayItems()) {
            if (entry["guid"].isEqualToString(guid)) {
                return entry["upprocess"].stringValue();
            }
        }
    }
    return "";
}

// What the application shows now: the top screen of the root's current stack and what covers it.
std::string shownScreens()
{
    if (!g_root) {
        return "nothing";
    }
    std::string text = "nothing";
    if (auto stack = g_root->lastDisplayedNavi()) {
        if (auto top = stack->topViewController()) {
            text = top->className() + " \"" + top->title() + "\"";
        }
    }
    if (auto presented = g_root->modalViewController()) {
        auto stack = std::dynamic_pointer_cast<UINavigationController>(presented);
        auto shown = stack && stack->topViewController() ? stack->topViewController() : presented;
        text += ", under " + shown->className();
    }
    return text;
}

// A check sum of the colours of a picture's pixels (each pixel's red, green and blue bytes, FNV-1a), so
// a picture taken elsewhere of what was shown can be compared with it.
std::string colourSum(const CGContextRef& pixels)
{
    uint32_t hash = 2166136261u;
    for (size_t y = 0; y < pixels->pixelHeight(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(pixels->data()) +
                                                            y * pixels->bytesPerRow());
        for (size_t x = 0; x < pixels->pixelWidth(); ++x) {
            for (int shift : {16, 8, 0}) {
                hash = (hash ^ ((row[x] >> shift) & 0xFF)) * 16777619u;
            }
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "%08x", hash);
    return text;
}

// The phone the application runs on, beside its screen: its cameras are the synthetic ones (the
// screens that record ask the image picker for them), and it stands by the West Lake in Hangzhou, an
// address the map's geocoder knows (the place picker offers it).
void setUpPhone()
{
    AVCaptureDevice::announceCamerasToImagePicker();
    // A new user's album is not empty: a few pictures and a short movie to pick from.
    UIImagePickerController::seedMediaLibraryIfNeeded();
    const CLLocationCoordinate2D here{30.2590, 120.1380};
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(here.latitude, here.longitude));
    MKReverseGeocoder::setPlacemarks({{.coordinate = here,
                                       .country = "中国",
                                       .countryCode = "CN",
                                       .administrativeArea = "浙江省",
                                       .locality = "杭州市",
                                       .subLocality = "西湖区",
                                       .thoroughfare = "南山路",
                                       .subThoroughfare = "15号"}});
}

int runApplication(int argc, char** argv, double seconds, bool headless, bool frameSums, const std::string& tour)
{
    UIImage::installImageCodecs();
    // The phone's screen: 320 x 480 points at scale 2, in a window when there is a display.
    UIScreen::mainScreen()->setScale(2);
    setUpPhone();
    UIScreenDisplay::Options display;
    if (frameSums) {
        display.framePresented = [](const CGContextRef& pixels) {
            say("ombri: frame " + std::to_string(UIScreenDisplay::framesPresented()) + " " + colourSum(pixels));
        };
    }
    if (!headless && UIScreenDisplay::open(display)) {
        say("ombri: window " + std::to_string(UIScreenDisplay::pixelWidth()) + "x" +
            std::to_string(UIScreenDisplay::pixelHeight()));
    } else {
        say("ombri: headless");
    }
    ombriAppDelegate::registerClass();
    auto center = NSNotificationCenter::defaultCenter();
    auto launched = center->addObserverForName_object_usingBlock(
        UIApplicationDidFinishLaunchingNotification, Value(),
        [](const auto&) { say("ombri: launched, showing " + shownScreens()); });
    auto reminded = center->addObserverForName_object_usingBlock(
        kSystemRemindNotification, Value(), [](const auto&) { say("ombri: new system messages"); });
    auto terminating = center->addObserverForName_object_usingBlock(
        UIApplicationWillTerminateNotification, Value(),
        [](const auto&) { say("ombri: terminating, showing " + shownScreens()); });
    // The tour starts once the main loop turns after the launch, and terminates the application at its end.
    int tourResult = 0;
    if (!tour.empty()) {
        NSRunLoop::mainRunLoop()->performBlock([tour, &tourResult] {
            tourResult = runTour(tour) ? 0 : 1;
            say(tourResult == 0 ? "ombri: tour done, pictures in " + tour : "ombri: tour FAILED, pictures in " + tour);
            UIApplication::sharedApplication()->terminate();
        });
    }
    Ref<NSTimer> stop;
    if (seconds > 0) {
        // The main thread's loop, which UIApplicationMain runs.
        stop = NSTimer::scheduledTimerWithTimeInterval(seconds, false, [] {
            UIApplication::sharedApplication()->terminate();
        });
    }
    const int result = UIApplicationMain(argc, argv, "", "ombriAppDelegate");
    UIScreenDisplay::close();
    // As the phone ends a terminated application: the engine stops with it.
    if (g_ffmpeg.get()) {
        PZFFmpeg::globleUninit();
        say("ombri: engine stopped");
    }
    center->removeObserver(launched);
    center->removeObserver(reminded);
    center->removeObserver(terminating);
    // The engine's threads go on running: end without running destructors they may still use.
    std::_Exit(result != 0 ? result : tourResult);
}

}  // namespace

int main(int argc, char** argv)
{
    bool keep = false;
    bool verbose = false;
    bool publish = false;
    bool headless = false;
    bool frameSums = false;
    bool window = false;
    std::string tour;
    double seconds = 0;
    // A flag the program does not know ends it before anything starts: a misspelt flag must not run
    // the application with the defaults it was meant to change.
    auto refuse = [](const std::string& why) {
        std::fprintf(stderr, "ombri: %s\n%s", why.c_str(), usageText().c_str());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        } else if (flag == "--keep") {
            keep = true;
        } else if (flag == "--verbose") {
            verbose = true;
        } else if (flag == "--publish") {
            publish = true;
        } else if (flag == "--headless") {
            headless = true;
        } else if (flag == "--frame-sums") {
            frameSums = true;
        } else if (flag == "--window") {
            window = true;
        } else if (flag == "--tour") {
            if (i + 1 >= argc || *argv[i + 1] == '\0') {
                return refuse("--tour needs a folder");
            }
            tour = argv[++i];
        } else if (flag == "--seconds") {
            char* end = nullptr;
            seconds = i + 1 < argc ? std::strtod(argv[i + 1], &end) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || !(seconds > 0)) {
                return refuse("--seconds needs a number of seconds above 0");
            }
            ++i;
        } else {
            return refuse("unknown flag " + flag);
        }
    }
    NSLogSetStderrEnabled(verbose);
    if (!publish) {
        return runApplication(argc, argv, seconds, headless || (!tour.empty() && !window), frameSums, tour);
    }
    const std::string host = Configuration::serviceHost();

    std::string pattern = (std::filesystem::temp_directory_path() / "ombri-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("ombri: scratch folder");
        return 1;
    }
    const std::string home = pattern;
    if (!FoundationRoots::setHomeDirectory(home)) {
        std::fprintf(stderr, "ombri: cannot make the home folder %s\n", home.c_str());
        return 1;
    }
    designateMainThread();
    say("ombri: service " + host + ", home " + home);

    auto printer = std::make_shared<MessagePrinter>();
    StatusBarOverlay::sharedOverlay()->setDelegate(printer);
    std::mutex jobMutex;
    std::string guid;
    std::atomic<bool> mediaDeleted{false};
    auto center = NSNotificationCenter::defaultCenter();
    // Posted on the engine's threads.
    auto updateObserver = center->addObserverForName_object_usingBlock(kUpdateUINotification, Value(), [&](const auto&) {
        std::string job;
        {
            std::lock_guard hold(jobMutex);
            job = guid;
        }
        const std::string progress = progressOf(job);
        say("notification: updateui" + (progress.empty() ? std::string() : " (uploaded " + progress + "%)"));
    });
    auto deleteObserver = center->addObserverForName_object_usingBlock(kDeleteMediaNotification, Value(),
                                                                       [&](const auto&) {
                                                                           say("notification: delete_media");
                                                                           mediaDeleted = true;
                                                                       });

    // As the application starts: the engine first, then the login screen stores the service's reply.
    PZFFmpeg::globleInit();
    storeUserInfo(Value::dictionary({{"status", Value(200)},
                                     {"token", Value("runtoken")},
                                     {"suid", Value("1")},
                                     {"nick", Value("runner")},
                                     {"username", Value("runner")}}));
    say("ombri: logged in as runner, media folder " + getUserMediaFolder());

    // The recording screen's movie.
    const std::string mediaFolder = FoundationRoots::documentsDirectory() + "/media";
    std::filesystem::create_directories(mediaFolder);
    const std::string movie = mediaFolder + "/2012-05-01-15-30-00.MOV";
    if (!recordMovie(movie)) {
        std::_Exit(1);
    }
    say("ombri: recorded " + movie + " (" + std::to_string(std::filesystem::file_size(movie)) + " bytes)");

    // The review screen enters it; the publish screen publishes it.
    const Value movieGuid = PZFFmpeg::getMovieGuid(movie);
    if (!movieGuid.isString()) {
        std::fprintf(stderr, "ombri: the engine did not take the movie\n");
        std::_Exit(1);
    }
    {
        std::lock_guard hold(jobMutex);
        guid = movieGuid.string();
    }
    PZFFmpeg::findAllFlvs();
    say("ombri: job " + movieGuid.string());
    const std::string title = "Sunset walk";
    PZFFmpeg::modify_withTitleOnline(movieGuid.string(), title);
    PZFFmpeg::startUpload_withLimits(movieGuid.string(), "all");
    PZFFmpeg::addLocation_longi_toGuid_locationText(31.23, 121.47, movieGuid.string(), "People's Square");
    PZFFmpeg::withSomebody_withSuid(movieGuid.string(), "12,34");
    PZFFmpeg::shareWeibo_withMessage_(movieGuid.string(), title, "2,3");

    // Until the upload has finished, both messages were shown and the local job is gone.
    const bool done = pumpMainUntil(
        [&] {
            return mediaDeleted && printer->shown >= 2 &&
                   PZFFmpeg::fetchMovieInfo_WithField(movieGuid.string(), "guid").isNil();
        },
        std::chrono::minutes(2));
    say(done ? "ombri: published and uploaded; local job deleted" : "ombri: the upload did not finish in time");

    center->removeObserver(updateObserver);
    center->removeObserver(deleteObserver);
    StatusBarOverlay::sharedOverlay()->setDelegate(nullptr);
    PZFFmpeg::globleUninit();
    if (!keep) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    // The engine's threads go on running: end without running destructors they may still use.
    std::_Exit(done ? 0 : 1);
}
