#include "Engine.h"

#include "Error.h"
#include "Output.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace klang {
namespace {

// How far ahead the feed decodes (seconds at the output rate), and the fill
// below which the mixer asks it for more.
constexpr double kAheadSeconds = 0.5;
constexpr double kRefillSeconds = 0.375;
constexpr uint32_t kMixBlock = 1024;
// How long the output stays open after the last playing channel stopped or
// paused: long enough for the next track of a playlist or a quick resume,
// short enough that an idle player holds nothing open at the sound server.
constexpr auto kCloseIdleOutputAfter = std::chrono::milliseconds(1000);
// While something plays the feed also looks round this often, in case a
// wake-up from the mixer was missed.
constexpr auto kFeedSafetyNet = std::chrono::milliseconds(100);
// How often the engine tries to reach a sound server that is not there.
constexpr auto kReconnectEvery = std::chrono::milliseconds(1000);

using Clock = std::chrono::steady_clock;

// Wakes a sleeping engine thread; the releases before a wake-up count as one.
// Not std::counting_semaphore: without futexes (Windows) libstdc++ waits on
// condition variables of a static pool, which the engine's DLL destroys when
// the process ends, after Windows has killed the engine's threads, maybe in
// the middle of such a wait; destroying one then waits forever. This lives
// in the engine's state, which is never destroyed.
class Wake {
public:
    void Release()
    {
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        wakeUp.notify_one();
    }
    // Until released, or until timeout has passed (never with its maximum).
    void Wait(Clock::duration timeout)
    {
        std::unique_lock lock(mutex);
        if (timeout == Clock::duration::max())
            wakeUp.wait(lock, [this] { return released; });
        else
            wakeUp.wait_for(lock, timeout, [this] { return released; });
        released = false;
    }

private:
    std::mutex mutex;
    std::condition_variable wakeUp;
    bool released = false;
};

struct State {
    std::mutex lifeLock; // Initialise and Shutdown

    std::mutex apiLock;
    std::condition_variable callbackDone;
    std::unordered_map<DWORD, std::shared_ptr<Channel>> streams;
    bool initialised = false;
    uint32_t outRate = 44100;
    // Handles are never reused, not even across BASS_Free, so a stale one
    // stays an error.
    DWORD nextStream = 0x10000;
    DWORD nextSync = 1;

    std::mutex mixLock;
    std::vector<std::shared_ptr<Channel>> mixing; // every non-decode channel
    std::vector<float> mixScratch = std::vector<float>(size_t(kMixBlock) * kMaxChannels);

    // The output device: closed while nothing plays. outputLock is taken
    // before mixLock and never inside the device callback.
    std::mutex outputLock;
#ifdef KLANG_PULSEAUDIO
    std::unique_ptr<PulseAudio> pulse; // taken before sdl where a server runs
    // Set at BASS_Init: the default output goes to the sound server when
    // there is one, also one that comes (back) later.
    std::atomic<bool> pulseWanted{false};
    // The server went away while the engine used it: the channels wait
    // where they were heard until it is back (no other device stands in,
    // which would play them on unheard).
    bool pulseGone = false;
    Clock::time_point reconnectAt{};
#endif
    std::unique_ptr<SdlAudio> sdl; // neither: the no-sound device
    FILE *capture = nullptr;
    std::unique_ptr<Output> output;
    unsigned outputOpens = 0;

    // Guarded by mixLock: what the output has taken, for the heard position.
    bool outputOpen = false;
    uint32_t outputLatency = 0;
    uint64_t outFrames = 0;     // frames mixed since BASS_Init
    uint64_t channelFrames = 0; // frames of playing channels mixed since BASS_Init
    uint64_t heardFloor = 0;    // the heard output frame last reported
    Clock::time_point lastMix{};

