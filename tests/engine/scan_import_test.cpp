// Import of one movie and the scan of the local-video folders.
#include "engine/crtfun.h"
#include "engine/crtmd5.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/scan.h"
#include "jobs_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using enginetest::Recorder;
using enginetest::StatusEvent;
using enginetest::TempDir;
using jobstest::countLogged;
using jobstest::execSql;
using jobstest::querySql;
using jobstest::Thumbs;
using jobstest::waitFor;

namespace {

std::string md5(const std::string& text)
{
    return crtfun::crtmd5::hex(text);
}

void writeFile(const std::string& path, size_t size = 10)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'm');
}

time_t ctimeOf(const std::string& path)
{
    struct stat info;
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_ctime;
}

std::string importFile(const std::string& path)
{
    char* guid = UtilityAdapter_ImportFile(path.c_str());
    std::string out = guid != nullptr ? guid : "<null>";
    UtilityAdapter_FreeString(guid);
    return out;
}

std::vector<std::string> keys(const std::map<std::string, _localfileinfo>& files)
{
    std::vector<std::string> out;
    for (const auto& entry : files) {
        out.push_back(entry.first);
    }
    return out;
}

class Import : public ::testing::Test {
protected:
    void SetUp() override
    {
        jobstest::installCallbacks();
        UtilityAdapter_SetExtData(3, (dir / "img").c_str(), 3);
        UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
        ASSERT_TRUE(global_isdbopen());
        Recorder::shared().clear();
    }
    TempDir dir;
};

}  // namespace

TEST_F(Import, TwiceGivesOneJobAndOneThumbnail)
{
    crtfun::setwallclock(1700000123);
    const std::string movie = dir / "lib/movie.MOV";
    writeFile(movie);
    Thumbs::shared().setDuration(12);

    const std::string guid = importFile(movie);
    EXPECT_EQ(guid, md5(movie));
    EXPECT_EQ(importFile(movie), guid);  // the same path is the same job

    const std::string thumb = dir / ("img/" + guid + ".jpg");
    EXPECT_EQ(Thumbs::shared().calls(), (std::vector<Thumbs::Call>{{movie, thumb}}));
    EXPECT_EQ(Recorder::shared().events(), (std::vector<StatusEvent>{{1, 4, "", ""}, {5, 4, guid, "12"}}));
    EXPECT_TRUE(Recorder::shared().logged("snap " + movie + " finish duration:12"));
    EXPECT_EQ(querySql("select guid,ct,st,filename,uploadtoken,usertoken,publictype,title,localimg,filetype,h,w,"
                       "length,status,uploadsvr,adddata from localmedia"),
              std::vector<std::string>{guid + "|1700000123|0|" + movie + "|||off||" + thumb + "|16|360|480|12|5||"});
}

TEST_F(Import, AMovieWithoutThumbnailKeepsWhatTheCallbackGives)
{
    Thumbs::shared().setDuration(-1);
    const std::string movie = dir / "it's a \"movie\" | 1.mp4";
    const std::string guid = importFile(movie);
    EXPECT_EQ(querySql("select filename,length from localmedia"), std::vector<std::string>{movie + "|-1"});
    EXPECT_EQ(Recorder::shared().events().back(), (StatusEvent{5, 4, guid, "4294967295"}));
}

TEST(ImportWithoutDatabase, GivesTheGuidAndNothingElse)
{
    jobstest::installCallbacks();
    EXPECT_EQ(importFile("/movies/a.mov"), md5("/movies/a.mov"));
    EXPECT_EQ(importFile(""), "<null>");
    EXPECT_TRUE(Thumbs::shared().calls().empty());
    EXPECT_TRUE(Recorder::shared().events().empty());
}

TEST(ImportWithoutCallback, StoresDurationZero)
{
    TempDir dir;
    jobstest::installCallbacks(false);
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
    const std::string guid = importFile(dir / "a.mov");
    EXPECT_EQ(querySql("select length,localimg from localmedia"), std::vector<std::string>{"0|/" + guid + ".jpg"});
}

