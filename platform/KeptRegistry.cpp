// Systems without a registry: nothing to keep.
#include "platform/KeptRegistry.h"

namespace platform {

struct KeptRegistryKey::State {
};

KeptRegistryKey::KeptRegistryKey(const std::string &)
{
}

KeptRegistryKey::~KeptRegistryKey() = default;

KeptRegistryKey::KeptRegistryKey(KeptRegistryKey &&) noexcept = default;

} // namespace platform
