// Loaded format plug-ins. Plug-ins stay loaded for the life of the process;
// the list may be read and extended from any thread.
#pragma once

#include "bass_plugin.h"

namespace klang {

// dlopens a plug-in; 0 (with the error code set) when it is not one.
HPLUGIN LoadPlugin(const char *file);
// The plug-in's record, or nullptr for an unknown handle.
const KLANG_PLUGIN *FindPlugin(HPLUGIN handle);

} // namespace klang
