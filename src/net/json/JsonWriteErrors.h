#pragma once
// Refusals worded alike by both JSON writers.
#include "platform/foundation/Value.h"

#include <string>

namespace JsonWriteErrors {

// "JSON serialisation not supported for <class>", for an item no JSON text can hold; the class is
// what "%@" of its class shows (NSData, NSDate, an object's class name, "(null)" for nil).
std::string unsupportedItem(const Value& item);

}  // namespace JsonWriteErrors
