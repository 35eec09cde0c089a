// The Opus plug-in's decoder over arbitrary bytes.
#include "PluginFuzz.h"

extern "C" const KLANG_PLUGIN *KlangPluginEntry(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzPlugin(KlangPluginEntry(), data, size, ".opus");
    return 0;
}
