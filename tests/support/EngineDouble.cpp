#include "tests/support/EngineDouble.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace engine_double {

std::string Value::ToString() const
{
    if (auto i = std::get_if<int64_t>(&v))
        return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", *d);
        return buf;
    }
    return "\"" + std::get<std::string>(v) + "\"";
}

int64_t Value::Int() const
{
    auto i = std::get_if<int64_t>(&v);
    return i ? *i : 0;
}

bool Call::operator==(const Call &other) const
{
    if (name != other.name || args != other.args)
        return false;
    return !result || !other.result || *result == *other.result;
}

std::string Call::ToString() const
{
    std::string text = name + "(";
    for (size_t i = 0; i < args.size(); ++i)
        text += (i ? ", " : "") + args[i].ToString();
    text += ")";
    if (result)
        text += " -> " + result->ToString();
    return text;
}

std::ostream &operator<<(std::ostream &out, const Call &call)
{
    return out << call.ToString();
}

namespace {

struct Sync {
    HSYNC handle;
    DWORD type;
    SYNCPROC *proc;
    void *user;
};

struct Stream {
    std::string path;
    QWORD length = 0;
    DWORD rate = 44100;
    DWORD channels = 2;
    bool decode = false;
    DWORD state = BASS_ACTIVE_STOPPED;
    QWORD position = 0;
    int volume = -1;
    bool freed = false;
    std::vector<Sync> syncs;
};

struct StreamScript {
    bool ok = false;
    QWORD length = 0;
    DWORD rate = 44100;
    DWORD channels = 2;
};

// The strings and the format array BASS_PluginGetInfo points into; kept in
// one heap object per handle so the pointers stay valid until rescripted.
struct PluginInfo {
    std::vector<PluginFormat> formats;
    std::vector<BASS_PLUGINFORM> forms;
    BASS_PLUGININFO info{};
};

struct World {
    std::mutex mutex;
    DWORD version = DefaultVersion;
    BOOL initResult = TRUE;
    std::map<std::string, HPLUGIN> pluginLoads;
    std::map<HPLUGIN, std::unique_ptr<PluginInfo>> pluginInfos;
    HPLUGIN nextPlugin = 0x7000;
    std::map<std::string, StreamScript> streamScripts;
    std::map<HSTREAM, Stream> streams;
    std::vector<HSTREAM> order;
    HSTREAM nextStream = 0x1001;
    HSYNC nextSync = 0x5001;
    std::vector<Call> log;
};

// Never destroyed: static destructors elsewhere may still call the engine.
World &world()
{
    static World *w = new World;
    return *w;
}

thread_local int lastError = BASS_OK;

// A script for a path: its full path, or failing that its file name.
template <class Map> auto findScript(Map &map, const std::string &path)
{
    auto it = map.find(path);
    if (it != map.end())
        return it;
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return map.end();
    it = map.find(path.substr(slash + 1));
    if (it != map.end() && it->first.find('/') == std::string::npos)
        return it;
    return map.end();
}

// Logs a call and returns its result; the caller holds the mutex.
template <class R> R logged(World &w, const char *name, std::vector<Value> args, R result)
{
    Call call{name};
    call.args = std::move(args);
    call.result = Value(result);
    w.log.push_back(std::move(call));
    return result;
}

// The stream, or null with BASS_ERROR_HANDLE; the caller holds the mutex.
Stream *live(World &w, DWORD handle)
{
    auto it = w.streams.find(handle);
    if (it == w.streams.end() || it->second.freed) {
        lastError = BASS_ERROR_HANDLE;
        return nullptr;
    }
    lastError = BASS_OK;
    return &it->second;
}

Stream *anyStream(World &w, HSTREAM handle)
{
    auto it = w.streams.find(handle);
    return it == w.streams.end() ? nullptr : &it->second;
}

} // namespace

void Reset()
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    w.version = DefaultVersion;
    w.initResult = TRUE;
    w.pluginLoads.clear();
    w.pluginInfos.clear();
    w.streamScripts.clear();
    w.streams.clear();
    w.order.clear();
    w.log.clear();
    lastError = BASS_OK;
}

void SetVersion(DWORD version)
{
    std::lock_guard lock(world().mutex);
    world().version = version;
}

void SetInitResult(BOOL result)
{
    std::lock_guard lock(world().mutex);
    world().initResult = result;
}

void ScriptPluginLoad(const std::string &pathOrName, HPLUGIN handle)
{
    std::lock_guard lock(world().mutex);
    world().pluginLoads[pathOrName] = handle;
}

void ScriptPluginInfo(HPLUGIN handle, std::vector<PluginFormat> formats, DWORD version)
{
    auto info = std::make_unique<PluginInfo>();
    info->formats = std::move(formats);
    for (const auto &f : info->formats)
        info->forms.push_back({f.ctype, f.name.c_str(), f.exts.c_str()});
    info->info.version = version;
    info->info.formatc = static_cast<DWORD>(info->forms.size());
    info->info.formats = info->forms.empty() ? nullptr : info->forms.data();
    std::lock_guard lock(world().mutex);
    world().pluginInfos[handle] = std::move(info);
}