TEST(DirList, FindsFilesAtAnyDepthByExactExtension)
{
    TempDir dir;
    const std::string root = dir.path();
    for (const char* name : {"a.MOV", "b.mov", "c.mp4", "d.MP4", "e.Mp4", "f.mov.txt", "noext", "sub/g.mp4",
                             "sub/deeper/h.MOV", "sub/deeper/.mov", "x.mp4/inner.MP4", "other/i.avi"}) {
        writeFile(root + "/" + name);
    }
    ::symlink((root + "/a.MOV").c_str(), (root + "/sub/link.MP4").c_str());
    ::symlink(root.c_str(), (root + "/sub/deeper/loop").c_str());  // a link back to the top
    ::symlink((root + "/gone.mp4").c_str(), (root + "/dangling.mp4").c_str());

    struct Case {
        const char* extensions;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {".MOV;.mov;.mp4;.MP4",
         {"/a.MOV", "/b.mov", "/c.mp4", "/d.MP4", "/sub/deeper/.mov", "/sub/deeper/h.MOV", "/sub/g.mp4", "/sub/link.MP4",
          "/x.mp4/inner.MP4"}},
        {".MP4", {"/d.MP4", "/sub/link.MP4", "/x.mp4/inner.MP4"}},  // whatever its place in the list
        {";.avi;;", {"/other/i.avi"}},
        {"mp4", {}},  // the dot belongs to the extension
        {"", {}},
    };
    for (const Case& c : cases) {
        std::map<std::string, _localfileinfo> files;
        GetDirList(root, files, c.extensions);
        std::vector<std::string> expected;
        for (const std::string& name : c.found) {
            expected.push_back(root + name);
        }
        EXPECT_EQ(keys(files), expected) << c.extensions;
    }

    // From a lower folder the link leads up to the top once; the top's link back down ends there.
    std::map<std::string, _localfileinfo> files;
    GetDirList(root + "/sub", files, ".MOV");
    EXPECT_EQ(keys(files), (std::vector<std::string>{root + "/sub/deeper/h.MOV", root + "/sub/deeper/loop/a.MOV"}));
    const _localfileinfo& h = files[root + "/sub/deeper/h.MOV"];
    EXPECT_EQ(h.size, 10);
    EXPECT_EQ(h.ext, ".MOV");
    EXPECT_EQ(h.ctime, ctimeOf(root + "/sub/deeper/h.MOV"));

    files.clear();
    GetDirList(root + "/missing", files, ".MOV");
    EXPECT_TRUE(files.empty());
}

namespace {

class Scan : public ::testing::Test {
protected:
    void SetUp() override
    {
        jobstest::installCallbacks();
        UtilityAdapter_SetExtData(3, (dir / "img").c_str(), 3);
        UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
        ASSERT_TRUE(global_isdbopen());
    }
    // Starts a scan through the settings and waits until `n` scans have finished in all.
    void waitForScans(size_t n)
    {
        ASSERT_TRUE(waitFor([n] { return countLogged("finish for check localvideo") >= n; }));
    }
    void insertJob(const std::string& guid, const std::string& filename, int filetype, int length = 5)
    {
        execSql("insert into localmedia(guid,ct,filename,filetype,length,status,localimg) values('" + guid + "',1,'" +
                filename + "'," + std::to_string(filetype) + "," + std::to_string(length) + ",2,'/img/" + guid +
                ".jpg');");
    }
    TempDir dir;
};

}  // namespace

