// The camera-like movie: it grows on disk while recording, holds only the NAL units the phone writes,
// keeps its media data before its index, and is a valid movie once finished.

#include "fixtures/GrowingMovie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "ombri-media-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

ProgramResult runProgram(const std::string& command, const std::string& errFile)
{
    ProgramResult result;
    FILE* pipe = ::popen((command + " 2>" + errFile).c_str(), "r");
    if (!pipe) {
        return result;
    }
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return result;
}

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

int countOf(const std::vector<MovieFilePacket>& packets, MovieTrack track)
{
    int n = 0;
    for (const MovieFilePacket& p : packets) {
        n += p.track == track;
    }
    return n;
}

// One finished two-second movie shared by the tests that only read it.
GrowingMovieOptions shortMovie()
{
    GrowingMovieOptions options;
    options.seconds = 2;
    options.frameRate = 30;
    options.width = 320;
    options.height = 240;
    options.keyFrameInterval = 15;
    return options;
}

}  // namespace

TEST(GrowingMovieTest, FileGrowsWithEveryFrameAndGetsItsIndexOnlyAtTheEnd)
{
    TempFolder folder;
    GrowingMovieOptions options = shortMovie();
    options.seconds = 1;
    GrowingMovie movie(folder.file("paced.mp4"), options);
    ASSERT_TRUE(movie.start()) << movie.error();

    auto boxes = readTopLevelBoxes(movie.path());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front().type, "ftyp");
    uintmax_t size = fs::file_size(movie.path());
    for (int frame = 0; frame < movie.totalFrames(); ++frame) {
        ASSERT_TRUE(movie.writeFrames(1)) << movie.error();
        const uintmax_t now = fs::file_size(movie.path());
        EXPECT_GT(now, size) << "frame " << frame << " did not reach the file";
        size = now;
    }
    EXPECT_FALSE(movie.writeFrames(1)) << "every frame was written already";

    // While recording: the media data runs to the end of the file and there is no index yet.
    boxes = readTopLevelBoxes(movie.path());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().type, "mdat");
    EXPECT_EQ(boxes.back().size, 0u) << "the media data box is open-ended while it grows";
    for (const MovieBox& box : boxes) {
        EXPECT_NE(box.type, "moov");
    }

    ASSERT_TRUE(movie.finish()) << movie.error();
    boxes = readTopLevelBoxes(movie.path());
    std::map<std::string, size_t> at;
    for (size_t i = 0; i < boxes.size(); ++i) {
        at[boxes[i].type] = i;
    }
    ASSERT_TRUE(at.count("mdat") && at.count("moov"));
    EXPECT_LT(at["mdat"], at["moov"]) << "media data comes before the index";
    EXPECT_EQ(boxes.back().type, "moov");
    const MovieBox& mdat = boxes[at["mdat"]];
    EXPECT_EQ(static_cast<int64_t>(mdat.offset + mdat.size), boxes[at["mdat"] + 1].offset);
    EXPECT_EQ(static_cast<uintmax_t>(boxes.back().offset + boxes.back().size), fs::file_size(movie.path()));

    // Every sample lies inside the media data.
    for (const MovieFilePacket& packet : movie.packets()) {
        EXPECT_GE(packet.fileOffset, mdat.offset + 8);
        EXPECT_LE(packet.fileOffset + packet.size, static_cast<int64_t>(mdat.offset + mdat.size));
    }
}