HPLUGIN AddPlugin(const std::string &pathOrName, std::vector<PluginFormat> formats)
{
    HPLUGIN handle;
    {
        std::lock_guard lock(world().mutex);
        handle = world().nextPlugin++;
    }
    ScriptPluginLoad(pathOrName, handle);
    ScriptPluginInfo(handle, std::move(formats));
    return handle;
}

void ScriptStream(const std::string &pathOrName, QWORD lengthBytes, DWORD rate, DWORD channels)
{
    std::lock_guard lock(world().mutex);
    world().streamScripts[pathOrName] = {true, lengthBytes, rate, channels};
}

void ScriptStreamFailure(const std::string &pathOrName)
{
    std::lock_guard lock(world().mutex);
    world().streamScripts[pathOrName] = {};
}

std::vector<HSTREAM> Streams()
{
    std::lock_guard lock(world().mutex);
    return world().order;
}

HSTREAM LastStream()
{
    std::lock_guard lock(world().mutex);
    return world().order.empty() ? 0 : world().order.back();
}

std::vector<HSTREAM> OpenStreams()
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    std::vector<HSTREAM> open;
    for (HSTREAM h : w.order)
        if (!w.streams[h].freed)
            open.push_back(h);
    return open;
}

bool IsOpen(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s && !s->freed;
}

bool WasFreed(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s && s->freed;
}

std::string StreamPath(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s ? s->path : std::string();
}

void SetState(HSTREAM stream, DWORD state)
{
    std::lock_guard lock(world().mutex);
    if (Stream *s = anyStream(world(), stream))
        s->state = state;
}

DWORD State(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s && !s->freed ? s->state : BASS_ACTIVE_STOPPED;
}

void SetPosition(HSTREAM stream, QWORD position)
{
    std::lock_guard lock(world().mutex);
    if (Stream *s = anyStream(world(), stream))
        s->position = position;
}

QWORD Position(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s ? s->position : 0;
}

int Volume(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s ? s->volume : -1;
}

int SyncCount(HSTREAM stream)
{
    std::lock_guard lock(world().mutex);
    Stream *s = anyStream(world(), stream);
    return s ? static_cast<int>(s->syncs.size()) : 0;
}

int FireEnd(HSTREAM stream, bool evenIfFreed)
{
    std::vector<Sync> due;
    {
        std::lock_guard lock(world().mutex);
        Stream *s = anyStream(world(), stream);
        if (!s || (s->freed && !evenIfFreed))
            return 0;
        if (!s->freed) {
            s->state = BASS_ACTIVE_STOPPED;
            s->position = s->length;
        }
        for (const Sync &sync : s->syncs)
            if (sync.type == BASS_SYNC_END)
                due.push_back(sync);
    }
    for (const Sync &sync : due)
        sync.proc(sync.handle, stream, 0, sync.user);
    return static_cast<int>(due.size());
}

std::thread FireEndOnNewThread(HSTREAM stream, bool evenIfFreed)
{
    return std::thread([stream, evenIfFreed] { FireEnd(stream, evenIfFreed); });
}

std::vector<Call> Calls()
{
    std::lock_guard lock(world().mutex);
    return world().log;
}

std::vector<std::string> CallNames()
{
    std::lock_guard lock(world().mutex);
    std::vector<std::string> names;
    for (const Call &c : world().log)
        names.push_back(c.name);
    return names;
}

std::vector<Call> CallsTo(const std::string &name)
{
    std::lock_guard lock(world().mutex);
    std::vector<Call> calls;
    for (const Call &c : world().log)
        if (c.name == name)
            calls.push_back(c);
    return calls;
}

void ClearCalls()
{
    std::lock_guard lock(world().mutex);
    world().log.clear();
}

} // namespace engine_double

using namespace engine_double;

extern "C" {

DWORD BASS_GetVersion(void)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    return logged(w, "BASS_GetVersion", {}, w.version);
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *clsid)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    lastError = w.initResult ? BASS_OK : BASS_ERROR_DRIVER;
    return logged(w, "BASS_Init", {device, freq, flags, win, clsid}, w.initResult);
}

BOOL BASS_Free(void)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    return logged(w, "BASS_Free", {}, TRUE);
}

int BASS_ErrorGetCode(void)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    return logged(w, "BASS_ErrorGetCode", {}, lastError);
}

HPLUGIN BASS_PluginLoad(const char *file, DWORD flags)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    std::string path = file ? file : "";
    auto it = findScript(w.pluginLoads, path);
    HPLUGIN handle = it == w.pluginLoads.end() ? 0 : it->second;
    lastError = handle ? BASS_OK : BASS_ERROR_FILEFORM;
    return logged(w, "BASS_PluginLoad", {path, flags}, handle);
}