    std::atomic<bool> running{false};
    Wake feedWake;
    Wake syncWake;
    std::thread feeder;
    std::thread syncer;
    std::atomic<std::thread::id> syncThread{};
};

State &S()
{
    static State *state = new State; // never destroyed: engine threads may outlive static destructors
    return *state;
}

bool AnyPlayingLocked(const State &s)
{
    return std::any_of(s.mixing.begin(), s.mixing.end(),
                       [](const std::shared_ptr<Channel> &ch) { return ch->state == PlayState::Playing; });
}

// Returns how many frames the channel filled.
uint32_t MixChannel(Channel &ch, float *out, uint32_t frames, float *scratch)
{
    uint32_t done = 0;
    float left = ch.volume * (ch.pan > 0 ? 1.0f - ch.pan : 1.0f);
    float right = ch.volume * (ch.pan < 0 ? 1.0f + ch.pan : 1.0f);
    while (done < frames) {
        size_t n = ch.ring.Read(scratch, std::min<uint32_t>(frames - done, kMixBlock));
        if (n == 0)
            break;
        float *o = out + size_t(done) * kOutputChannels;
        const uint32_t c = ch.channels;
        for (size_t i = 0; i < n; ++i) {
            const float *f = scratch + i * c;
            float l, r;
            if (c == 1) {
                l = r = f[0];
            } else {
                l = f[0];
                r = f[1];
                for (uint32_t k = 2; k < c; ++k)
                    (k % 2 == 0 ? l : r) += 0.5f * f[k];
            }
            o[2 * i] += l * left;
            o[2 * i + 1] += r * right;
        }
        done += static_cast<uint32_t>(n);
    }
    ch.playedOut += done;
    if (done > 0)
        ch.lastOut = S().outFrames + done;
    S().channelFrames += done;
    if (done == frames) {
        ch.stalled = false;
    } else if (ch.ringEnded.load(std::memory_order_acquire) && ch.ring.Fill() == 0) {
        ch.state = PlayState::Stopped;
        ch.atEnd = true;
        ch.stalled = false;
        ch.pendingEnds.fetch_add(1);
        S().syncWake.Release();
        // The feed starts counting down to closing the output.
        S().feedWake.Release();
    } else {
        ch.stalled = true;
    }
    return done;
}

// Mixes what the rings hold, never waits for I/O; returns the frames
// filled. A queueing device (queued) holds inQueue frames ahead of the ear
// already, takes nothing while nothing plays, and takes only up to the last
// sample of the last channel that ends inside the block: a track started
// from that end is queued right behind it.
uint32_t MixBlock(float *out, uint32_t frames, bool queued, uint32_t inQueue)
{
    State &s = S();
    std::fill_n(out, size_t(frames) * kOutputChannels, 0.0f);
    bool hungry = false;
    {
        std::lock_guard lock(s.mixLock);
        if (queued && !AnyPlayingLocked(s))
            return 0;
        uint32_t used = 0;
        for (auto &ch : s.mixing) {
            if (ch->state != PlayState::Playing)
                continue;
            used = std::max(used, MixChannel(*ch, out, frames, s.mixScratch.data()));
            hungry |= ch->state == PlayState::Playing && !ch->ringEnded.load(std::memory_order_relaxed) &&
                      ch->ring.Fill() < size_t(ch->outRate * kRefillSeconds);
        }
        if (queued && !AnyPlayingLocked(s))
            frames = used;
        s.outFrames += frames;
        s.lastMix = Clock::now();
        if (queued)
            s.outputLatency = inQueue + frames;
    }
    for (size_t i = 0, n = size_t(frames) * kOutputChannels; i < n; ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    if (hungry)
        s.feedWake.Release();
    return frames;
}

// The device callback of SDL and the no-sound clock.
void Mix(float *out, uint32_t frames)
{
    MixBlock(out, frames, false, 0);
}

uint32_t MixQueued(float *out, uint32_t frames, uint32_t inQueue)
{
    return MixBlock(out, frames, true, inQueue);
}

// The output frame being heard now: the device still holds up to its
// latency of what was mixed last, and plays it out at the output rate.
// It never goes back while the device plays on: a latency the device
// reports a little larger than before is the device's jitter, not the ear's.
uint64_t HeardOutFrameLocked(State &s)
{
    uint64_t heard = s.outFrames;
    if (s.outputOpen && s.outputLatency != 0) {
        const double since = std::chrono::duration<double>(Clock::now() - s.lastMix).count();
        const double ahead = double(s.outputLatency) - since * s.outRate;
        if (ahead > 0)
            heard = s.outFrames - std::min(s.outFrames, static_cast<uint64_t>(ahead));
    }
    s.heardFloor = std::clamp(heard, s.heardFloor, s.outFrames);
    return s.heardFloor;
}

// The device dropped the last dropped frames it took from the mix, unheard;
// with the mix held off. Each channel gets back its part of them, to be
// mixed again (a pause then resumes, a stop then plays on, where the ear
// left it; the other channels go on without a gap). Channels that reached
// their end keep it: their end was reported already.
void GiveBack(State &s, uint32_t dropped)
{
    std::vector<std::shared_ptr<Channel>> channels;
    uint64_t from;
    {
        std::lock_guard mix(s.mixLock);
        from = s.outFrames - std::min<uint64_t>(dropped, s.outFrames);
        channels = s.mixing;
    }
    for (auto &ch : channels) {
        // The feed must not write into the ring meanwhile.
        std::lock_guard decode(ch->decodeLock);
        std::lock_guard mix(s.mixLock);
        if (ch->freed || ch->atEnd || ch->lastOut <= from)
            continue;
        // A channel's frames in the device are the last it mixed, in one
        // run up to lastOut.
        uint64_t back = std::min<uint64_t>(ch->playedOut, ch->lastOut - from);
        back = std::min<uint64_t>(back, ch->ring.Capacity() - ch->ring.Fill());
        ch->ring.Unread(static_cast<size_t>(back));
        ch->playedOut -= back;
        ch->lastOut = from;
        s.channelFrames -= back;
        if (back > 0)
            ch->stalled = false;
    }
    std::lock_guard mix(s.mixLock);
    // What the device kept (its sink's own buffer, at most) plays out from
    // the frame heard now.
    const uint64_t heard = std::min(HeardOutFrameLocked(s), from);
    s.outFrames = from;
    s.heardFloor = heard;
    s.outputLatency = static_cast<uint32_t>(from - heard);
    s.lastMix = Clock::now();
}

// Makes a pause, stop or seek heard at once on a device that queues much
// ahead; with outputLock held.
void DiscardQueuedLocked(State &s)
{
    if (s.output)
        s.output->Discard([&s](uint32_t dropped) { GiveBack(s, dropped); });
}

void DiscardQueued()
{
    State &s = S();
    std::lock_guard out(s.outputLock);
    DiscardQueuedLocked(s);
}

// Opens the output when it is closed; with outputLock held. Where the
// sound device does not open (any more), the no-sound clock takes its
// place, so that playback goes on with positions and end syncs.
void OpenOutputLocked(State &s)
{
    if (s.output)
        return;
    std::unique_ptr<Output> output;
#ifdef KLANG_PULSEAUDIO
    if (s.pulse && !s.pulse->Lost())
        output = s.pulse->Open(s.outRate, MixQueued);
    if (!output && s.pulseGone)
        return; // the feed opens it when the server is back
#endif
    if (!output && s.sdl)
        output = s.sdl->Open(s.outRate, Mix);
    if (!output)
        output = OpenNoSound(s.outRate, Mix, s.capture);
    {
        std::lock_guard mix(s.mixLock);
        s.outputOpen = true;
        // A device that tells its latency with every mix call told it with
        // its first, while it opened.
        if (const uint32_t latency = output->Latency())
            s.outputLatency = latency;
    }
    s.output = std::move(output);
    ++s.outputOpens;
}

// Closes the output once nothing has played for kCloseIdleOutputAfter.
// idleSince is the feed's note of when it found nothing playing (the
// clock's epoch while something plays). Returns how
// long the feed may sleep: until the closing is due, a safety-net interval
// while something plays, or for good (Clock::duration::max()).
Clock::duration CloseIdleOutput(State &s, Clock::time_point &idleSince)
{
    std::unique_ptr<Output> closing;
    std::lock_guard out(s.outputLock);
    bool playing;
    {
        std::lock_guard mix(s.mixLock);
        playing = AnyPlayingLocked(s);
    }
    if (playing) {
        idleSince = {};
        return kFeedSafetyNet;
    }
    if (!s.output) {
        idleSince = {};
        return Clock::duration::max();
    }
    const Clock::time_point now = Clock::now();
    if (idleSince == Clock::time_point{})
        idleSince = now;
    if (now - idleSince < kCloseIdleOutputAfter)
        return idleSince + kCloseIdleOutputAfter - now;
    {
        // A second after the last block everything mixed has been heard.
        std::lock_guard mix(s.mixLock);
        s.outputOpen = false;
        s.outputLatency = 0;
    }
    // Closed under outputLock, so that a Play meanwhile waits and opens it
    // again.
    s.output.reset();
    idleSince = {};
    return Clock::duration::max();
}

#ifdef KLANG_PULSEAUDIO
void PulseLost()
{
    S().feedWake.Release();
}

// On the feed thread: drops an output whose server went away, giving the
// channels back what was not heard, and tries about once a second to reach
// a server while something plays without one (it went away, or there was
// none at BASS_Init and another device stands in).
void KeepServer(State &s)
{
    if (!s.pulseWanted.load())
        return;
    std::unique_ptr<PulseAudio> gone;
    {
        std::lock_guard out(s.outputLock);
        if (s.pulse && s.pulse->Lost()) {
            if (s.output) {
                uint64_t unheard;
                {
                    std::lock_guard mix(s.mixLock);
                    unheard = s.outFrames - HeardOutFrameLocked(s);
                }
                GiveBack(s, static_cast<uint32_t>(unheard));
                s.output.reset();
                std::lock_guard mix(s.mixLock);
                s.outputOpen = false;
                s.outputLatency = 0;
            }
            gone = std::move(s.pulse);
            s.pulseGone = true;
            s.reconnectAt = Clock::now() + kReconnectEvery;
        }
        if (s.pulse || Clock::now() < s.reconnectAt)
            return;
        std::lock_guard mix(s.mixLock);
        if (!AnyPlayingLocked(s))
            return;
    }
    gone.reset();
    // Outside the engine's locks: connecting may take a moment.
    std::unique_ptr<PulseAudio> pulse = PulseAudio::Start(PulseLost);
    std::lock_guard out(s.outputLock);
    s.reconnectAt = Clock::now() + kReconnectEvery;
    if (!pulse)
        return;
    s.pulse = std::move(pulse);
    s.pulseGone = false;
    bool playing;
    {
        std::lock_guard mix(s.mixLock);
        playing = AnyPlayingLocked(s);
    }
    if (!s.output && !playing)
        return;
    // The device standing in hands over to the server.
    s.output.reset();
    OpenOutputLocked(s);
}
#endif

void FeedLoop()
{
    State &s = S();
    const size_t ahead = static_cast<size_t>(s.outRate * kAheadSeconds);
    const size_t refill = static_cast<size_t>(s.outRate * kRefillSeconds);
    std::vector<std::shared_ptr<Channel>> work;
    Clock::time_point idleSince{}; // none while something plays
    Clock::duration sleep = Clock::duration::max();
    while (s.running.load()) {
        // The mixer wakes the feed when a ring runs low or a channel ends,
        // the API calls when the playing state changes. With nothing playing
        // and the output closed the feed sleeps until then.
        s.feedWake.Wait(sleep);
        work.clear();
        {
            std::lock_guard lock(s.mixLock);
            for (auto &ch : s.mixing)
                if (ch->state != PlayState::Stopped && !ch->ringEnded.load(std::memory_order_relaxed) &&
                    ch->ring.Fill() < refill)
                    work.push_back(ch);
        }
        for (auto &ch : work)
            ch->Fill(ahead);
        work.clear();
        sleep = CloseIdleOutput(s, idleSince);
#ifdef KLANG_PULSEAUDIO
        KeepServer(s);
#endif
    }
}

// Reports ends to the syncs, outside every engine lock.
void SyncLoop()
{
    State &s = S();
    s.syncThread.store(std::this_thread::get_id());
    std::vector<std::pair<std::shared_ptr<Channel>, int>> ends;
    while (s.running.load()) {
        // Every end and the shutdown wake this thread.
        s.syncWake.Wait(Clock::duration::max());
        ends.clear();
        {
            std::lock_guard lock(s.apiLock);
            for (auto &[handle, ch] : s.streams)
                if (int n = ch->pendingEnds.exchange(0))
                    ends.emplace_back(ch, n);
        }
        for (auto &[ch, count] : ends) {
            std::vector<Sync> syncs;
            {
                std::lock_guard lock(s.apiLock);
                // An earlier callback of this round may have freed it.
                if (ch->removed || ch->syncs.empty())
                    continue;
                syncs = ch->syncs;
                ++ch->callbacksRunning;
            }
            for (int i = 0; i < count; ++i)
                for (const Sync &sync : syncs)
                    sync.proc(sync.handle, ch->handle, 0, sync.user);
            {
                std::lock_guard lock(s.apiLock);
                --ch->callbacksRunning;
            }
            s.callbackDone.notify_all();
        }
    }
}

// Takes a stream out of the table and the mixer; waits for a running sync
// callback of it unless called from inside one.
void Retire(std::unique_lock<std::mutex> &api, const std::shared_ptr<Channel> &ch)
{
    State &s = S();
    ch->removed = true;
    s.streams.erase(ch->handle);
    if (std::this_thread::get_id() != s.syncThread.load())
        s.callbackDone.wait(api, [&] { return ch->callbacksRunning == 0; });
    {
        std::lock_guard mix(s.mixLock);
        ch->freed = true;
        ch->state = PlayState::Stopped;
        auto it = std::find(s.mixing.begin(), s.mixing.end(), ch);
        if (it != s.mixing.end())
            s.mixing.erase(it);
    }
    s.feedWake.Release();
}

} // namespace

OutputState GetOutputState()
{
    State &s = S();
    OutputState state;
    std::lock_guard out(s.outputLock);
    state.opens = s.outputOpens;
    std::lock_guard mix(s.mixLock);
    state.open = s.outputOpen;
    state.channelFrames = s.channelFrames;
    state.queued = s.outFrames - HeardOutFrameLocked(s);
    return state;
}

std::mutex &MixLock()
{
    return S().mixLock;
}

bool Initialise(int device, uint32_t freq)
{
    State &s = S();
    std::lock_guard life(s.lifeLock);
    {
        std::lock_guard lock(s.apiLock);
        if (s.initialised) {
            SetError(BASS_ERROR_ALREADY);
            return false;
        }
    }
    if (device < -1 || device > 1) {
        SetError(BASS_ERROR_DEVICE);
        return false;
    }
    if (freq == 0)
        freq = 44100;
    if (freq < 8000 || freq > 192000) {
        SetError(BASS_ERROR_ILLPARAM);
        return false;
    }
    // The device itself opens at the first Play; only the sound system
    // starts here.
    bool started = false;
    if (device != BASS_DEVICE_NOSOUND) {
#ifdef KLANG_PULSEAUDIO
        // SDL_AUDIODRIVER naming another driver keeps SDL's choice (tests
        // use it for the no-sound device).
        const char *driver = std::getenv("SDL_AUDIODRIVER");
        s.pulseWanted.store(device == -1 && (!driver || !*driver || std::strcmp(driver, "pulseaudio") == 0));
        if (s.pulseWanted.load())
            s.pulse = PulseAudio::Start(PulseLost);
        s.pulseGone = false;
        s.reconnectAt = Clock::now() + kReconnectEvery;
        started = s.pulse != nullptr;
#endif
        if (!started)
            s.sdl = SdlAudio::Start();
        started |= s.sdl != nullptr;
    }
    if (!started && device == 1) {
        SetError(BASS_ERROR_DRIVER);
        return false;
    }
    if (!started)
        s.capture = OpenNoSoundCapture();
    s.outRate = freq;
    {
        std::lock_guard mix(s.mixLock);
        s.outFrames = s.channelFrames = s.heardFloor = 0;
        s.outputOpen = false;
        s.outputLatency = 0;
    }
    s.outputOpens = 0;
    s.running.store(true);
    s.feeder = std::thread(FeedLoop);
    s.syncer = std::thread(SyncLoop);
    {
        std::lock_guard lock(s.apiLock);
        s.initialised = true;
    }
    SetError(BASS_OK);
    return true;
}

bool Initialised()
{
    std::lock_guard lock(S().apiLock);
    return S().initialised;
}

bool Shutdown()
{
    State &s = S();
    if (std::this_thread::get_id() == s.syncThread.load()) {
        // The sync thread cannot wait for itself to finish.
        SetError(BASS_ERROR_UNKNOWN);
        return false;
    }
    std::lock_guard life(s.lifeLock);
    std::vector<std::shared_ptr<Channel>> all;
    {
        std::unique_lock api(s.apiLock);
        if (!s.initialised) {
            SetError(BASS_ERROR_INIT);
            return false;
        }
        s.initialised = false;
        for (auto &[handle, ch] : s.streams)
            all.push_back(ch);
        for (auto &ch : all)
            Retire(api, ch);
    }
    s.running.store(false);
    s.feedWake.Release();
    s.syncWake.Release();
    s.feeder.join();
    s.syncer.join();
    s.syncThread.store(std::thread::id{});
    {
        std::lock_guard out(s.outputLock);
        s.output.reset();
        {
            std::lock_guard mix(s.mixLock);
            s.outputOpen = false;
            s.outputLatency = 0;
        }
        s.sdl.reset();
#ifdef KLANG_PULSEAUDIO
        s.pulse.reset();
        s.pulseWanted.store(false);
        s.pulseGone = false;
#endif
        if (s.capture) {
            std::fclose(s.capture);
            s.capture = nullptr;
        }
    }
    for (auto &ch : all)
        ch->Close();
    SetError(BASS_OK);
    return true;
}

HSTREAM AddStream(std::unique_ptr<Decoder> decoder, bool decodeOnly)
{
    State &s = S();
    std::shared_ptr<Channel> ch;
    {
        std::lock_guard lock(s.apiLock);
        if (!s.initialised) {
            SetError(BASS_ERROR_INIT);
            return 0;
        }
        ch = std::make_shared<Channel>(s.nextStream++, std::move(decoder), decodeOnly, s.outRate);
        s.streams.emplace(ch->handle, ch);
        if (!decodeOnly) {
            std::lock_guard mix(s.mixLock);
            s.mixing.push_back(ch);
        }
    }
    SetError(BASS_OK);
    return ch->handle;
}

std::shared_ptr<Channel> FindStream(DWORD handle)
{
    State &s = S();
    std::lock_guard lock(s.apiLock);
    auto it = s.streams.find(handle);
    if (it == s.streams.end()) {
        SetError(s.initialised ? BASS_ERROR_HANDLE : BASS_ERROR_INIT);
        return nullptr;
    }
    return it->second;
}

bool FreeStream(DWORD handle)
{
    State &s = S();
    std::shared_ptr<Channel> ch;
    bool wasPlaying;
    {
        std::unique_lock api(s.apiLock);
        auto it = s.streams.find(handle);
        if (it == s.streams.end()) {
            SetError(BASS_ERROR_HANDLE);
            return false;
        }
        ch = it->second;
        {
            std::lock_guard mix(s.mixLock);
            wasPlaying = ch->state == PlayState::Playing;
        }
        Retire(api, ch);
    }
    if (wasPlaying)
        DiscardQueued();
    ch->Close();
    SetError(BASS_OK);
    return true;
}

HSYNC AddSync(const std::shared_ptr<Channel> &ch, SYNCPROC *proc, void *user)
{
    State &s = S();
    std::lock_guard lock(s.apiLock);
    if (ch->removed) {
        SetError(BASS_ERROR_HANDLE);
        return 0;
    }
    HSYNC h = s.nextSync++;
    if (s.nextSync == 0)
        s.nextSync = 1;
    ch->syncs.push_back({h, proc, user});
    SetError(BASS_OK);
    return h;
}

// A device that queues much ahead takes that much at once when a channel
// starts or moves: the ring holds it before, or the queue would take
// silence in its place.
static void FillForQueue(const std::shared_ptr<Channel> &ch)
{
#ifdef KLANG_PULSEAUDIO
    if (S().pulseWanted.load())
        ch->Fill(static_cast<size_t>(ch->outRate * kAheadSeconds));
#else
    (void)ch;
#endif
}

bool Play(const std::shared_ptr<Channel> &ch, bool restart)
{
    State &s = S();
    if (ch->decodeOnly) {
        SetError(BASS_ERROR_NOTDECODE);
        return false;
    }
    bool fromStart = restart;
    bool prefill = false;
    {
        std::lock_guard mix(s.mixLock);
        if (ch->freed) {
            SetError(BASS_ERROR_HANDLE);
            return false;
        }
        // Continuing after the end means starting again.
        fromStart |= ch->atEnd;
        prefill = ch->ring.Fill() == 0;
    }
    if (fromStart) {
        if (!ch->Reposition(0)) {
            SetError(BASS_ERROR_FILEFORM);
            return false;
        }
    } else if (prefill) {
        ch->Fill(ch->outRate / 20);
    }
    FillForQueue(ch);
    {
        std::lock_guard out(s.outputLock);
        bool requeue;
        {
            std::lock_guard mix(s.mixLock);
            if (ch->freed) {
                SetError(BASS_ERROR_HANDLE);
                return false;
            }
            // A restart drops this channel's queued frames, too.
            requeue = (fromStart || ch->state != PlayState::Playing) && AnyPlayingLocked(s);
            ch->state = PlayState::Playing;
        }
        if (s.output) {
            // A device that queues much ahead: what plays already is queued
            // again with this channel, or it starts at once.
            if (requeue)
                DiscardQueuedLocked(s);
            else
                s.output->Wake();
        }
        OpenOutputLocked(s);
    }
    s.feedWake.Release();
    SetError(BASS_OK);
    return true;
}

bool Pause(const std::shared_ptr<Channel> &ch)
{
    if (ch->decodeOnly) {
        SetError(BASS_ERROR_NOTDECODE);
        return false;
    }
    bool wasPlaying;
    {
        std::lock_guard mix(S().mixLock);
        if (ch->state == PlayState::Stopped) {
            SetError(BASS_ERROR_NOPLAY);
            return false;
        }
        wasPlaying = ch->state == PlayState::Playing;
        ch->state = PlayState::Paused;
    }
    if (wasPlaying)
        DiscardQueued();
    S().feedWake.Release();
    SetError(BASS_OK);
    return true;
}

bool Stop(const std::shared_ptr<Channel> &ch)
{
    if (ch->decodeOnly) {
        SetError(BASS_ERROR_NOTDECODE);
        return false;
    }
    bool wasPlaying;
    {
        std::lock_guard mix(S().mixLock);
        wasPlaying = ch->state == PlayState::Playing;
        ch->state = PlayState::Stopped;
        ch->stalled = false;
    }
    if (wasPlaying)
        DiscardQueued();
    S().feedWake.Release();
    SetError(BASS_OK);
    return true;
}

DWORD ActiveState(const std::shared_ptr<Channel> &ch)
{
    SetError(BASS_OK);
    if (ch->decodeOnly) {
        std::lock_guard lock(ch->decodeLock);
        return ch->decoderEnded ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
    }
    std::lock_guard mix(S().mixLock);
    switch (ch->state) {
    case PlayState::Playing:
        // Stalled while it has nothing to play: once the feed caught up (a
        // moment after a seek, say) it plays on at the next block.
        return ch->stalled && ch->ring.Fill() == 0 ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
    case PlayState::Paused:
        return BASS_ACTIVE_PAUSED;
    default:
        return BASS_ACTIVE_STOPPED;
    }
}

uint64_t Position(const std::shared_ptr<Channel> &ch)
{
    SetError(BASS_OK);
    if (ch->decodeOnly) {
        std::lock_guard lock(ch->decodeLock);
        return ch->decodeBase + ch->decodedFrames;
    }
    State &s = S();
    std::lock_guard mix(s.mixLock);
    return ch->PlayedFrame(HeardOutFrameLocked(s));
}

bool SetPosition(const std::shared_ptr<Channel> &ch, uint64_t frame)
{
    if (frame > ch->frames) {
        SetError(BASS_ERROR_POSITION);
        return false;
    }
    if (!ch->Reposition(frame)) {
        SetError(BASS_ERROR_POSITION);
        return false;
    }
    bool playing;
    {
        std::lock_guard mix(S().mixLock);
        playing = ch->state == PlayState::Playing;
    }
    if (playing) {
        FillForQueue(ch);
        DiscardQueued();
    }
    S().feedWake.Release();
    SetError(BASS_OK);
    return true;
}

void SetMix(const std::shared_ptr<Channel> &ch, int volume, int pan)
{
    std::lock_guard mix(S().mixLock);
    if (volume >= 0)
        ch->volume = static_cast<float>(volume) / 100.0f;
    if (pan != -101)
        ch->pan = static_cast<float>(pan) / 100.0f;
}

void SignalEnd(Channel &ch)
{
    ch.pendingEnds.fetch_add(1);
    S().syncWake.Release();
}

} // namespace klang
