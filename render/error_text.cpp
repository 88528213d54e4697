#include "render/error_text.h"

#include "platform/dyn_array.h"
#include "platform/log.h"

#include <cstring>

namespace {
DynArray<char> message; // zero-terminated when not empty

void append_raw(const char* text, int length) {
    if (message.num > 0) --message.num; // drop the terminator
    message.reserve(message.num + length + 1);
    memcpy(message.items + message.num, text, size_t(length));
    message.num += length;
    message.push_back(0);
}
} // namespace

void set_error_message(const char* text) {
    message.clear();
    if (!text || !*text) return;
    append_raw(text, int(strlen(text)));
    debug("ERROR MESSAGE SET: %s", text);
}

void append_error_message(const char* text, int length) {
    if (!text || length == 0) return;
    if (length < 0) length = int(strlen(text));
    if (message.num > 1) append_raw("\n", 1);
    append_raw(text, length);
}

bool has_error_message() {
    return message.num > 1;
}

const char* get_error_message() {
    return message.num ? message.items : "";
}
