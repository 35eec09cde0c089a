#include "Probe.h"
#include "platform/Arguments.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    const std::vector<std::string> args = platform::Arguments(argc, argv);
    if (args.empty()) {
        std::fprintf(stderr, "usage: klangdeck-probe FILE... | --formats | --drives | --decode FILE OUT\n");
        return 2;
    }
    if (args[0] == "--formats") {
        std::fputs(ProbeFormats().c_str(), stdout);
        return 0;
    }
    if (args[0] == "--drives") {
        std::fputs(ProbeDrives().c_str(), stdout);
        return 0;
    }
    if (args[0] == "--decode") {
        if (args.size() != 3) {
            std::fprintf(stderr, "usage: klangdeck-probe --decode FILE OUT\n");
            return 2;
        }
        const std::string line = ProbeDecode(args[1], args[2]);
        std::fputs(line.c_str(), stdout);
        return line.find("\"error\"") == std::string::npos ? 0 : 1;
    }
    for (const std::string &file : args)
        std::fputs(ProbeFile(file).c_str(), stdout);
    return 0;
}
