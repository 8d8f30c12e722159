// JSON lines of the trace. Texts are the module's bytes, which need not be
// UTF-8 (the Russian message file is not), so each byte outside a valid UTF-8
// sequence is written as the code point of the same number.
#include "devhost/trace.h"

#include <stdio.h>
#include <string.h>

// Length of the valid UTF-8 sequence starting at bytes[0], 0 if there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
static size_t Utf8SequenceLength(const unsigned char *bytes, size_t available) {
    unsigned char lead = bytes[0];
    size_t length;
    unsigned char low = 0x80, high = 0xbf; // bounds of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0;
        if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        if (lead == 0xf4)
            high = 0x8f;
    } else
        return 0;
    if (available < length || bytes[1] < low || bytes[1] > high)
        return 0;
    for (size_t i = 2; i < length; i++)
        if (bytes[i] < 0x80 || bytes[i] > 0xbf)
            return 0;
    return length;
}

std::string JsonString(const char *bytes, size_t length) {
    const unsigned char *text = reinterpret_cast<const unsigned char *>(bytes);
    std::string out = "\"";
    size_t i = 0;
    while (i < length) {
        unsigned char byte = text[i];
        size_t sequence = Utf8SequenceLength(text + i, length - i);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += (char)byte;
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || sequence == 0) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
            sequence = 1;
        } else {
            out.append(bytes + i, sequence);
            i += sequence;
            continue;
        }
        i++;
    }
    out += '"';
    return out;
}

std::string JsonString(const std::string &bytes) {
    return JsonString(bytes.data(), bytes.size());
}

std::string JsonText(const char *text) {
    return text ? JsonString(text, strlen(text)) : "null";
}

std::string JsonTexts(const std::vector<const char *> &texts) {
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); i++) {
        if (i > 0)
            out += ',';
        out += JsonText(texts[i]);
    }
    return out + "]";
}

JsonObject JsonStart(const char *op) {
    JsonObject object;
    object.Text = "{\"op\":" + JsonText(op);
    return object;
}

void JsonAdd(JsonObject &object, const char *key, int64_t value) {
    JsonAddRaw(object, key, std::to_string(value));
}

void JsonAddRaw(JsonObject &object, const char *key, const std::string &value) {
    object.Text += ',' + JsonText(key) + ':' + value;
}

std::string JsonFinish(const JsonObject &object) {
    return object.Text + '}';
}

std::string JsonDialogItems(const DialogItemRecord *items, int32_t count) {
    std::string out = "[";
    for (int32_t i = 0; i < count; i++) {
        const DialogItemRecord &item = items[i];
        // Objects of items carry no op: start from an empty object instead.
        JsonObject object;
        object.Text = "{\"type\":" + std::to_string(item.Type);
        JsonAdd(object, "x1", item.X1);
        JsonAdd(object, "y1", item.Y1);
        JsonAdd(object, "x2", item.X2);
        JsonAdd(object, "y2", item.Y2);
        JsonAdd(object, "focus", item.Focus);
        if (item.Type == DialogEditItem)
            JsonAddRaw(object, "history", JsonText(item.History));
        else
            JsonAdd(object, "selected", item.Selected);
        JsonAdd(object, "flags", item.Flags);
        JsonAdd(object, "default", item.DefaultButton);
        JsonAddRaw(object, "data", JsonString(item.Data, strnlen(item.Data, DialogItemDataSize)));
        if (i > 0)
            out += ',';
        out += JsonFinish(object);
    }
    return out + "]";
}

static std::string JsonStrings(const std::vector<std::string> &texts) {
    std::string list = "[";
    for (size_t i = 0; i < texts.size(); i++)
        list += (i > 0 ? "," : "") + JsonString(texts[i]);
    return list + "]";
}

std::string JsonEndLine(int64_t result, const std::vector<std::string> &selected, size_t unrestored,
                        const std::vector<std::string> &selectedShort, int64_t threadsLeft,
                        int64_t handlesLeft) {
    JsonObject object = JsonStart("end");
    JsonAdd(object, "result", result);
    JsonAddRaw(object, "selected", JsonStrings(selected));
    for (const std::string &name : selectedShort)
        if (!name.empty()) {
            JsonAddRaw(object, "selected_short", JsonStrings(selectedShort));
            break;
        }
    JsonAdd(object, "unrestored", (int64_t)unrestored);
    JsonAdd(object, "threads_left", threadsLeft);
    JsonAdd(object, "handles_left", handlesLeft);
    return JsonFinish(object);
}
