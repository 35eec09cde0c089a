#include "app/AppExt.h"

#include "library/FileExt.h"
#include "platform/Clock.h"
#include "platform/Hooks.h"

TAppController *AppController = nullptr;

TAppController::TAppController()
{
    platform::SetApplicationTitle("Klangdeck");
    // The only seeding in the program; random play draws from this generator.
    platform::Randomize();
    std::string base = GetShellFolder("AppData");
    if (!base.empty() && base.back() == '/')
        base.pop_back();
    SettingsFolder = base + "/Klangdeck";
    SettingsFile = SettingsFolder + "/settings.cfg";
}
