#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/media/AudioServices.h"
#include "widgets/SoundEffect.h"

namespace fs = std::filesystem;

namespace {

// The application's sounds, read from the source tree's bundle folder.
std::string bundledSound(const std::string& name)
{
    // Under ctest the source tree is named; otherwise the copy beside the programs is used.
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    const Ref<NSBundle> bundle =
        source ? NSBundle::bundleWithPath(std::string(source) + "/resources") : NSBundle::mainBundle();
    return bundle ? bundle->pathForResource_ofType(name, "wav") : std::string();
}

std::string le32(uint32_t v)
{
    return std::string{char(v & 0xff), char(v >> 8 & 0xff), char(v >> 16 & 0xff), char(v >> 24 & 0xff)};
}

// A RIFF/WAVE file with a 16-bit mono PCM format chunk and the given data chunk, unless told otherwise.
std::string wave(size_t samples, bool withFormat = true, bool withData = true, uint32_t claimedDataSize = 0)
{
    std::string body = "WAVE";
    if (withFormat) {
        body += "fmt " + le32(16) + std::string{1, 0, 1, 0} + le32(22050) + le32(44100) + std::string{2, 0, 16, 0};
    }
    if (withData) {
        const std::string pcm(samples * 2, '\x10');
        body += "data" + le32(claimedDataSize ? claimedDataSize : uint32_t(pcm.size())) + pcm;
    }
    return "RIFF" + le32(uint32_t(body.size())) + body;
}

class SoundEffectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("sound-effect-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        AudioServicesSetPlayHook(nullptr);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path dir;
};

}  // namespace

TEST_F(SoundEffectTest, BundledSoundsPlayOnceAndAreDisposedWithTheObject)
{
    std::mutex lock;
    std::vector<std::string> played;
    AudioServicesSetPlayHook([&](SystemSoundID, const std::string& path) {
        std::lock_guard<std::mutex> guard(lock);
        played.push_back(path);
    });
    for (const char* name : {"mail_sent", "pull", "suc"}) {
        const std::string path = bundledSound(name);
        ASSERT_FALSE(path.empty()) << name;
        auto sound = SoundEffect::soundEffectWithContentsOfFile(path);
        ASSERT_TRUE(sound) << name;
        const SystemSoundID id = sound->soundID();
        EXPECT_EQ(AudioServicesPlayCount(id), 0u);
        sound->play();
        EXPECT_EQ(AudioServicesPlayCount(id), 1u) << name;
        EXPECT_TRUE(AudioServicesIsRegistered(id));
        sound.reset();
        EXPECT_FALSE(AudioServicesIsRegistered(id));
        AudioServicesPlaySystemSound(id);  // a disposed sound plays no more
        EXPECT_EQ(AudioServicesPlayCount(id), 1u);
    }
    EXPECT_EQ(played, (std::vector<std::string>{bundledSound("mail_sent"), bundledSound("pull"), bundledSound("suc")}));
}

TEST_F(SoundEffectTest, PlaysFromAnyThread)
{
    auto sound = SoundEffect::initWithContentsOfFile(write("beep.wav", wave(100)));
    ASSERT_TRUE(sound);
    std::vector<std::thread> players;
    for (int i = 0; i < 4; ++i) {
        players.emplace_back([sound] { sound->play(); });
    }
    for (auto& player : players) {
        player.join();
    }
    EXPECT_EQ(AudioServicesPlayCount(sound->soundID()), 4u);
}

TEST_F(SoundEffectTest, NoSoundFromWhatIsNotAPlayableWaveFile)
{
    struct Case {
        const char* what;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"empty path", ""},
        {"missing file", (dir / "missing.wav").string()},
        {"folder", dir.string()},
        {"text file", write("notes.wav", "this is not a sound at all, only some words\n")},
        {"empty file", write("empty.wav", "")},
        {"no format chunk", write("noformat.wav", wave(10, false, true))},
        {"no data chunk", write("nodata.wav", wave(10, true, false))},
        {"data running past the end", write("cut.wav", wave(10, true, true, 100000))},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(SoundEffect::soundEffectWithContentsOfFile(c.path)) << c.what;
    }
    EXPECT_TRUE(SoundEffect::soundEffectWithContentsOfFile(write("fine.wav", wave(10))));
}
