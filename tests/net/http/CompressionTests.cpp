// The gzip compressor and decompressor: in memory, in pieces, file to file, and their errors.
#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "HTTPTestSupport.h"
#include "net/http/HTTPDataCompressor.h"
#include "net/http/HTTPDataDecompressor.h"
#include "net/http/HTTPRequestErrors.h"
#include "servers/HostileReplies.h"

namespace {

NSData bytesOf(const std::string& text)
{
    return NSData::dataWithString(text);
}

// Text that compresses moderately (words and numbers).
std::string sampleText(size_t length)
{
    std::mt19937 random(7);
    static const char* words[] = {"video", "share", "ombri", "comment", "like", "follow", "upload", "{\"id\":"};
    std::string text;
    while (text.size() < length) {
        text += words[random() % 8];
        text += std::to_string(random() % 1000);
        text += ' ';
    }
    text.resize(length);
    return text;
}

// Random bytes: they do not compress at all.
std::string noise(size_t length)
{
    std::mt19937 random(11);
    std::string bytes(length, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// zlib's own one-shot compression with a zlib (not gzip) wrapper.
std::string zlibWrapped(const std::string& text)
{
    uLongf length = compressBound(text.size());
    std::string out(length, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(text.data()), text.size());
    out.resize(length);
    return out;
}

std::string inflateAll(const std::string& compressed)
{
    Ref<NSError> error;
    auto result = HTTPDataDecompressor::uncompressData_error(bytesOf(compressed), &error);
    EXPECT_FALSE(error) << (error ? error->localizedDescription() : "");
    return result ? result->string() : std::string("<nil>");
}

TEST(HTTPDataCompression, RoundTripsWholeAndInArbitraryPieces)
{
    struct Case {
        const char* name;
        std::string input;
    };
    const Case cases[] = {
        {"one byte", "x"},
        {"short text", "hello, world"},
        {"text of 300 KiB", sampleText(300 * 1024)},
        {"a mebibyte of zeros", std::string(1 << 20, '\0')},
        {"incompressible", noise(100 * 1024)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ref<NSError> error;
        auto compressed = HTTPDataCompressor::compressData_error(bytesOf(c.input), &error);
        ASSERT_TRUE(compressed);
        ASSERT_FALSE(error);
        ASSERT_GE(compressed->length(), 2u);
        EXPECT_EQ(compressed->bytes()[0], 0x1f);
        EXPECT_EQ(compressed->bytes()[1], 0x8b);
        EXPECT_EQ(inflateAll(compressed->string()), c.input);

        // The same stream fed to one decompressor in pieces of varying sizes (1 byte up to 5000).
        auto decompressor = HTTPDataDecompressor::decompressor();
        const std::string packed = compressed->string();
        std::string out;
        std::mt19937 random(3);
        for (size_t at = 0; at < packed.size();) {
            size_t piece = std::min<size_t>(packed.size() - at, 1 + random() % 5000);
            Ref<NSError> pieceError;
            auto part = decompressor->uncompressBytes_length_error(packed.data() + at, piece, &pieceError);
            ASSERT_FALSE(pieceError) << pieceError->localizedDescription();
            ASSERT_TRUE(part);
            out += part->string();
            at += piece;
        }
        EXPECT_TRUE(decompressor->streamEnded());
        EXPECT_EQ(out.size(), c.input.size());
        EXPECT_TRUE(out == c.input);
    }
}

TEST(HTTPDataCompression, HighlyCompressedInputIsInflatedInFullInOneCall)
{
    // 16 MiB of zeros compress to about 16 KiB: one call must give back every byte, not what fits in
    // a buffer sized after the input.
    const std::string zeros(16 << 20, '\0');
    auto compressed = HTTPDataCompressor::compressData_error(bytesOf(zeros), nullptr);
    ASSERT_TRUE(compressed);
    ASSERT_LT(compressed->length(), 64u * 1024);
    auto decompressor = HTTPDataDecompressor::decompressor();
    Ref<NSError> error;
    auto out = decompressor->uncompressBytes_length_error(compressed->bytes(), compressed->length(), &error);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->length(), zeros.size());
    EXPECT_TRUE(decompressor->streamEnded());
}

TEST(HTTPDataCompression, ZlibWrappedInputInflatesToo)
{
    const std::string text = sampleText(10000);
    EXPECT_EQ(inflateAll(zlibWrapped(text)), text);
}

TEST(HTTPDataCompression, EmptyInputGivesNothingAndNoError)
{
    Ref<NSError> error;
    EXPECT_FALSE(HTTPDataCompressor::compressData_error(NSData(), &error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(HTTPDataDecompressor::uncompressData_error(NSData(), &error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(HTTPDataDecompressor::decompressor()->uncompressBytes_length_error("", 0, &error));
    EXPECT_FALSE(HTTPDataCompressor::compressor()->compressBytes_length_error_shouldFinish("", 0, &error, true));
    EXPECT_FALSE(error);
}

TEST(HTTPDataCompression, BadInputIsAnErrorOfCode11)
{
    auto packed = HTTPDataCompressor::compressData_error(bytesOf(sampleText(5000)), nullptr)->string();
    std::string corrupt = packed;
    corrupt[12] = static_cast<char>(corrupt[12] ^ 0xff);  // inside the deflate data
    corrupt[13] = static_cast<char>(corrupt[13] ^ 0x5a);
    struct Case {
        const char* name;
        std::string input;
        std::string description;
    };
    const Case cases[] = {
        {"not compressed at all", "this is plain text, not gzip", "Decompression of data failed with code -3"},
        {"corrupt deflate data", corrupt, "Decompression of data failed with code -3"},
        // The stream stops half way: the body is incomplete, which is not a body.
        {"cut short", packed.substr(0, packed.size() / 2), "Decompression of data failed with code -5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ref<NSError> error;
        auto result = HTTPDataDecompressor::uncompressData_error(bytesOf(c.input), &error);
        EXPECT_FALSE(result);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), NetworkRequestErrorDomain);
        EXPECT_EQ(error->code(), HTTPErrorCompression);
        EXPECT_EQ(error->localizedDescription(), c.description);
    }
}

class HTTPDataCompressionFiles : public ::testing::Test {
protected:
    TemporaryFolder folder;

    std::string write(const std::string& name, const std::string& bytes)
    {
        std::string path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(HTTPDataCompressionFiles, FilesRoundTripWhateverTheirLength)
{
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"exactly 2 x 262144 bytes", sampleText(2 * 262144)},
        {"one byte more than a piece", sampleText(262145)},
        {"shorter than a piece", sampleText(1000)},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = write("source", c.bytes);
        const std::string packed = folder / "packed.gz";
        const std::string unpacked = folder / "unpacked";
        Ref<NSError> error;
        ASSERT_TRUE(HTTPDataCompressor::compressDataFromFile_toFile_error(source, packed, &error))
            << error->localizedDescription();
        // A complete gzip file: zlib's own gzip reader takes all of it.
        gzFile gz = gzopen(packed.c_str(), "rb");
        ASSERT_NE(gz, nullptr);
        std::string viaZlib;
        char buffer[65536];
        int n;
        while ((n = gzread(gz, buffer, sizeof buffer)) > 0) {
            viaZlib.append(buffer, static_cast<size_t>(n));
        }
        EXPECT_EQ(n, 0);
        int errnum = 0;
        gzerror(gz, &errnum);
        EXPECT_EQ(errnum, Z_OK);
        gzclose(gz);
        EXPECT_TRUE(viaZlib == c.bytes);

        ASSERT_TRUE(HTTPDataDecompressor::uncompressDataFromFile_toFile_error(packed, unpacked, &error))
            << error->localizedDescription();
        EXPECT_TRUE(read(unpacked) == c.bytes);
    }
}

TEST_F(HTTPDataCompressionFiles, MissingSourceLeavesAnEmptyDestination)
{
    const std::string source = folder / "missing";
    const std::string destination = write("destination", "old contents");
    Ref<NSError> error;
    EXPECT_FALSE(HTTPDataCompressor::compressDataFromFile_toFile_error(source, destination, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), HTTPErrorCompression);
    EXPECT_EQ(error->localizedDescription(), "Compression of " + source + " failed the file does not exist");
    EXPECT_TRUE(std::filesystem::exists(destination));
    EXPECT_EQ(std::filesystem::file_size(destination), 0u);

    EXPECT_FALSE(HTTPDataDecompressor::uncompressDataFromFile_toFile_error(source, destination, &error));
    EXPECT_EQ(error->localizedDescription(), "Decompression of " + source + " failed the file does not exist");
}

TEST_F(HTTPDataCompressionFiles, UnwritableDestinationAndCorruptSourceAreErrors)
{
    const std::string source = write("source", sampleText(1000));
    const std::string destination = folder / "no-such-folder/out";
    Ref<NSError> error;
    EXPECT_FALSE(HTTPDataCompressor::compressDataFromFile_toFile_error(source, destination, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(),
              "Compression of " + source + " failed because we were to create a file at " + destination);

    const std::string notGzip = write("plain", "plain text");
    EXPECT_FALSE(HTTPDataDecompressor::uncompressDataFromFile_toFile_error(notGzip, folder / "out", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "Decompression of data failed with code -3");
}

TEST(HTTPDataCompression, InflationStopsAtTheLimitInEveryForm)
{
    // 4 MiB of zeros in about 4 KiB: the limit is checked against what comes out, not what goes in.
    const size_t inflated = 4 << 20;
    const std::string packed = TestServers::gzipBomb(inflated);
    ASSERT_LT(packed.size(), 16u * 1024);
    struct Case {
        const char* name;
        unsigned long long limit;
        bool fits;
    };
    const Case cases[] = {
        {"limit equal to the inflated length", inflated, true},
        {"limit one byte short", inflated - 1, false},
        {"limit of a tenth", inflated / 10, false},
        {"no room at all", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // All at once.
        Ref<NSError> error;
        auto whole = HTTPDataDecompressor::uncompressData_error(bytesOf(packed), &error, c.limit);
        EXPECT_EQ(static_cast<bool>(whole), c.fits);
        EXPECT_EQ(static_cast<bool>(error), !c.fits);
        if (c.fits) {
            ASSERT_TRUE(whole);
            EXPECT_EQ(whole->length(), inflated);
        } else {
            ASSERT_TRUE(error);
            EXPECT_EQ(error->code(), HTTPErrorCompression);
            EXPECT_EQ(error->localizedDescription(),
                      "Decompression of data failed because the inflated data would be longer than " +
                          std::to_string(c.limit) + " bytes");
            EXPECT_TRUE(HTTPDataDecompressor::isInflatedLengthError(error));
        }

        // In pieces of 100 bytes: the limit is the whole stream's, and once passed the stream stays failed.
        auto decompressor = HTTPDataDecompressor::decompressor();
        decompressor->setMaximumInflatedLength(c.limit);
        size_t out = 0;
        size_t failures = 0;
        for (size_t at = 0; at < packed.size(); at += 100) {
            Ref<NSError> pieceError;
            auto part = decompressor->uncompressBytes_length_error(packed.data() + at,
                                                                   std::min<size_t>(100, packed.size() - at), &pieceError);
            out += part ? part->length() : 0;
            failures += pieceError ? 1 : 0;
            EXPECT_LE(decompressor->inflatedLength(), c.limit);
        }
        EXPECT_LE(out, c.limit);
        if (c.fits) {
            EXPECT_EQ(out, inflated);
            EXPECT_EQ(failures, 0u);
            EXPECT_TRUE(decompressor->streamEnded());
        } else {
            EXPECT_GE(failures, 1u);
            EXPECT_FALSE(decompressor->streamEnded());
            // Every piece after the first refusal is refused too, even an empty-looking tail.
            Ref<NSError> again;
            EXPECT_FALSE(decompressor->uncompressBytes_length_error(packed.data(), 1, &again));
            EXPECT_TRUE(HTTPDataDecompressor::isInflatedLengthError(again));
        }
    }
}

TEST_F(HTTPDataCompressionFiles, FileInflationStopsAtTheLimit)
{
    const size_t inflated = 3 * 262144 + 5;
    const std::string source = write("bomb.gz", TestServers::gzipBomb(inflated));
    const std::string destination = folder / "out";
    Ref<NSError> error;
    EXPECT_FALSE(HTTPDataDecompressor::uncompressDataFromFile_toFile_error(source, destination, &error, 262144));
    ASSERT_TRUE(error);
    EXPECT_TRUE(HTTPDataDecompressor::isInflatedLengthError(error));
    EXPECT_LE(std::filesystem::file_size(destination), 262144u);

    error = nullptr;
    ASSERT_TRUE(HTTPDataDecompressor::uncompressDataFromFile_toFile_error(source, destination, &error, inflated));
    EXPECT_EQ(std::filesystem::file_size(destination), inflated);
    // The default limit is far above any reply of the service.
    EXPECT_EQ(HTTPDataDecompressor::decompressor()->maximumInflatedLength(), 64ull << 20);
}

}  // namespace
