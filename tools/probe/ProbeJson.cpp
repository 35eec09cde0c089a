#include "Probe.h"

#include "platform/Text.h"

#include <cstdio>

namespace {

std::string UnicodeEscape(unsigned code)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code);
    return buf;
}

} // namespace

std::string JsonString(const std::string &text)
{
    // Bytes that are not UTF-8 (file names are bytes) print as the escape of
    // the lone surrogate that stands for them, U+DC80..U+DCFF, so the line
    // stays valid UTF-8 and a reader can still restore the exact name.
    const std::u16string units = platform::Utf8ToUtf16(text);
    std::string out = "\"";
    size_t plain = 0; // start of the units not yet written
    auto flush = [&](size_t upTo) {
        out += platform::Utf16ToUtf8(units.substr(plain, upTo - plain));
        plain = upTo + 1;
    };
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        const bool highBefore = i > 0 && units[i - 1] >= 0xD800 && units[i - 1] <= 0xDBFF;
        std::string escape;
        switch (c) {
        case '"':
            escape = "\\\"";
            break;
        case '\\':
            escape = "\\\\";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '\r':
            escape = "\\r";
            break;
        case '\t':
            escape = "\\t";
            break;
        default:
            if (c < 0x20 || (c >= 0xDC80 && c <= 0xDCFF && !highBefore))
                escape = UnicodeEscape(c);
            else
                continue;
        }
        flush(i);
        out += escape;
    }
    flush(units.size());
    return out + "\"";
}
