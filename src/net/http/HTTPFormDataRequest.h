#pragma once
// HTTPFormDataRequest: a request whose body is an HTML form, sent URL-encoded or as multipart/form-data.
//
//   auto form = HTTPFormDataRequest::requestWithURL(NSURL::URLWithString("http://host/m/reg.json"));
//   form->setPostValue_forKey(Value("alice"), "name");
//   form->setData_withFileName_andContentType_forKey(jpeg, "avatar.jpg", "image/jpeg", "icon");
//   form->startAsynchronous();
//
// Fields and file parts are kept in the order added; the body is written when the request starts (on its
// own thread): every field first, then every file part. A form with a file part is always sent as
// multipart, and its body is written to a temporary file and streamed from there. Fields added once the
// request has started are not sent.
//
// A field added with a nil value is sent with its key and an empty value.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "net/http/HTTPRequest.h"

enum FormPostFormat : int32_t {
    FormPostFormatMultipart = 0,
    FormPostFormatURLEncoded = 1,
};

// One text field: the key and the text that is sent.
struct HTTPFormField {
    std::string key;
    std::string value;
};

// One file part. `data` holds either the bytes to send or the path of a file whose contents are sent
// (read when the body is built).
struct HTTPFormFile {
    std::string key;
    std::string fileName;
    std::string contentType;
    std::variant<NSData, std::string> data;
};

class HTTPFormDataRequest : public HTTPRequest {
public:
    static Ref<HTTPFormDataRequest> initWithURL(const Ref<NSURL>& newURL);
    static Ref<HTTPFormDataRequest> requestWithURL(const Ref<NSURL>& newURL);

    // ---- Fields ------------------------------------------------------------------------------------
    // Appends a field whose text is the value's description (numbers as their decimal text; nil as the
    // empty text). An empty key adds nothing.
    void addPostValue_forKey(const Value& value, const std::string& key);
    // Removes every field of that key, then appends.
    void setPostValue_forKey(const Value& value, const std::string& key);

    // ---- File parts from memory --------------------------------------------------------------------
    // An empty content type becomes "application/octet-stream".
    void addData_withFileName_andContentType_forKey(const NSData& data, const std::string& fileName,
                                                    const std::string& contentType, const std::string& key);
    // File name "file", type "application/octet-stream".
    void addData_forKey(const NSData& data, const std::string& key);
    void setData_withFileName_andContentType_forKey(const NSData& data, const std::string& fileName,
                                                    const std::string& contentType, const std::string& key);
    void setData_forKey(const NSData& data, const std::string& key);

    // ---- File parts from files ---------------------------------------------------------------------
    // Fails the request at once (code 6, "No file exists at <path>") when no plain file is at the path.
    // An empty file name becomes the path's last component; an empty content type the type of the
    // path's extension.
    void addFile_withFileName_andContentType_forKey(const std::string& filePath, const std::string& fileName,
                                                    const std::string& contentType, const std::string& key);
    void addFile_forKey(const std::string& filePath, const std::string& key);
    void setFile_withFileName_andContentType_forKey(const std::string& filePath, const std::string& fileName,
                                                    const std::string& contentType, const std::string& key);
    void setFile_forKey(const std::string& filePath, const std::string& key);

    // ---- Body building (called by the request when it starts) --------------------------------------
    void buildPostBody() override;
    void buildURLEncodedPostBody();
    void buildMultipartFormDataPostBody();
    // Appends the text in stringEncoding (a text it cannot represent appends nothing and fails the build).
    void appendPostString(const std::string& string);
    // Percent-escapes the text's bytes in stringEncoding: only ASCII letters, digits, '-', '.' and '_'
    // stay as they are; "" when the text cannot be represented in the encoding.
    std::string encodeURL(const std::string& string) const;

    Ref<HTTPRequest> copyWithZone(void* zone = nullptr) const override;

    // ---- Properties --------------------------------------------------------------------------------
    // nullopt until the first field / file part.
    std::optional<std::vector<HTTPFormField>> postData() const { return locked(postData_); }
    void setPostData(const std::optional<std::vector<HTTPFormField>>& value) { store(postData_, value); }
    std::optional<std::vector<HTTPFormFile>> fileData() const { return locked(fileData_); }
    void setFileData(const std::optional<std::vector<HTTPFormFile>>& value) { store(fileData_, value); }
    int32_t postFormat() const { return postFormat_; }
    void setPostFormat(int32_t value) { postFormat_ = value; }
    NSStringEncoding stringEncoding() const { return stringEncoding_; }
    void setStringEncoding(NSStringEncoding value) { stringEncoding_ = value; }

    HTTPFormDataRequest() = default;  // use the factories

protected:
    void initFormWithURLBody(const Ref<NSURL>& newURL);

private:
    void removeFilesForKey(const std::string& key);

    std::optional<std::vector<HTTPFormField>> postData_;
    std::optional<std::vector<HTTPFormFile>> fileData_;
    std::atomic<int32_t> postFormat_{FormPostFormatURLEncoded};
    std::atomic<NSStringEncoding> stringEncoding_{NSUTF8StringEncoding};
    std::atomic<bool> stringEncodingFailed_{false};
};
