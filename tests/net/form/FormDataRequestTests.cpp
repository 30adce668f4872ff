// Form requests: escaping, the exact URL-encoded and multipart bodies, file parts and their failures,
// copying, and one form sent to a loopback server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "http/HTTPTestSupport.h"
#include "net/http/HTTPFormDataRequest.h"
#include "platform/foundation/UUID.h"

using TestServers::RecordedRequest;
using TestServers::Reply;

namespace {

constexpr char kUUID[] = "01234567-89AB-CDEF-0123-456789ABCDEF";
constexpr char kBoundary[] = "0xKhTmLbOuNdArY-01234567-89AB-CDEF-0123-456789ABCDEF";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
}

// The body as it will be sent, from memory or from the body file.
std::string sentBody(const HTTPFormDataRequest& form)
{
    if (!form.postBodyFilePath().empty()) {
        return readFile(form.postBodyFilePath());
    }
    std::optional<NSData> body = form.postBody();
    return body ? std::string(reinterpret_cast<const char*>(body->bytes()), body->length()) : std::string();
}

class FormDataRequestTest : public HTTPRequestTest {
protected:
    FormDataRequestTest() { UUID::setGeneratorForTesting([] { return std::string(kUUID); }); }
    ~FormDataRequestTest() override { UUID::setGeneratorForTesting(nullptr); }

    Ref<HTTPFormDataRequest> form(const std::string& path = "/form")
    {
        return HTTPFormDataRequest::requestWithURL(NSURL::URLWithString(server.url(path)));
    }
    std::string writeFile(const std::string& name, const std::string& content)
    {
        const std::string path = home / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
};

std::string part(const std::string& key, const std::string& value)
{
    return "Content-Disposition: form-data; name=\"" + key + "\"\r\n\r\n" + value;
}
std::string filePart(const std::string& key, const std::string& fileName, const std::string& type,
                     const std::string& content)
{
    return "Content-Disposition: form-data; name=\"" + key + "\"; filename=\"" + fileName + "\"\r\nContent-Type: " +
           type + "\r\n\r\n" + content;
}
const std::string kOpen = std::string("--") + kBoundary + "\r\n";
const std::string kSeparator = std::string("\r\n--") + kBoundary + "\r\n";
const std::string kClose = std::string("\r\n--") + kBoundary + "--\r\n";

}  // namespace

TEST_F(FormDataRequestTest, EscapesEveryReservedCharacterAndEveryNonASCIIByte)
{
    auto request = form();
    struct Case {
        std::string text;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"AZaz09-._", "AZaz09-._"},
        {":/?#[]@", "%3A%2F%3F%23%5B%5D%40"},
        {"!$ &'()*", "%21%24%20%26%27%28%29%2A"},
        {"+,;=\"<>%", "%2B%2C%3B%3D%22%3C%3E%25"},
        {"{}|\\^~`", "%7B%7D%7C%5C%5E%7E%60"},
        {"a&b=c", "a%26b%3Dc"},
        {"\n\t\x7f", "%0A%09%7F"},
        {"caf\xC3\xA9", "caf%C3%A9"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(request->encodeURL(c.text), c.escaped) << c.text;
    }
    request->setStringEncoding(NSISOLatin1StringEncoding);
    EXPECT_EQ(request->encodeURL("caf\xC3\xA9"), "caf%E9");
    request->setStringEncoding(NSASCIIStringEncoding);
    EXPECT_EQ(request->encodeURL("caf\xC3\xA9"), "") << "a text the encoding cannot hold escapes to nothing";
}

