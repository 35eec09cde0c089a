// The engine controller: version check, output device, plug-ins, the
// supported extensions and the open-file dialog's filter. Created and filled
// on the main thread at start-up; afterwards IsSupportedFile only reads and
// may be called from any thread.
#pragma once

#include <string>
#include <vector>

class TBassController {
public:
    // Runs InitBass, then LoadPlugins with the folder "bass/" beside the
    // program file.
    TBassController();
    // The same with another plug-in folder (ending in "/").
    explicit TBassController(std::string pluginFolder);
    ~TBassController();

    std::vector<std::string> Extensions;
    std::string Filter;

    bool IsSupportedFile(const std::string &fileName) const;

private:
    void InitBass();
    void LoadPlugins();
    std::string PluginFolder;
};

extern TBassController *BassController;
