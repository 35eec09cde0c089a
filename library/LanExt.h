#pragma once

#include <string>
#include <vector>

using TStringArray = std::vector<std::string>;
