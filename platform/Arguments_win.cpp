#include "platform/Arguments.h"
#include "platform/WideText.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

namespace platform {

std::vector<std::string> Arguments(int, char **)
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

} // namespace platform
