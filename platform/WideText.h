// UTF-8 to and from the UTF-16 of the Windows API (wchar_t is 16 bits there).
#pragma once

#include "platform/Text.h"

#include <string>

namespace platform {

inline std::wstring Utf8ToWide(const std::string &text)
{
    const std::u16string wide = Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

inline std::wstring Utf16ToWide(const std::u16string &text)
{
    return std::wstring(text.begin(), text.end());
}

inline std::string WideToUtf8(const std::wstring &text)
{
    return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

} // namespace platform