TEST_F(FormDataRequestTest, URLEncodedBodiesFollowTheFieldRules)
{
    struct Case {
        std::string name;
        std::function<void(HTTPFormDataRequest&)> fill;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"two fields", [](auto& f) { f.addPostValue_forKey(Value("1"), "a"); f.addPostValue_forKey(Value("x y"), "b"); },
         "a=1&b=x%20y"},
        {"one field has no ampersand", [](auto& f) { f.addPostValue_forKey(Value("a&b=c"), "k"); }, "k=a%26b%3Dc"},
        {"tilde", [](auto& f) { f.addPostValue_forKey(Value("~"), "t"); }, "t=%7E"},
        {"set replaces and moves to the end",
         [](auto& f) {
             f.setPostValue_forKey(Value("1"), "a");
             f.addPostValue_forKey(Value("2"), "b");
             f.setPostValue_forKey(Value("3"), "a");
         },
         "b=2&a=3"},
        {"add twice sends twice", [](auto& f) { f.addPostValue_forKey(Value("1"), "a"); f.addPostValue_forKey(Value("2"), "a"); },
         "a=1&a=2"},
        {"an empty key is ignored", [](auto& f) { f.addPostValue_forKey(Value("1"), ""); f.addPostValue_forKey(Value("2"), "b"); },
         "b=2"},
        {"numbers as decimal text", [](auto& f) { f.addPostValue_forKey(Value(42), "n"); f.addPostValue_forKey(Value(-7), "m"); },
         "n=42&m=-7"},
        {"a nil value sends the key with an empty value",
         [](auto& f) { f.addPostValue_forKey(Value(), "a"); f.addPostValue_forKey(Value("1"), "b"); }, "a=&b=1"},
        {"keys are escaped too", [](auto& f) { f.addPostValue_forKey(Value("v"), "a b"); }, "a%20b=v"},
    };
    for (const Case& c : cases) {
        auto request = form();
        c.fill(*request);
        request->buildPostBody();
        EXPECT_EQ(sentBody(*request), c.body) << c.name;
        EXPECT_EQ(request->requestHeaders().valueForKey("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8")
            << c.name;
        EXPECT_EQ(request->requestHeaders().valueForKey("Content-Length"), std::to_string(c.body.size())) << c.name;
        EXPECT_EQ(request->requestMethod(), "POST") << c.name;
        EXPECT_EQ(request->postFormat(), FormPostFormatURLEncoded) << c.name;
    }
}

TEST_F(FormDataRequestTest, MultipartBodiesAreExactByteForByte)
{
    const std::string jpeg("\xFF\xD8\x00\x01\r\n--\xFF\xD9", 10);
    const std::string onDisk = writeFile("notes.txt", "line one\nline two\n");
    struct Case {
        std::string name;
        std::function<void(HTTPFormDataRequest&)> fill;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"avatar upload: token then image",
         [&](auto& f) {
             f.setPostValue_forKey(Value("tok"), "token");
             f.setData_withFileName_andContentType_forKey(NSData::dataWithString(jpeg), "avatar.jpg", "image/jpeg",
                                                          "icon");
         },
         kOpen + part("token", "tok") + kSeparator + filePart("icon", "avatar.jpg", "image/jpeg", jpeg) + kClose},
        {"fields only end with the closing line",
         [](auto& f) {
             f.setPostFormat(FormPostFormatMultipart);
             f.addPostValue_forKey(Value("1"), "a");
             f.addPostValue_forKey(Value("x y"), "b");
         },
         kOpen + part("a", "1") + kSeparator + part("b", "x y") + kClose},
        {"files only follow the opening line; defaults of addData",
         [&](auto& f) {
             f.addData_forKey(NSData::dataWithString("abc"), "blob");
             f.addData_withFileName_andContentType_forKey(NSData::dataWithString("def"), "d.bin", "", "other");
         },
         kOpen + filePart("blob", "file", "application/octet-stream", "abc") + kSeparator +
             filePart("other", "d.bin", "application/octet-stream", "def") + kClose},
        {"a file part from disk, named after the path, typed by its extension",
         [&](auto& f) {
             f.addPostValue_forKey(Value("v"), "k");
             f.addFile_forKey(onDisk, "doc");
         },
         kOpen + part("k", "v") + kSeparator + filePart("doc", "notes.txt", "text/plain", "line one\nline two\n") +
             kClose},
        {"setData replaces every part of the key",
         [&](auto& f) {
             f.addData_forKey(NSData::dataWithString("1"), "x");
             f.addData_forKey(NSData::dataWithString("2"), "x");
             f.addData_forKey(NSData::dataWithString("3"), "y");
             f.setData_forKey(NSData::dataWithString("4"), "x");
         },
         kOpen + filePart("y", "file", "application/octet-stream", "3") + kSeparator +
             filePart("x", "file", "application/octet-stream", "4") + kClose},
    };
    for (const Case& c : cases) {
        auto request = form();
        c.fill(*request);
        request->buildPostBody();
        ASSERT_FALSE(request->error()) << c.name;
        EXPECT_EQ(sentBody(*request), c.body) << c.name;
        EXPECT_EQ(request->requestHeaders().valueForKey("Content-Type"),
                  std::string("multipart/form-data; charset=utf-8; boundary=") + kBoundary)
            << c.name;
        EXPECT_EQ(request->requestHeaders().valueForKey("Content-Length"), std::to_string(c.body.size())) << c.name;
        EXPECT_EQ(request->postFormat(), FormPostFormatMultipart) << c.name << ": files force multipart";
        EXPECT_EQ(request->shouldStreamPostDataFromDisk(), request->fileData().has_value()) << c.name;
    }
}

