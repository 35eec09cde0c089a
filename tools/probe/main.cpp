#include "Probe.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: klangdeck-probe FILE... | --formats | --drives\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--formats") == 0) {
        std::fputs(ProbeFormats().c_str(), stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--drives") == 0) {
        std::fputs(ProbeDrives().c_str(), stdout);
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        std::fputs(ProbeFile(argv[i]).c_str(), stdout);
    return 0;
}
