#include "platform/SysFile.h"
#include "platform/WideText.h"

#include <windows.h>

namespace platform {

namespace {

// The full path as the system expands it; the name itself when it cannot.
std::wstring FullPath(const std::wstring &name)
{
    DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return name;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return name;
    full.resize(n);
    return full;
}

} // namespace

std::string SystemErrorText(unsigned long code)
{
    wchar_t *buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        LocalFree(buffer);
    const size_t first = text.find_first_not_of(L" \t\r\n");
    const size_t last = text.find_last_not_of(L" \t\r\n");
    text = first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
    if (text.empty())
        return "Unspecified error (" + std::to_string(code) + ") from system.";
    return WideToUtf8(text);
}

void *OpenForSharedReading(const std::u16string &fileName, int64_t &size, std::string &error)
{
    const std::wstring name = Utf16ToWide(fileName);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD code = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    LARGE_INTEGER length{};
    if (!code && !GetFileSizeEx(file, &length))
        code = GetLastError();
    if (code) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        error =
            "Datei " + WideToUtf8(FullPath(name)) + " kann nicht geöffnet werden. " + SystemErrorText(code);
        return nullptr;
    }
    size = length.QuadPart;
    return file;
}

int64_t ReadFileAt(void *handle, void *buffer, int64_t count, int64_t offset)
{
    int64_t done = 0;
    auto *out = static_cast<char *>(buffer);
    while (done < count) {
        // Each read names its offset, so the stream keeps its own position.
        OVERLAPPED at{};
        const uint64_t where = static_cast<uint64_t>(offset + done);
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        if (!ReadFile(static_cast<HANDLE>(handle), out + done, want, &got, &at) || got == 0)
            break;
        done += got;
    }
    return done;
}

void CloseFile(void *handle)
{
    CloseHandle(static_cast<HANDLE>(handle));
}

bool FileExists(const std::u16string &fileName)
{
    if (fileName.find_first_of(u"*?") != std::u16string::npos)
        return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Utf16ToWide(fileName).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace platform
