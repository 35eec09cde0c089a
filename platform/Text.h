// Text conversion. The program's 8-bit text is UTF-8 on this platform.
// All functions are pure and may be called from any thread.
#pragma once

#include <string>

namespace platform {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string &text);
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string &text);

// Lower-cases by the user's locale, on decoded code points.
std::string LowerCaseLocale(const std::string &text);
// Equal without regard to case, by the user's locale.
bool SameTextLocale(const std::string &a, const std::string &b);

} // namespace platform
