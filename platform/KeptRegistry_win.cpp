// A per-user registry key put back as it was.
#include "platform/KeptRegistry.h"
#include "platform/WideText.h"

#include <algorithm>
#include <vector>
#include <windows.h>

namespace platform {

namespace {

struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// Registry value names are at most 16383 characters.
constexpr DWORD kNameChars = 16384;

std::vector<Value> ReadValues(HKEY key)
{
    std::vector<Value> values;
    std::wstring name(kNameChars, L'\0');
    for (DWORD i = 0;; ++i) {
        Value value;
        DWORD chars = kNameChars, bytes = 0;
        if (RegEnumValueW(key, i, name.data(), &chars, nullptr, &value.type, nullptr, &bytes) != ERROR_SUCCESS)
            break;
        value.name.assign(name.data(), chars);
        value.data.resize(bytes);
        chars = kNameChars;
        if (RegEnumValueW(key, i, name.data(), &chars, nullptr, &value.type, value.data.data(), &bytes) !=
            ERROR_SUCCESS)
            break;
        value.data.resize(bytes);
        values.push_back(std::move(value));
    }
    return values;
}

bool Exists(const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Removes a key that holds neither values nor keys.
void RemoveIfEmpty(const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD keys = 0, values = 0;
    const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       keys == 0 && values == 0;
    RegCloseKey(key);
    if (empty)
        RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

} // namespace

struct KeptRegistryKey::State {
    std::wstring path;
    std::vector<std::wstring> missing; // the key and the parents it lacked, deepest first
    std::vector<Value> values;
};

KeptRegistryKey::KeptRegistryKey(const std::string &path) : state(std::make_unique<State>())
{
    state->path = Utf8ToWide(path);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, state->path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        state->values = ReadValues(key);
        RegCloseKey(key);
        return;
    }
    for (std::wstring p = state->path; !p.empty() && !Exists(p);) {
        state->missing.push_back(p);
        const size_t slash = p.rfind(L'\\');
        p = slash == std::wstring::npos ? std::wstring() : p.substr(0, slash);
    }
}

KeptRegistryKey::~KeptRegistryKey()
{
    if (!state)
        return;
    if (!state->missing.empty()) {
        RegDeleteTreeW(HKEY_CURRENT_USER, state->path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, state->path.c_str());
        for (size_t i = 1; i < state->missing.size(); ++i)
            RemoveIfEmpty(state->missing[i]);
        return;
    }
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, state->path.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    for (const Value &now : ReadValues(key))
        if (std::none_of(state->values.begin(), state->values.end(),
                         [&](const Value &before) { return before.name == now.name; }))
            RegDeleteValueW(key, now.name.c_str());
    for (const Value &before : state->values)
        RegSetValueExW(key, before.name.c_str(), 0, before.type, before.data.data(),
                       static_cast<DWORD>(before.data.size()));
    RegCloseKey(key);
}

KeptRegistryKey::KeptRegistryKey(KeptRegistryKey &&) noexcept = default;

} // namespace platform
