#include "playback/BassExt.h"

#include "bass.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "platform/Text.h"

TBassController *BassController = nullptr;

namespace {

const char *const BuiltInExtensions[] = {".mp3", ".mp2", ".mp1", ".ogg", ".wav", ".aif"};

const char *const BuiltInFilter = "|RIFF WAVE (*.wav)|*.wav"
                                  "|MPEG Audio Layer (*.mp3; *.mp2; *.mp1)|*.mp3; *.mp2; *.mp1"
                                  "|Ogg (*.ogg; *.ogv; *.oga; *.ogx; *.ogm)|*.ogg; *.ogv; *.oga; *.ogx; *.ogm"
                                  "|Audio Interchange File Format (*.aif; *.aiff)|*.aif; *.aiff";

const char *const BuiltInPatterns =
    "*.wav; *.mp3; *.mp2; *.mp1; *.ogg; *.ogv; *.oga; *.ogx; *.ogm; *.aif; *.aiff";

bool IsPatternSeparator(char c)
{
    return c == ';' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The patterns of a plug-in format, "*.a;*.b" or "*.a; *.b"; empty pieces
// between doubled separators are no patterns.
std::vector<std::string> SplitPatterns(const char *exts)
{
    std::vector<std::string> patterns;
    std::string piece;
    for (const char *c = exts ? exts : ""; *c; ++c) {
        if (IsPatternSeparator(*c)) {
            if (!piece.empty())
                patterns.push_back(std::move(piece));
            piece.clear();
        } else {
            piece += *c;
        }
    }
    if (!piece.empty())
        patterns.push_back(std::move(piece));
    return patterns;
}

bool IsPluginCandidate(const std::string &name)
{
    const std::string prefix = "bass";
    const std::string suffix = platform::SharedLibrarySuffix;
    return name.size() >= prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

TBassController::TBassController()
    : TBassController(platform::ProgramFolder() + "bass" + platform::PathDelimiter)
{
}

TBassController::TBassController(std::string pluginFolder) : PluginFolder(std::move(pluginFolder))
{
    InitBass();
    LoadPlugins();
}

TBassController::~TBassController() = default;

void TBassController::InitBass()
{
    if ((BASS_GetVersion() >> 16) != BASSVERSION) {
        platform::ShowErrorBox("Fehler beim Initialisieren",
                               "Die notwendige Bibilothek 'Bass Version 2.3' wurde nicht gefunden.");
        platform::RequestTerminate();
    }
    BASS_Init(BASS_DEVICE_DEFAULT, 44100, 0, platform::TopLevelWindowHandle(), nullptr);
}

void TBassController::LoadPlugins()
{
    for (const char *ext : BuiltInExtensions)
        Extensions.push_back(ext);
    std::string formats = BuiltInFilter;
    std::string all = BuiltInPatterns;

    for (const platform::DirEntry &entry : platform::ListFolder(PluginFolder)) {
        // Only regular files: loading a FIFO or device could block start-up.
        if (!entry.archive || !IsPluginCandidate(entry.name))
            continue;
        HPLUGIN plugin = BASS_PluginLoad((PluginFolder + entry.name).c_str(), 0);
        if (!plugin)
            continue;
        const BASS_PLUGININFO *info = BASS_PluginGetInfo(plugin);
        if (!info || !info->formats)
            continue;
        for (DWORD i = 0; i < info->formatc; ++i) {
            const BASS_PLUGINFORM &format = info->formats[i];
            std::string list;
            for (const std::string &pattern : SplitPatterns(format.exts)) {
                std::string ext;
                for (char c : pattern)
                    if (c != '*')
                        ext += c;
                Extensions.push_back(ext);
                list += pattern + "; ";
                all += "; " + pattern;
            }
            if (!list.empty())
                list.resize(list.size() - 2);
            formats += "|" + std::string(format.name ? format.name : "") + " (" + list + ")|" + list;
        }
    }

    Filter = "Alle unterstützten Dateien (" + all + ")|" + all + "|Alle Dateien (*.*)|*.*" + formats;
}

bool TBassController::IsSupportedFile(const std::string &fileName) const
{
    std::string ext = platform::LowerCaseLocale(platform::ExtractFileExt(fileName));
    for (const std::string &entry : Extensions)
        if (platform::SameTextLocale(ext, entry))
            return true;
    return false;
}
