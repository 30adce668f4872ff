#include "api/ServiceReply.h"

#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"

Value ServiceReply::of(const Ref<HTTPRequest>& request)
{
    return NSString_JsonParsing::JSONValue(request->responseString());
}

Value ServiceReply::mutableItems(const Value& items)
{
    Value copies = Value::array();
    for (const Value& item : items.arrayItems()) {
        copies.addObject(item.isDictionary() ? item.mutableCopy() : item);
    }
    return copies;
}
