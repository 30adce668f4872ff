#pragma once
// Property lists (XML or binary files, read and written with libplist) as Values.
//
// Kinds: dictionary, array, string, integer (Int; UInt), real (Double; an exact Decimal is written as
// a real), boolean, date and data. Nil, null and objects are not property-list values: writing a
// Value holding one anywhere fails. Integers read back as Int (an unsigned value above the signed
// range reads back as the negative number of the same bits). Dictionaries keep the file's order.
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace PropertyList {

enum class Format { XML, Binary };

// Whether every value in it is a property-list value.
bool isPropertyList(const Value& value);
// An XML or binary property list; nil when the bytes are not one.
Value fromData(std::string_view bytes);
// nil when the file is missing or is not a property list.
Value readFile(const std::string& path);
// nullopt when the value is not a property list.
std::optional<std::string> toData(const Value& value, Format format = Format::XML);
// False when the value is not a property list or the file cannot be written.
bool writeFile(const Value& value, const std::string& path, Format format = Format::XML, bool atomically = true);

}  // namespace PropertyList

// The platform's readers: nil unless the file holds a dictionary (an array).
namespace NSDictionary {
Value dictionaryWithContentsOfFile(const std::string& path);
// -[NSDictionary writeToFile:atomically:] (XML).
bool writeToFile_atomically(const Value& dictionary, const std::string& path, bool atomically);
}  // namespace NSDictionary

namespace NSArray {
Value arrayWithContentsOfFile(const std::string& path);
bool writeToFile_atomically(const Value& array, const std::string& path, bool atomically);
}  // namespace NSArray
