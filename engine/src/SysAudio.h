// The sound systems the engine tries, in order, by SDL's driver names.
#pragma once

#include <string>
#include <vector>

namespace klang {

std::vector<std::string> PreferredAudioDrivers();

} // namespace klang
