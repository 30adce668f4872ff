#include "platform/foundation/PropertyList.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

struct PlistFree {
    void operator()(plist_t p) const
    {
        if (p != nullptr) {
            plist_free(p);
        }
    }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Value toValue(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return Value(static_cast<long long>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_STRING: {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        Value v(s != nullptr ? std::string(s) : std::string());
        std::free(s);
        return v;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Value v(NSData(bytes, static_cast<size_t>(length)));
        std::free(bytes);
        return v;
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(NSDate::dateWithTimeIntervalSinceReferenceDate(sec + usec / 1e6));
    }
    case PLIST_ARRAY: {
        Value array = Value::array();
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            Value item = toValue(plist_array_get_item(node, i));
            if (!item.isNil()) {
                array.addObject(item);
            }
        }
        return array;
    }
    case PLIST_DICT: {
        Value dict = Value::dictionary();
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        while (it != nullptr) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (key == nullptr) {
                break;
            }
            Value value = item != nullptr ? toValue(item) : Value();
            if (!value.isNil()) {
                dict.setObject_forKey(value, key);
            }
            std::free(key);
        }
        std::free(it);
        return dict;
    }
    default: return Value();
    }
}

// nullptr when the value (or something in it) is not a property-list value.
plist_t toNode(const Value& value)
{
    switch (value.kind()) {
    case Value::Kind::Bool: return plist_new_bool(value.boolValue() ? 1 : 0);
    case Value::Kind::Int: return plist_new_uint(static_cast<uint64_t>(value.longLongValue()));
    case Value::Kind::UInt: return plist_new_uint(value.unsignedLongLongValue());
    case Value::Kind::Double:
    case Value::Kind::Decimal: return plist_new_real(value.doubleValue());
    case Value::Kind::String: return plist_new_string(value.string().c_str());
    case Value::Kind::Data: {
        const NSData& data = value.data();
        return plist_new_data(reinterpret_cast<const char*>(data.bytes()), data.length());
    }
    case Value::Kind::Date: {
        // Seconds since 2001 in 32 bits: dates from 1933 to 2069.
        const double t = std::clamp(value.date().timeIntervalSinceReferenceDate(), -2147483648.0, 2147483647.0);
        const double whole = std::floor(t);
        return plist_new_date(static_cast<int32_t>(whole), static_cast<int32_t>(std::lround((t - whole) * 1e6) % 1000000));
    }
    case Value::Kind::Array: {
        PlistPtr array(plist_new_array());
        for (const Value& item : value.arrayItems()) {
            plist_t node = toNode(item);
            if (node == nullptr) {
                return nullptr;
            }
            plist_array_append_item(array.get(), node);
        }
        return array.release();
    }
    case Value::Kind::Dictionary: {
        PlistPtr dict(plist_new_dict());
        for (const auto& [key, item] : value.dictionaryItems()) {
            plist_t node = toNode(item);
            if (node == nullptr) {
                return nullptr;
            }
            plist_dict_set_item(dict.get(), key.c_str(), node);
        }
        return dict.release();
    }
    default: return nullptr;
    }
}

}  // namespace

namespace PropertyList {

bool isPropertyList(const Value& value)
{
    PlistPtr node(toNode(value));
    return node != nullptr;
}

Value fromData(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        return Value();
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    PlistPtr owner(root);
    return root != nullptr ? toValue(root) : Value();
}

Value readFile(const std::string& path)
{
    auto data = NSData::dataWithContentsOfFile(path);
    return data ? fromData(data->view()) : Value();
}

std::optional<std::string> toData(const Value& value, Format format)
{
    PlistPtr node(toNode(value));
    if (!node) {
        return std::nullopt;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == Format::XML) {
        plist_to_xml(node.get(), &bytes, &length);
    } else {
        plist_to_bin(node.get(), &bytes, &length);
    }
    if (bytes == nullptr) {
        return std::nullopt;
    }
    std::string out(bytes, length);
    std::free(bytes);
    return out;
}

bool writeFile(const Value& value, const std::string& path, Format format, bool atomically)
{
    const auto bytes = toData(value, format);
    return bytes && NSData::dataWithString(*bytes).writeToFile_atomically(path, atomically);
}

}  // namespace PropertyList

namespace NSDictionary {

Value dictionaryWithContentsOfFile(const std::string& path)
{
    Value v = PropertyList::readFile(path);
    return v.isDictionary() ? v : Value();
}

bool writeToFile_atomically(const Value& dictionary, const std::string& path, bool atomically)
{
    return dictionary.isDictionary() && PropertyList::writeFile(dictionary, path, PropertyList::Format::XML, atomically);
}

}  // namespace NSDictionary

namespace NSArray {

Value arrayWithContentsOfFile(const std::string& path)
{
    Value v = PropertyList::readFile(path);
    return v.isArray() ? v : Value();
}

bool writeToFile_atomically(const Value& array, const std::string& path, bool atomically)
{
    return array.isArray() && PropertyList::writeFile(array, path, PropertyList::Format::XML, atomically);
}

}  // namespace NSArray
