#pragma once
// The JSON codec: parser (JsonParser, NSString_JsonParsing::JSONValue) and writer (JsonWriter,
// NSObject_JsonWriting::JSONRepresentation), with their stream layers.
#include "net/json/JsonParser.h"
#include "net/json/JsonStreamParserState.h"
#include "net/json/JsonStreamWriterState.h"
#include "net/json/JsonWriter.h"
