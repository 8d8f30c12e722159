// JSON lines of the trace: one object per host operation the module calls.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "host/records.h"

// The bytes as a quoted JSON string: valid UTF-8 passes through, every byte
// that is not part of a valid UTF-8 sequence becomes \u00XX.
std::string JsonString(const char *bytes, size_t length);
std::string JsonString(const std::string &bytes);
// A NUL-terminated text, or null for a null pointer.
std::string JsonText(const char *text);
// An array of texts, null elements as null.
std::string JsonTexts(const std::vector<const char *> &texts);

// An object built key by key, in the order added; the op comes first.
struct JsonObject {
    std::string Text;
};

JsonObject JsonStart(const char *op);
void JsonAdd(JsonObject &object, const char *key, int64_t value);
// value is JSON already (a string from JsonString, an array, true, null...).
void JsonAddRaw(JsonObject &object, const char *key, const std::string &value);
std::string JsonFinish(const JsonObject &object);

// The dialog items as an array of objects; an edit field shows its history
// name where the other items show their selected value.
std::string JsonDialogItems(const DialogItemRecord *items, int32_t count);

// The last line of a trace. The short names of the selected items, when
// any has one, tell apart items whose names the code page made equal.
// threadsLeft and handlesLeft: how many more the process had right after
// the module's entry returned than right before it was called.
std::string JsonEndLine(int64_t result, const std::vector<std::string> &selected, size_t unrestored,
                        const std::vector<std::string> &selectedShort = {}, int64_t threadsLeft = 0,
                        int64_t handlesLeft = 0);
