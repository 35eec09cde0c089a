#include "Plugins.h"

#include "Decoder.h"
#include "Error.h"
#include "SysLibrary.h"

#include <mutex>
#include <vector>

namespace klang {
namespace {

struct Loaded {
    void *library;
    const KLANG_PLUGIN *plugin;
};

// Plug-in handles carry a tag so that a stream handle is never taken for one.
constexpr HPLUGIN kPluginTag = 0x70000000;

std::mutex pluginLock;
std::vector<Loaded> &Plugins()
{
    // Never destroyed: engine threads may still decode during exit.
    static auto *plugins = new std::vector<Loaded>;
    return *plugins;
}

bool Usable(const KLANG_PLUGIN *p)
{
    const KLANG_DECODER &d = p->decoder;
    return p->api == KLANG_PLUGIN_API && d.open && d.read && d.seek && d.length && d.close &&
           (p->info.formatc == 0 || p->info.formats);
}

class PluginDecoder final : public Decoder {
public:
    PluginDecoder(const KLANG_DECODER &d, void *s, const KLANG_STREAM_FORMAT &f) : decoder(d), state(s)
    {
        rate = f.rate;
        channels = f.channels;
        frames = f.frames;
    }
    ~PluginDecoder() override { decoder.close(state); }
    long Read(float *pcm, uint32_t count) override
    {
        long n = decoder.read(state, pcm, count);
        return n > static_cast<long>(count) ? -1 : n;
    }
    bool Seek(uint64_t frame) override { return decoder.seek(state, frame) == 0; }

private:
    KLANG_DECODER decoder;
    void *state;
};

} // namespace

HPLUGIN LoadPlugin(const char *file)
{
    if (!file) {
        SetError(BASS_ERROR_FILEOPEN);
        return 0;
    }
    void *library = LoadSharedLibrary(file);
    if (!library) {
        SetError(BASS_ERROR_FILEOPEN);
        return 0;
    }
    auto entry = reinterpret_cast<KLANG_PLUGIN_ENTRY>(SharedLibrarySymbol(library, KLANG_PLUGIN_ENTRY_NAME));
    const KLANG_PLUGIN *plugin = entry ? entry() : nullptr;
    if (!plugin || !Usable(plugin)) {
        UnloadSharedLibrary(library);
        SetError(BASS_ERROR_FILEFORM);
        return 0;
    }
    std::lock_guard lock(pluginLock);
    auto &plugins = Plugins();
    for (size_t i = 0; i < plugins.size(); ++i) {
        if (plugins[i].library == library) {
            // Loading the same plug-in twice hands out the first handle.
            UnloadSharedLibrary(library);
            SetError(BASS_OK);
            return kPluginTag | static_cast<HPLUGIN>(i + 1);
        }
    }
    plugins.push_back({library, plugin});
    SetError(BASS_OK);
    return kPluginTag | static_cast<HPLUGIN>(plugins.size());
}

const KLANG_PLUGIN *FindPlugin(HPLUGIN handle)
{
    if ((handle & 0xFF000000) != kPluginTag)
        return nullptr;
    size_t index = handle & 0x00FFFFFF;
    std::lock_guard lock(pluginLock);
    auto &plugins = Plugins();
    if (index == 0 || index > plugins.size())
        return nullptr;
    return plugins[index - 1].plugin;
}

std::unique_ptr<Decoder> OpenWithPlugins(const char *path)
{
    std::vector<Loaded> plugins;
    {
        std::lock_guard lock(pluginLock);
        plugins = Plugins();
    }
    for (const Loaded &p : plugins) {
        KLANG_STREAM_FORMAT format{};
        void *state = p.plugin->decoder.open(path, &format);
        if (!state)
            continue;
        if (format.rate < 1000 || format.rate > 384000 || format.channels < 1 ||
            format.channels > kMaxChannels) {
            p.plugin->decoder.close(state);
            continue;
        }
        return std::make_unique<PluginDecoder>(p.plugin->decoder, state, format);
    }
    return nullptr;
}

} // namespace klang
