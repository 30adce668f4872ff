// The effect timeline file and the pitch settings.
#include "engine/effect.h"
#include "jobs_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using enginetest::Recorder;
using enginetest::TempDir;

namespace {

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(EffectFile, ReadingTakesTheFirstTwoRecords)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        filter_effecttag cur;
        filter_effecttag next;
        bool endmark;
    };
    const Case cases[] = {
        {"one record", {0, 0, 0x04, 0xd2, 0x12, 0x34, 0xab, 0xcd}, {1234, 0x1234abcd}, {0, 0}, true},
        {"two records",
         {0, 0, 0, 0, 0, 0, 0, 1, 0x80, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 9, 9, 9, 9},
         {0, 1},
         {0x80000000u, 0xffffffffu},
         false},
        {"a record and a half", {0, 0, 0, 5, 0, 0, 0, 6, 1, 2, 3}, {5, 6}, {0, 0}, true},
        {"empty", {}, {0, 0}, {0, 0}, true},
    };
    for (const Case& c : cases) {
        const std::string path = dir / "job.etf";
        writeBytes(path, c.bytes);
        filter_starteffect(path.c_str(), 1);
        const filter_effectstate state = filter_geteffectstate();
        EXPECT_EQ(state.readmode, 1) << c.name;
        EXPECT_EQ(state.curtag.time, c.cur.time) << c.name;
        EXPECT_EQ(state.curtag.setting, c.cur.setting) << c.name;
        EXPECT_EQ(state.nexttag.time, c.next.time) << c.name;
        EXPECT_EQ(state.nexttag.setting, c.next.setting) << c.name;
        EXPECT_EQ(state.endmark, c.endmark) << c.name;
        filter_stopeffect();
        EXPECT_EQ(filter_geteffectstate().readmode, -1);
    }
}

TEST(EffectFile, AJobsFileIsCreatedEmpty)
{
    TempDir dir;
    jobstest::installCallbacks();
    filter_initeffect(320, 480);
    const std::string path = dir / "job.etf";
    filter_starteffect(path.c_str(), 0);
    EXPECT_EQ(filter_geteffectstate().readmode, 0);
    filter_initeffect(480, 320);  // closes the open file
    EXPECT_EQ(filter_geteffectstate().readmode, -1);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    int width = 0, height = 0;
    filter_geteffectsetting(width, height);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(height, 320);
    EXPECT_TRUE(Recorder::shared().logged("filter_starteffect:file:" + path + ",0"));

    filter_starteffect((dir / "missing/job.etf").c_str(), 1);  // cannot be opened: stays closed
    EXPECT_EQ(filter_geteffectstate().readmode, -1);
}

TEST(Pitch, TableOfSemitones)
{
    jobstest::installCallbacks();
    UtilityAdapter_Init(480, 360, 10, 600000, 70674);  // 22050 Hz mono
    const audio_pitchstate prepared = audio_getpitchstate();
    EXPECT_EQ(prepared.rate, 22050);
    EXPECT_EQ(prepared.channels, 1);
    EXPECT_EQ(prepared.worklength, 8192);
    EXPECT_FALSE(prepared.shifter);
    EXPECT_TRUE(Recorder::shared().logged("audio_parser_init:22050hz,1 channel,len:8192"));

    struct Case {
        int index;
        int semitones;
    };
    for (const Case& c : {Case{1, 4}, Case{2, -4}, Case{4, 8}, Case{3, -8}}) {
        UtilityAdapter_SetEffect(-1, -1, -1, c.index, -1);
        const audio_pitchstate state = audio_getpitchstate();
        EXPECT_EQ(state.active, c.index);
        EXPECT_EQ(state.semitones, c.semitones) << c.index;
        EXPECT_TRUE(state.shifter);
        EXPECT_TRUE(state.buffer);
        EXPECT_EQ(state.quickseek, 0);
        EXPECT_EQ(state.antialias, 1);
    }
    EXPECT_TRUE(Recorder::shared().logged("change pitch to:3"));
    EXPECT_TRUE(Recorder::shared().logged("change pitch finish."));

    // Indices outside the table change nothing.
    for (int index : {5, -2, 100}) {
        audio_set_pitch(index);
        EXPECT_EQ(audio_getpitchstate().semitones, -8);
        EXPECT_EQ(audio_getpitchstate().active, 3);
    }

    // 0 turns the shifter off but keeps it until the parser is released.
    UtilityAdapter_SetEffect(-1, -1, -1, 0, -1);
    EXPECT_EQ(audio_getpitchstate().active, 0);
    EXPECT_TRUE(audio_getpitchstate().shifter);
    UtilityAdapter_Uninit();
    EXPECT_FALSE(audio_getpitchstate().shifter);
    EXPECT_FALSE(audio_getpitchstate().buffer);
}

TEST(Pitch, AShifterWithoutPreparedParserUsesAUsableFormat)
{
    audio_set_pitch(2);  // Init with flags 0 leaves the parser unprepared
    EXPECT_TRUE(audio_getpitchstate().shifter);
    EXPECT_EQ(audio_getpitchstate().semitones, -4);
    audio_parser_uninit();
}

TEST(EffectSettings, MinusOneKeepsAValue)
{
    jobstest::installCallbacks();
    UtilityAdapter_SetEffect(3, 2, 1, -1, 5);
    UtilityAdapter_SetEffect(-1, 7, -1, -1, -1);
    const filter_effectstate state = filter_geteffectstate();
    EXPECT_EQ(state.filter, 3);
    EXPECT_EQ(state.frame, 7);
    EXPECT_EQ(state.filter2, 1);
    EXPECT_EQ(state.ambient, 5);
    EXPECT_EQ(audio_getpitchstate().active, 0);
    EXPECT_TRUE(Recorder::shared().logged("set ambient 5"));
    EXPECT_TRUE(Recorder::shared().logged("SetEffect:-1,7,-1,-1,-1"));
    audio_ambient_start();
    audio_ambient_stop();
    EXPECT_TRUE(Recorder::shared().logged("audio_ambient_start"));
    EXPECT_TRUE(Recorder::shared().logged("audio_ambient_stop"));
}
