// A scriptable stand-in for the engine: every function of engine/include/bass.h
// with the same C signatures, linked instead of bass.so into the
// *_double_test.cpp suites. Tests script what the engine reports (version,
// plug-ins, streams, states, positions), fire end-of-stream syncs on demand
// and read back the log of every engine call in order.
//
// Threads: every function here and every engine function may be called from
// any thread; one mutex guards the double's state. Sync callbacks are called
// without that mutex held, so they may call back into the engine.
#pragma once

#include "bass.h"

#include <concepts>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace engine_double {

// One argument or result of a logged call: integers (handles, flags, BOOLs,
// byte positions, pointers as their address), floating-point numbers, texts.
class Value {
public:
    template <std::integral T> Value(T v) : v(static_cast<int64_t>(v)) {}
    template <std::floating_point T> Value(T v) : v(static_cast<double>(v)) {}
    Value(const char *s) : v(s ? std::string(s) : std::string()) {}
    Value(const std::string &s) : v(s) {}
    Value(std::nullptr_t) : v(int64_t{0}) {}
    // Data and function pointers alike: their address.
    template <class T> Value(T *p) : v(static_cast<int64_t>(reinterpret_cast<intptr_t>(p))) {}

    bool operator==(const Value &other) const { return v == other.v; }
    std::string ToString() const;
    // The integer, or 0 for other kinds.
    int64_t Int() const;

private:
    std::variant<int64_t, double, std::string> v;
};

// One engine call: {"BASS_ChannelSetPosition", handle, 5000000}. Two calls are
// equal when name and arguments are equal and, where both carry one, their
// results; an expected call written by a test usually has no result, so it
// matches the logged call whatever that returned. Returning() adds one.
struct Call {
    std::string name;
    std::vector<Value> args;
    std::optional<Value> result;

    Call(std::string name) : name(std::move(name)) {}
    template <class... A>
    Call(std::string name, A &&...a) : name(std::move(name)), args{Value(std::forward<A>(a))...}
    {
    }
    Call Returning(Value r) const
    {
        Call c = *this;
        c.result = std::move(r);
        return c;
    }

    bool operator==(const Call &other) const;
    // "BASS_ChannelSetPosition(7, 5000000) -> 1"
    std::string ToString() const;
};
std::ostream &operator<<(std::ostream &out, const Call &call);

// Forgets every script, stream, plug-in and logged call; the version goes
// back to DefaultVersion and BASS_Init to succeeding.
void Reset();

constexpr DWORD DefaultVersion = 0x02030001;
void SetVersion(DWORD version);
void SetInitResult(BOOL result);

// --- Plug-ins ---
struct PluginFormat {
    DWORD ctype = 0;
    std::string name;
    std::string exts;
};
// BASS_PluginLoad(file) gives handle when file is this full path, or when
// pathOrName has no "/" and is the file's name. Unscripted files give 0.
void ScriptPluginLoad(const std::string &pathOrName, HPLUGIN handle);
// What BASS_PluginGetInfo(handle) returns.
void ScriptPluginInfo(HPLUGIN handle, std::vector<PluginFormat> formats, DWORD version = 0x02030000);
// Both at once with a fresh handle, which it returns.
HPLUGIN AddPlugin(const std::string &pathOrName, std::vector<PluginFormat> formats);

// --- Streams ---
// BASS_StreamCreateFile(path) succeeds with these figures when path is this
// full path, or when pathOrName has no "/" and is the file's name.
// Unscripted paths fail (BASS_ERROR_FILEOPEN).
void ScriptStream(const std::string &pathOrName, QWORD lengthBytes, DWORD rate = 44100, DWORD channels = 2);
void ScriptStreamFailure(const std::string &pathOrName);

// The streams created so far, in order (freed ones included).
std::vector<HSTREAM> Streams();
// The last stream created, 0 if none.
HSTREAM LastStream();
// The streams not yet freed, in order.
std::vector<HSTREAM> OpenStreams();
bool IsOpen(HSTREAM stream);
bool WasFreed(HSTREAM stream);
std::string StreamPath(HSTREAM stream);

// What BASS_ChannelIsActive reports, and the byte position. Play(restart)
// sets playing (and position 0 on restart), Pause sets paused, Stop stopped.
void SetState(HSTREAM stream, DWORD state);
DWORD State(HSTREAM stream);
void SetPosition(HSTREAM stream, QWORD position);
QWORD Position(HSTREAM stream);
// The volume last set with BASS_ChannelSetAttributes, -1 before.
int Volume(HSTREAM stream);
// How many syncs are set on the stream.
int SyncCount(HSTREAM stream);

// Fires the stream's end syncs as the engine does when it has played the
// last sample: the stream becomes stopped at its end, then every end sync is
// called with (sync, stream, 0, user). A freed stream fires nothing unless
// evenIfFreed is set, which replays an end that raced with BASS_StreamFree.
// Returns how many callbacks ran. FireEnd calls them on this thread.
int FireEnd(HSTREAM stream, bool evenIfFreed = false);
// The same from a new thread, like the engine's own; join the result.
std::thread FireEndOnNewThread(HSTREAM stream, bool evenIfFreed = false);

// --- The call log ---
std::vector<Call> Calls();
std::vector<std::string> CallNames();
// Only the calls of one function.
std::vector<Call> CallsTo(const std::string &name);
void ClearCalls();

} // namespace engine_double