TEST(GrowingMovieTest, FinishedMovieIsReadByFfprobeAsTheCameraWritesIt)
{
    TempFolder folder;
    GrowingMovie movie(folder.file("free.mp4"), shortMovie());
    ASSERT_TRUE(movie.startFreeRunning()) << movie.error();
    ASSERT_TRUE(movie.waitUntilFinished(std::chrono::seconds(60))) << movie.error();

    const ProgramResult probe = runProgram(
        "ffprobe -v error -count_packets -show_entries "
        "stream=codec_type,codec_name,profile,width,height,has_b_frames,sample_rate,channels,nb_read_packets "
        "-of compact=nokey=0:print_section=0 '" +
            movie.path() + "'",
        folder.file("ffprobe.err"));
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_EQ(probe.err, "") << "ffprobe reported errors";

    std::map<std::string, std::map<std::string, std::string>> streams;  // codec_type -> key -> value
    std::istringstream lines(probe.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream parts(line);
        std::string part;
        while (std::getline(parts, part, '|')) {
            const size_t eq = part.find('=');
            if (eq != std::string::npos) {
                fields[part.substr(0, eq)] = part.substr(eq + 1);
            }
        }
        streams[fields["codec_type"]] = fields;
    }
    ASSERT_EQ(streams.size(), 2u) << probe.out;
    const auto packets = movie.packets();
    auto& video = streams["video"];
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["profile"], "Main");
    EXPECT_EQ(video["width"], "320");
    EXPECT_EQ(video["height"], "240");
    EXPECT_EQ(video["has_b_frames"], "0");
    EXPECT_EQ(video["nb_read_packets"], std::to_string(countOf(packets, MovieTrack::Video)));
    EXPECT_EQ(countOf(packets, MovieTrack::Video), movie.totalFrames());
    auto& audio = streams["audio"];
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(audio["profile"], "LC");
    EXPECT_EQ(audio["sample_rate"], "44100");
    EXPECT_EQ(audio["channels"], "1");
    EXPECT_EQ(audio["nb_read_packets"], std::to_string(countOf(packets, MovieTrack::Audio)));

    // The fixture's record of every sample is the movie's own index.
    std::vector<MovieSample> samples;
    std::string error;
    ASSERT_TRUE(readMovieSamples(movie.path(), samples, error)) << error;
    ASSERT_EQ(samples.size(), packets.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].track, packets[i].track) << "sample " << i;
        EXPECT_EQ(samples[i].offset, packets[i].fileOffset) << "sample " << i;
        EXPECT_EQ(samples[i].size, packets[i].size) << "sample " << i;
    }
}

TEST(GrowingMovieTest, VideoSamplesHoldOneSliceNalUnitEachWithA4ByteLength)
{
    TempFolder folder;
    GrowingMovie movie(folder.file("nal.mp4"), shortMovie());
    ASSERT_TRUE(movie.startFreeRunning()) << movie.error();
    ASSERT_TRUE(movie.waitUntilFinished(std::chrono::seconds(60))) << movie.error();
    const std::vector<uint8_t> file = readWholeFile(movie.path());

    std::map<int, int> headers;  // NAL header byte -> count
    int frames = 0;
    for (const MovieFilePacket& packet : movie.packets()) {
        if (packet.track != MovieTrack::Video) {
            continue;
        }
        ASSERT_LE(static_cast<size_t>(packet.fileOffset + packet.size), file.size());
        const uint8_t* sample = file.data() + packet.fileOffset;
        ASSERT_GE(packet.size, 5u);
        const uint32_t nalLength = be32(sample);
        EXPECT_EQ(nalLength + 4, packet.size) << "frame " << frames << " is not a single NAL unit";
        const uint8_t header = sample[4];
        ++headers[header];
        EXPECT_EQ(header, packet.keyFrame ? 0x65 : 0x41) << "frame " << frames;
        ++frames;
    }
    EXPECT_EQ(frames, movie.totalFrames());
    EXPECT_EQ(headers.size(), 2u) << "only 0x65 and 0x41";
    EXPECT_EQ(headers[0x65], movie.totalFrames() / shortMovie().keyFrameInterval);
    EXPECT_GT(headers[0x41], 0);
}

TEST(GrowingMovieTest, RecordingEndedEarlyStillLeavesAFinishedMovie)
{
    TempFolder folder;
    GrowingMovieOptions options = shortMovie();
    options.seconds = 600;  // far more than the test waits for
    const std::string path = folder.file("early.mp4");
    int written = 0;
    {
        GrowingMovie movie(path, options);
        ASSERT_TRUE(movie.startFreeRunning()) << movie.error();
        ASSERT_TRUE(movie.waitForFrames(20, std::chrono::seconds(60))) << movie.error();
        EXPECT_GT(fs::file_size(path), 0u);
        EXPECT_FALSE(movie.isFinished());
    }  // the recording stops here and the movie gets its index
    std::vector<MovieSample> samples;
    std::string error;
    ASSERT_TRUE(readMovieSamples(path, samples, error)) << error;
    for (const MovieSample& sample : samples) {
        written += sample.track == MovieTrack::Video;
    }
    EXPECT_GE(written, 20);
    EXPECT_LT(written, 600 * 30);
    EXPECT_EQ(readTopLevelBoxes(path).back().type, "moov");
}

TEST(GrowingMovieTest, UnwritablePathFailsWithAReason)
{
    GrowingMovie movie("/nonexistent-folder/x.mp4", shortMovie());
    EXPECT_FALSE(movie.start());
    EXPECT_NE(movie.error(), "");
    EXPECT_FALSE(movie.writeFrames(1));
    EXPECT_FALSE(movie.finish());
}
