// A per-user registry key kept as it is: what others keep there survives
// what this program's libraries write. Main thread.
#pragma once

#include <memory>
#include <string>

namespace platform {

// HKEY_CURRENT_USER\path (path with "\") as it is now, put back when this
// object ends: values added meanwhile go, changed or removed ones come back;
// a key that did not exist goes again, and so do the parents that came with
// it while they are empty. Nothing on systems without a registry.
class KeptRegistryKey {
public:
    explicit KeptRegistryKey(const std::string &path);
    ~KeptRegistryKey();
    KeptRegistryKey(KeptRegistryKey &&) noexcept;
    KeptRegistryKey &operator=(KeptRegistryKey &&) = delete;

    struct State;

private:
    std::unique_ptr<State> state;
};

} // namespace platform
