// Folders and shell folders on Windows: FindFirstFileW and the registry.
#include "platform/Folders.h"
#include "platform/WideText.h"

#include <stdexcept>
#include <windows.h>

namespace platform {

namespace {

} // namespace

std::vector<DirEntry> ListFolder(const std::string &folder, bool)
{
    std::vector<DirEntry> entries;
    std::wstring pattern = Utf8ToWide(folder.empty() ? "." : folder);
    if (pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const DWORD a = data.dwFileAttributes;
        DirEntry entry;
        entry.name = WideToUtf8(name);
        entry.hidden = (a & FILE_ATTRIBUTE_HIDDEN) != 0;
        entry.folder = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.system = (a & FILE_ATTRIBUTE_SYSTEM) != 0;
        entry.readOnly = (a & FILE_ATTRIBUTE_READONLY) != 0;
        entry.archive = (a & FILE_ATTRIBUTE_ARCHIVE) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

// The search returns each entry with its attributes at no further cost.
std::vector<std::string> ListSubFolders(const std::string &folder)
{
    std::vector<std::string> names;
    for (DirEntry &entry : ListFolder(folder))
        if (entry.folder)
            names.push_back(std::move(entry.name));
    return names;
}

std::string ShellFolder(const std::string &name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return "";
    const std::wstring value = Utf8ToWide(name);
    DWORD type = 0;
    DWORD bytes = 0;
    std::string result;
    bool wrongType = false;
    if (RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS) {
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            wrongType = true;
        } else {
            std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
            DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            if (RegQueryValueExW(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(text.data()),
                                 &size) == ERROR_SUCCESS) {
                // Stored strings may or may not carry their terminating zero.
                text.resize(std::min<size_t>(size / sizeof(wchar_t), text.size()));
                const size_t end = text.find(L'\0');
                if (end != std::wstring::npos)
                    text.resize(end);
                result = WideToUtf8(text);
            }
        }
    }
    RegCloseKey(key);
    if (wrongType)
        throw std::runtime_error("Ungültiger Datentyp für '" + name + "'");
    return result;
}

} // namespace platform