TEST_F(Scan, AddsFoundMoviesAndRemovesJobsWhoseFilesHaveGone)
{
    const std::string a = dir / "videos/a.mp4";
    const std::string nested = dir / "videos/2024/05/b.MOV";
    const std::string other = dir / "more/c.mov";
    for (const std::string& path : {a, nested, other, dir / "videos/notes.txt"}) {
        writeFile(path);
    }
    const std::string elsewhere = dir / "elsewhere/kept.mp4";
    writeFile(elsewhere);
    insertJob("vanished", dir / "videos/deleted.mp4", 16);
    insertJob("recorded", dir / "videos/missing.flv", 0);  // the engine's own jobs are never removed
    insertJob("elsewhere", elsewhere, 16);                 // its file is still there
    insertJob("nolength", elsewhere, 16, -1);              // still waits for its thumbnail
    insertJob(md5(a), a, 16, 3);                           // found again: kept and not added twice
    Recorder::shared().clear();

    UtilityAdapter_SetExtData(3, ".mp4;.MOV;.mov", 6);
    UtilityAdapter_SetExtData(3, (";" + (dir / "videos") + ";;" + (dir / "more")).c_str(), 5);
    waitForScans(1);

    EXPECT_TRUE(Recorder::shared().logged("clean local media file by guid:vanished"));
    EXPECT_EQ(countLogged("clean local media file by guid:recorded") + countLogged("clean local media file by guid:elsewhere") +
                  countLogged("clean local media file by guid:nolength") + countLogged("clean local media file by guid:" + md5(a)),
              0u);
    EXPECT_TRUE(Recorder::shared().logged("scan directory:" + (dir / "videos")));
    EXPECT_TRUE(Recorder::shared().logged("scan directory:" + (dir / "more")));

    // New rows: ct is the file's status-change time, the rest as for an import.
    for (const std::string& path : {nested, other}) {
        const std::string guid = md5(path);
        EXPECT_EQ(querySql("select ct,filename,filetype,h,w,status,usertoken,title,publictype,localimg from localmedia "
                           "where guid='" + guid + "'"),
                  std::vector<std::string>{std::to_string(ctimeOf(path)) + "|" + path + "|16|360|480|5|||off|" +
                                           (dir / ("img/" + guid + ".jpg"))});
    }
    EXPECT_EQ(querySql("select count(*) from localmedia where guid='" + md5(a) + "'"), std::vector<std::string>{"1"});

    // Thumbnails: the new movies, then the older one still without duration; each once.
    std::vector<Thumbs::Call> calls = Thumbs::shared().calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].movie, other);  // in path order
    EXPECT_EQ(calls[1].movie, nested);
    EXPECT_EQ(calls[2], (Thumbs::Call{elsewhere, "/img/nolength.jpg"}));
    EXPECT_EQ(querySql("select length from localmedia where guid='nolength'"), std::vector<std::string>{"7"});

    const std::vector<StatusEvent> events = Recorder::shared().events();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events.front(), (StatusEvent{1, 4, "", ""}));
    EXPECT_EQ(events[1], (StatusEvent{5, 4, md5(other), "7"}));
    EXPECT_EQ(events[3], (StatusEvent{5, 4, "nolength", "7"}));
    EXPECT_EQ(events.back(), (StatusEvent{1, 5, "", ""}));
}

TEST_F(Scan, AnEmptyFolderKeepsJobsWhoseFilesStillExist)
{
    const std::string kept = dir / "elsewhere/kept.mp4";
    writeFile(kept);
    insertJob("kept", kept, 16);
    std::filesystem::create_directories(dir / "empty");
    Recorder::shared().clear();

    UtilityAdapter_SetExtData(3, (dir / "empty").c_str(), 5);
    UtilityAdapter_SetExtData(3, ".mp4", 6);
    waitForScans(1);
    EXPECT_EQ(querySql("select guid from localmedia"), std::vector<std::string>{"kept"});
    EXPECT_TRUE(Thumbs::shared().calls().empty());
    EXPECT_TRUE(Recorder::shared().events().empty());  // nothing changed
}

TEST_F(Scan, StorageRemovedThenBackReopensAndScansAgain)
{
    writeFile(dir / "videos/first.mp4");
    UtilityAdapter_SetExtData(3, (dir / "videos").c_str(), 5);
    UtilityAdapter_SetExtData(3, ".mp4", 6);
    waitForScans(1);
    EXPECT_EQ(querySql("select filename from localmedia"), std::vector<std::string>{dir / "videos/first.mp4"});

    UtilityAdapter_SetExtData(6, "", 1);
    EXPECT_FALSE(global_isdbopen());
    writeFile(dir / "videos/second.mp4");

    UtilityAdapter_SetExtData(6, "", 0);
    EXPECT_TRUE(global_isdbopen());
    waitForScans(2);
    EXPECT_EQ(querySql("select filename from localmedia order by filename"),
              (std::vector<std::string>{dir / "videos/first.mp4", dir / "videos/second.mp4"}));
    EXPECT_EQ(Thumbs::shared().calls().size(), 2u);
}

TEST(ScanWithoutDatabase, OnlyListsTheFolders)
{
    TempDir dir;
    jobstest::installCallbacks();
    writeFile(dir / "videos/a.mp4");
    UtilityAdapter_SetExtData(3, (dir / "videos").c_str(), 5);
    UtilityAdapter_SetExtData(3, ".mp4", 6);
    ASSERT_TRUE(waitFor([&] { return Recorder::shared().logged("scan directory:" + (dir / "videos")); }));
    // The scan ends without touching a database; run one on this thread to see it end.
    _scan_local_video_file(nullptr);
    EXPECT_EQ(countLogged("update local media database"), 0u);
    EXPECT_EQ(countLogged("finish for check localvideo"), 0u);
    EXPECT_TRUE(Thumbs::shared().calls().empty());
}
