#include "Probe.h"

#include "playback/BassExt.h"

std::string ProbeFormats()
{
    TBassController controller;
    std::string out = "{\"extensions\": [";
    for (size_t i = 0; i < controller.Extensions.size(); ++i)
        out += (i ? ", " : "") + JsonString(controller.Extensions[i]);
    return out + "], \"filter\": " + JsonString(controller.Filter) + "}\n";
}
