// The application controller: title, the random generator's seed and the
// settings path. Main thread.
#pragma once

#include <string>

class TAppController {
public:
    TAppController();
    std::string SettingsFolder;
    std::string SettingsFile;
};

extern TAppController *AppController;