TEST_F(FormDataRequestTest, AMissingFileOrAFolderFailsTheRequestAtOnce)
{
    for (const std::string& path : {home / "absent.jpg", home.path()}) {
        RecordingDelegate delegate;
        auto shared = std::shared_ptr<RecordingDelegate>(&delegate, [](RecordingDelegate*) {});
        auto request = form();
        request->setDelegate(shared);
        request->addFile_withFileName_andContentType_forKey(path, "a.jpg", "image/jpeg", "icon");
        ASSERT_TRUE(request->error()) << path;
        EXPECT_EQ(request->error()->domain(), "HTTPRequestErrorDomain");
        EXPECT_EQ(request->error()->code(), HTTPErrorBuildingRequest);
        EXPECT_EQ(request->error()->localizedDescription(), "No file exists at " + path);
        EXPECT_FALSE(request->fileData().has_value()) << "nothing is added for a missing file";
        ASSERT_TRUE(waitFor([&] { return delegate.count("failed") == 1; })) << path;
        EXPECT_TRUE(delegate.events[0].onMainThread);
    }
}

TEST_F(FormDataRequestTest, AnEmptyFormIsAPlainRequestWithoutBody)
{
    auto request = form();
    request->buildPostBody();
    EXPECT_EQ(request->requestMethod(), "GET");
    EXPECT_FALSE(request->requestHeaders().contains("Content-Type"));
    EXPECT_EQ(request->postLength(), 0u);
}

TEST_F(FormDataRequestTest, ACopyCarriesTheFormAndBuildsItOnce)
{
    auto request = form();
    request->addPostValue_forKey(Value("1"), "a");
    request->addData_forKey(NSData::dataWithString("abc"), "f");
    request->setStringEncoding(NSISOLatin1StringEncoding);
    request->buildPostBody();
    const std::string original = sentBody(*request);

    auto copy = std::dynamic_pointer_cast<HTTPFormDataRequest>(request->copyWithZone());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->postFormat(), FormPostFormatMultipart);
    EXPECT_EQ(copy->stringEncoding(), NSISOLatin1StringEncoding);
    EXPECT_EQ(copy->requestMethod(), "POST");
    copy->addPostValue_forKey(Value("2"), "b");  // the copy's list is its own
    EXPECT_EQ(request->postData()->size(), 1u);
    copy->buildPostBody();
    const std::string expected = kOpen + part("a", "1") + kSeparator + part("b", "2") + kSeparator +
                                 filePart("f", "file", "application/octet-stream", "abc") + kClose;
    EXPECT_EQ(sentBody(*copy), expected) << "the copy writes the form once, not after the original's body";
    EXPECT_EQ(sentBody(*request), original);
}

TEST_F(FormDataRequestTest, ATextTheEncodingCannotHoldFailsTheBuild)
{
    auto request = form();
    request->setStringEncoding(NSASCIIStringEncoding);
    request->setPostFormat(FormPostFormatMultipart);
    request->addPostValue_forKey(Value("caf\xC3\xA9"), "a");
    request->buildPostBody();
    ASSERT_TRUE(request->error());
    EXPECT_EQ(request->error()->code(), HTTPErrorBuildingRequest);
}

TEST_F(FormDataRequestTest, AFormReachesTheServerAsBuilt)
{
    server.enqueue(Reply::ok("done"));
    server.enqueue(Reply::ok("done"));
    auto encoded = form("/m/reg.json");
    encoded->setPostValue_forKey(Value("al ice"), "name");
    encoded->setPostValue_forKey(Value(3), "n");
    encoded->startSynchronous();
    ASSERT_FALSE(encoded->error());

    const std::string avatar = writeFile("avatar.jpg", std::string("\xFF\xD8 image \xFF\xD9", 10));
    auto upload = form("/m/upload-icon.json");
    upload->setPostValue_forKey(Value("tok"), "token");
    upload->setFile_withFileName_andContentType_forKey(avatar, "", "image/jpeg", "icon");
    upload->startSynchronous();
    ASSERT_FALSE(upload->error());

    ASSERT_TRUE(server.waitForRequests(2));
    const std::vector<RecordedRequest> seen = server.requests();
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].target, "/m/reg.json");
    EXPECT_EQ(seen[0].body, "name=al%20ice&n=3");
    EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(seen[1].method, "POST");
    EXPECT_EQ(seen[1].body, kOpen + part("token", "tok") + kSeparator +
                                filePart("icon", "avatar.jpg", "image/jpeg", readFile(avatar)) + kClose);
    EXPECT_EQ(seen[1].header("Content-Type"), std::string("multipart/form-data; charset=utf-8; boundary=") + kBoundary);
}
