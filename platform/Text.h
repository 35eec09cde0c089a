// Text conversion. The program's 8-bit text is UTF-8 on this platform.
// All functions are pure and may be called from any thread.
#pragma once

#include <string>

namespace platform {

// The two conversions keep every byte string exactly: Utf8ToUtf16 turns each
// byte that is not part of a well-formed UTF-8 sequence into the lone
// surrogate U+DC80..U+DCFF (U+DC00 + the byte), and Utf16ToUtf8 turns such a
// lone surrogate back into its byte. File names are bytes here, and so a name
// that is not UTF-8 reaches the system unchanged after any round trip.

// UTF-16 to UTF-8; a lone U+DC80..U+DCFF gives its byte back, any other
// unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string &text);
// UTF-8 to UTF-16; bytes of malformed sequences become U+DC80..U+DCFF.
std::u16string Utf8ToUtf16(const std::string &text);

// Lower-cases by the user's locale, on decoded code points.
std::string LowerCaseLocale(const std::string &text);
// Equal without regard to case, by the user's locale.
bool SameTextLocale(const std::string &a, const std::string &b);

} // namespace platform
