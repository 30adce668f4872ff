// Form requests: the two lists of a form and the two body formats written from them.
#include "net/http/HTTPFormDataRequest.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/foundation/Charset.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/UUID.h"

namespace {

constexpr char kOctetStream[] = "application/octet-stream";

bool isPlainFile(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

}  // namespace

// ---- Creation ----------------------------------------------------------------------------------------------

Ref<HTTPFormDataRequest> HTTPFormDataRequest::initWithURL(const Ref<NSURL>& newURL)
{
    auto request = std::make_shared<HTTPFormDataRequest>();
    request->initFormWithURLBody(newURL);
    return request;
}

Ref<HTTPFormDataRequest> HTTPFormDataRequest::requestWithURL(const Ref<NSURL>& newURL)
{
    return initWithURL(newURL);
}

void HTTPFormDataRequest::initFormWithURLBody(const Ref<NSURL>& newURL)
{
    initWithURLBody(newURL);
    setPostFormat(FormPostFormatURLEncoded);
    setStringEncoding(NSUTF8StringEncoding);
}

// ---- Fields ------------------------------------------------------------------------------------------------

void HTTPFormDataRequest::addPostValue_forKey(const Value& value, const std::string& key)
{
    if (key.empty()) {
        return;
    }
    // A nil value is sent as the key with an empty value.
    std::string text;
    if (!value.isNil()) {
        text = value.isString() ? value.stringValue() : value.description();
    }
    std::lock_guard lock(propertyLock_);
    if (!postData_) {
        postData_.emplace();
    }
    postData_->push_back(HTTPFormField{key, std::move(text)});
}

void HTTPFormDataRequest::setPostValue_forKey(const Value& value, const std::string& key)
{
    {
        std::lock_guard lock(propertyLock_);
        if (postData_) {
            std::erase_if(*postData_, [&](const HTTPFormField& field) { return field.key == key; });
        }
    }
    addPostValue_forKey(value, key);
}

// ---- File parts --------------------------------------------------------------------------------------------

void HTTPFormDataRequest::removeFilesForKey(const std::string& key)
{
    std::lock_guard lock(propertyLock_);
    if (fileData_) {
        std::erase_if(*fileData_, [&](const HTTPFormFile& file) { return file.key == key; });
    }
}

void HTTPFormDataRequest::addData_withFileName_andContentType_forKey(const NSData& data, const std::string& fileName,
                                                                     const std::string& contentType,
                                                                     const std::string& key)
{
    std::lock_guard lock(propertyLock_);
    if (!fileData_) {
        fileData_.emplace();
    }
    fileData_->push_back(HTTPFormFile{key, fileName, contentType.empty() ? kOctetStream : contentType, data});
}

void HTTPFormDataRequest::addData_forKey(const NSData& data, const std::string& key)
{
    addData_withFileName_andContentType_forKey(data, "file", std::string(), key);
}

void HTTPFormDataRequest::setData_withFileName_andContentType_forKey(const NSData& data, const std::string& fileName,
                                                                     const std::string& contentType,
                                                                     const std::string& key)
{
    removeFilesForKey(key);
    addData_withFileName_andContentType_forKey(data, fileName, contentType, key);
}

void HTTPFormDataRequest::setData_forKey(const NSData& data, const std::string& key)
{
    removeFilesForKey(key);
    addData_forKey(data, key);
}

void HTTPFormDataRequest::addFile_withFileName_andContentType_forKey(const std::string& filePath,
                                                                     const std::string& fileName,
                                                                     const std::string& contentType,
                                                                     const std::string& key)
{
    if (!isPlainFile(filePath)) {
        failWithError(
            HTTPRequestError(HTTPErrorBuildingRequest, stringWithFormat("No file exists at %@", filePath)));
        return;
    }
    HTTPFormFile file{key, fileName.empty() ? NSString::lastPathComponent(filePath) : fileName, contentType,
                      filePath};
    if (file.contentType.empty()) {
        file.contentType = mimeTypeForFileAtPath(filePath);
        if (file.contentType.empty()) {
            file.contentType = kOctetStream;  // the file went away between the two looks
        }
    }
    std::lock_guard lock(propertyLock_);
    if (!fileData_) {
        fileData_.emplace();
    }
    fileData_->push_back(std::move(file));
}

void HTTPFormDataRequest::addFile_forKey(const std::string& filePath, const std::string& key)
{
    addFile_withFileName_andContentType_forKey(filePath, std::string(), std::string(), key);
}

void HTTPFormDataRequest::setFile_withFileName_andContentType_forKey(const std::string& filePath,
                                                                     const std::string& fileName,
                                                                     const std::string& contentType,
                                                                     const std::string& key)
{
    removeFilesForKey(key);
    addFile_withFileName_andContentType_forKey(filePath, fileName, contentType, key);
}

void HTTPFormDataRequest::setFile_forKey(const std::string& filePath, const std::string& key)
{
    removeFilesForKey(key);
    addFile_forKey(filePath, key);
}

// ---- Building the body -------------------------------------------------------------------------------------

void HTTPFormDataRequest::buildPostBody()
{
    if (haveBuiltPostBody()) {
        return;
    }
    std::optional<std::vector<HTTPFormField>> fields = postData();
    std::optional<std::vector<HTTPFormFile>> files = fileData();
    if (!fields && !files) {
        HTTPRequest::buildPostBody();
        return;
    }
    if (files && !files->empty()) {
        setShouldStreamPostDataFromDisk(true);
    }
    stringEncodingFailed_ = false;
    if (postFormat() == FormPostFormatURLEncoded) {
        buildURLEncodedPostBody();
    } else {
        buildMultipartFormDataPostBody();
    }
    if (stringEncodingFailed_) {
        // Sending the body without the texts that could not be written would send a different form.
        failWithError(HTTPRequestError(
            HTTPErrorBuildingRequest,
            stringWithFormat("Unable to write the form in the encoding %@",
                             CFStringConvertEncodingToIANACharSetName(
                                 CFStringConvertNSStringEncodingToEncoding(stringEncoding())))));
        return;
    }
    HTTPRequest::buildPostBody();
}

void HTTPFormDataRequest::buildURLEncodedPostBody()
{
    std::optional<std::vector<HTTPFormFile>> files = fileData();
    if (files && !files->empty()) {
        // Files cannot be sent URL-encoded.
        setPostFormat(FormPostFormatMultipart);
        buildMultipartFormDataPostBody();
        return;
    }
    const std::string charset =
        CFStringConvertEncodingToIANACharSetName(CFStringConvertNSStringEncodingToEncoding(stringEncoding()));
    addRequestHeader_value("Content-Type",
                           stringWithFormat("application/x-www-form-urlencoded; charset=%@", charset));
    std::optional<std::vector<HTTPFormField>> fields = postData();
    if (!fields) {
        return;
    }
    for (size_t i = 0; i < fields->size(); ++i) {
        const HTTPFormField& field = (*fields)[i];
        appendPostString(stringWithFormat("%@=%@%@", encodeURL(field.key), encodeURL(field.value),
                                          i + 1 < fields->size() ? "&" : ""));
    }
}

void HTTPFormDataRequest::buildMultipartFormDataPostBody()
{
    const std::string boundary = stringWithFormat("0xKhTmLbOuNdArY-%@", CFUUIDCreateString());
    const std::string charset =
        CFStringConvertEncodingToIANACharSetName(CFStringConvertNSStringEncodingToEncoding(stringEncoding()));
    addRequestHeader_value("Content-Type",
                           stringWithFormat("multipart/form-data; charset=%@; boundary=%@", charset, boundary));
    const std::vector<HTTPFormField> fields = postData().value_or(std::vector<HTTPFormField>());
    const std::vector<HTTPFormFile> files = fileData().value_or(std::vector<HTTPFormFile>());
    const std::string separator = stringWithFormat("\r\n--%@\r\n", boundary);

    appendPostString(stringWithFormat("--%@\r\n", boundary));
    for (size_t i = 0; i < fields.size(); ++i) {
        appendPostString(stringWithFormat("Content-Disposition: form-data; name=\"%@\"\r\n\r\n", fields[i].key));
        appendPostString(fields[i].value);
        if (i + 1 < fields.size() || !files.empty()) {
            appendPostString(separator);
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const HTTPFormFile& file = files[i];
        appendPostString(stringWithFormat("Content-Disposition: form-data; name=\"%@\"; filename=\"%@\"\r\n",
                                          file.key, file.fileName));
        appendPostString(stringWithFormat("Content-Type: %@\r\n\r\n", file.contentType));
        if (const std::string* path = std::get_if<std::string>(&file.data)) {
            appendPostDataFromFile(*path);
        } else {
            appendPostData(std::get<NSData>(file.data));
        }
        if (i + 1 < files.size()) {
            appendPostString(separator);
        }
    }
    appendPostString(stringWithFormat("\r\n--%@--\r\n", boundary));
}

void HTTPFormDataRequest::appendPostString(const std::string& string)
{
    std::optional<std::string> bytes = Charset::encode(string, stringEncoding());
    if (!bytes) {
        stringEncodingFailed_ = true;
        return;
    }
    appendPostData(NSData(bytes->data(), bytes->size()));
}

std::string HTTPFormDataRequest::encodeURL(const std::string& string) const
{
    std::optional<std::string> bytes = Charset::encode(string, stringEncoding());
    if (!bytes) {
        return std::string();
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes->size() * 3);
    for (unsigned char c : *bytes) {
        if (isUnreserved(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}

// ---- Copying -----------------------------------------------------------------------------------------------

Ref<HTTPRequest> HTTPFormDataRequest::copyWithZone(void*) const
{
    auto copy = std::make_shared<HTTPFormDataRequest>();
    copy->initFormWithURLBody(url());
    copyConfigurationTo(*copy);
    if (haveBuiltPostBody() && (postData() || fileData())) {
        // The body written from the lists is written again by the copy; carrying it over would send the
        // form twice.
        if (copy->didCreateTemporaryPostDataFile()) {
            removeFileAtPath_error(copy->postBodyFilePath(), nullptr);
            copy->setDidCreateTemporaryPostDataFile(false);
        }
        copy->setPostBodyFilePath(std::string());
        copy->setPostBody(std::nullopt);
        copy->setPostLength(0);
    }
    copy->setPostData(postData());
    copy->setFileData(fileData());
    copy->setPostFormat(postFormat());
    copy->setStringEncoding(stringEncoding());
    copy->setRequestMethod(requestMethod());
    return copy;
}