const BASS_PLUGININFO *BASS_PluginGetInfo(HPLUGIN handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    auto it = w.pluginInfos.find(handle);
    const BASS_PLUGININFO *info = it == w.pluginInfos.end() ? nullptr : &it->second->info;
    lastError = info ? BASS_OK : BASS_ERROR_HANDLE;
    return logged(w, "BASS_PluginGetInfo", {handle}, info);
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    if (mem) {
        lastError = BASS_ERROR_FILEFORM;
        return logged(w, "BASS_StreamCreateFile", {mem, file, offset, length, flags}, HSTREAM{0});
    }
    std::string path = file ? static_cast<const char *>(file) : "";
    std::vector<Value> args{mem, path, offset, length, flags};
    auto it = findScript(w.streamScripts, path);
    if (it == w.streamScripts.end() || !it->second.ok) {
        lastError = BASS_ERROR_FILEOPEN;
        return logged(w, "BASS_StreamCreateFile", std::move(args), HSTREAM{0});
    }
    HSTREAM handle = w.nextStream++;
    Stream s;
    s.path = path;
    s.length = it->second.length;
    s.rate = it->second.rate;
    s.channels = it->second.channels;
    s.decode = (flags & BASS_STREAM_DECODE) != 0;
    w.streams[handle] = std::move(s);
    w.order.push_back(handle);
    lastError = BASS_OK;
    return logged(w, "BASS_StreamCreateFile", std::move(args), handle);
}

BOOL BASS_StreamFree(HSTREAM handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    if (s) {
        s->freed = true;
        s->state = BASS_ACTIVE_STOPPED;
    }
    return logged(w, "BASS_StreamFree", {handle}, BOOL(s != nullptr));
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    if (s && volume != -1)
        s->volume = volume;
    return logged(w, "BASS_ChannelSetAttributes", {handle, freq, volume, pan}, BOOL(s != nullptr));
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    std::vector<Value> args{handle, type, param, proc, user};
    Stream *s = live(w, handle);
    if (s && (type != BASS_SYNC_END || !proc)) {
        lastError = BASS_ERROR_ILLTYPE;
        s = nullptr;
    }
    HSYNC sync = 0;
    if (s) {
        sync = w.nextSync++;
        s->syncs.push_back({sync, type, proc, user});
    }
    return logged(w, "BASS_ChannelSetSync", std::move(args), sync);
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    if (s) {
        if (restart)
            s->position = 0;
        s->state = BASS_ACTIVE_PLAYING;
    }
    return logged(w, "BASS_ChannelPlay", {handle, restart}, BOOL(s != nullptr));
}

BOOL BASS_ChannelPause(DWORD handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    bool ok = s && s->state == BASS_ACTIVE_PLAYING;
    if (ok)
        s->state = BASS_ACTIVE_PAUSED;
    return logged(w, "BASS_ChannelPause", {handle}, BOOL(ok));
}

BOOL BASS_ChannelStop(DWORD handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    if (s)
        s->state = BASS_ACTIVE_STOPPED;
    return logged(w, "BASS_ChannelStop", {handle}, BOOL(s != nullptr));
}

DWORD BASS_ChannelIsActive(DWORD handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    return logged(w, "BASS_ChannelIsActive", {handle}, s ? s->state : DWORD{BASS_ACTIVE_STOPPED});
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    if (s && !info) {
        lastError = BASS_ERROR_ILLPARAM;
        s = nullptr;
    }
    if (s)
        *info = {s->rate, s->channels, s->decode ? DWORD{BASS_STREAM_DECODE} : DWORD{0}};
    return logged(w, "BASS_ChannelGetInfo", {handle, info}, BOOL(s != nullptr));
}

QWORD BASS_ChannelGetLength(DWORD handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    return logged(w, "BASS_ChannelGetLength", {handle}, s ? s->length : ~QWORD{0});
}

QWORD BASS_ChannelGetPosition(DWORD handle)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    return logged(w, "BASS_ChannelGetPosition", {handle}, s ? s->position : ~QWORD{0});
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    bool ok = s && pos <= s->length;
    if (s && !ok)
        lastError = BASS_ERROR_POSITION;
    if (ok)
        s->position = pos;
    return logged(w, "BASS_ChannelSetPosition", {handle, pos}, BOOL(ok));
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    float seconds =
        s ? static_cast<float>(static_cast<double>(pos) / (double(s->rate) * s->channels * 2)) : -1.0f;
    return logged(w, "BASS_ChannelBytes2Seconds", {handle, pos}, seconds);
}

DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length)
{
    World &w = world();
    std::lock_guard lock(w.mutex);
    Stream *s = live(w, handle);
    DWORD delivered = ~DWORD{0};
    if (s && !s->decode) {
        lastError = BASS_ERROR_NOTDECODE;
    } else if (s) {
        QWORD left = s->length - std::min(s->position, s->length);
        if (left == 0 && length > 0) {
            lastError = BASS_ERROR_ENDED;
        } else {
            delivered = static_cast<DWORD>(std::min<QWORD>(left, length));
            std::memset(buffer, 0, delivered);
            s->position += delivered;
        }
    }
    return logged(w, "BASS_ChannelGetData", {handle, buffer, length}, delivered);
}

} // extern "C"
