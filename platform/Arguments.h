// The program's command line as UTF-8 text, whatever the system hands over.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments after the program's name. On Windows they are read from the
// UTF-16 command line (argv there went through the ANSI code page, which loses
// every character outside it); on POSIX they are argv's bytes as they are.
std::vector<std::string> Arguments(int argc, char **argv);

} // namespace platform
