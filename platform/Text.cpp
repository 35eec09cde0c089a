#include "platform/Text.h"

#include <clocale>
#include <cstring>
#include <cwctype>
#include <iterator>
#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// A byte that is no part of a UTF-8 sequence travels through UTF-16 as the
// lone surrogate U+DC00 + byte, so that file names, which are bytes, survive
// the round trip exactly.
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;

// Decodes one code point at text[i], advancing i; malformed input gives
// U+FFFD and advances by one byte.
char32_t decodeUtf8(const std::string &text, size_t &i)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = b0 >= 0xF0 && b0 <= 0xF4 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
    if (extra < 0) {
        ++i;
        return kReplacement;
    }
    char32_t cp = b0 & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return cp;
}

// Writes cp at out and returns the end; room for four bytes is needed.
char *encodeUtf8(char *out, char32_t cp)
{
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

void appendUtf8(std::string &out, char32_t cp)
{
    char units[4];
    out.append(units, encodeUtf8(units, cp));
}

#if defined(_WIN32)
// Windows maps case by the user's locale on UTF-16; code points outside the
// basic plane go through as their surrogate pair.
char32_t lower(char32_t cp)
{
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    wchar_t units[2];
    DWORD n = 1;
    if (cp >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<wchar_t>(cp);
    }
    CharLowerBuffW(units, n);
    if (n == 2)
        return 0x10000 + ((char32_t(units[0]) - 0xD800) << 10) + (char32_t(units[1]) - 0xDC00);
    return units[0];
}
#else
// The user's character classification locale when it is UTF-8, otherwise
// C.UTF-8, so that case mapping covers every code point either way.
locale_t caseLocale()
{
    static locale_t loc = [] {
        locale_t user = newlocale(LC_CTYPE_MASK, "", nullptr);
        if (user) {
            const char *codeset = nl_langinfo_l(CODESET, user);
            if (codeset && std::strcmp(codeset, "UTF-8") == 0)
                return user;
            freelocale(user);
        }
        locale_t fallback = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        return fallback ? fallback : newlocale(LC_CTYPE_MASK, "C", nullptr);
    }();
    return loc;
}

char32_t lower(char32_t cp)
{
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), caseLocale()));
}
#endif

} // namespace

// Both conversions write into room for the longest result (on the stack for
// a name or a tag) and return a copy of what was written: a folder's worth
// of names goes through them, and a length check per unit would cost more
// than the conversion itself. The copy is of the exact size, so that the
// records of a large folder do not keep room for three times their tags.
std::string Utf16ToUtf8(const std::u16string &text)
{
    // One unit makes at most three bytes; a pair makes four from two.
    char small[768];
    std::string large;
    char *begin = small;
    if (text.size() * 3 > sizeof small) {
        large.resize(text.size() * 3);
        begin = large.data();
    }
    char *end = begin;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit < 0x80) {
            *end++ = static_cast<char>(unit);
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            end = encodeUtf8(end, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= kEscapeFirst && unit <= kEscapeLast) {
            *end++ = static_cast<char>(unit - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            end = encodeUtf8(end, kReplacement);
        } else {
            end = encodeUtf8(end, unit);
        }
    }
    return std::string(begin, end);
}

std::u16string Utf8ToUtf16(const std::string &text)
{
    // Never more units than bytes: only four bytes make two units.
    char16_t small[384];
    std::u16string large;
    char16_t *begin = small;
    if (text.size() > std::size(small)) {
        large.resize(text.size());
        begin = large.data();
    }
    char16_t *end = begin;
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            *end++ = static_cast<char16_t>(text[i++]);
            continue;
        }
        const size_t start = i;
        char32_t cp = decodeUtf8(text, i);
        if (cp == kReplacement && i == start + 1) {
            *end++ = static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[start]));
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            *end++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *end++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *end++ = static_cast<char16_t>(cp);
        }
    }
    return std::u16string(begin, end);
}

std::string LowerCaseLocale(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        char32_t cp = decodeUtf8(text, i);
        if (cp == kReplacement && i == start + 1 && static_cast<unsigned char>(text[start]) >= 0x80)
            out += text[start]; // keep bytes that are not UTF-8 as they are
        else
            appendUtf8(out, lower(cp));
    }
    return out;
}

bool SameTextLocale(const std::string &a, const std::string &b)
{
    if (a.size() == b.size() && a == b)
        return true;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        size_t si = i, sj = j;
        char32_t ca = decodeUtf8(a, i), cb = decodeUtf8(b, j);
        if (ca == kReplacement || cb == kReplacement) {
            // Bytes that are not UTF-8 compare as bytes.
            if (a.compare(si, i - si, b, sj, j - sj) != 0)
                return false;
            continue;
        }
        if (lower(ca) != lower(cb))
            return false;
    }
    return i == a.size() && j == b.size();
}

} // namespace platform
