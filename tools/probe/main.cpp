#include "Probe.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: klangdeck-probe FILE... | --formats | --drives | --decode FILE OUT\n");
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
    if (std::strcmp(argv[1], "--decode") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "usage: klangdeck-probe --decode FILE OUT\n");
            return 2;
        }
        const std::string line = ProbeDecode(argv[2], argv[3]);
        std::fputs(line.c_str(), stdout);
        return line.find("\"error\"") == std::string::npos ? 0 : 1;
    }
    for (int i = 1; i < argc; ++i)
        std::fputs(ProbeFile(argv[i]).c_str(), stdout);
    return 0;
}
