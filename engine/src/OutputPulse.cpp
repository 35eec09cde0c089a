// The native PulseAudio output (Linux). Unlike SDL's, which takes ~40 ms
// blocks and cannot take back what the server holds, it queues about 0.4 s
// at the server, so that the program and the server wake only a few times a
// second, and drops that queue at once when a pause, stop or seek must be
// heard now (the engine gives the dropped frames back to their channels).
#include "Output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace klang {

// How much the server queues, and how much must be free before it asks for
// more: the program then mixes every ~0.2 s, the server wakes as seldom.
constexpr double kQueueSeconds = 0.4;
constexpr double kRequestSeconds = 0.15;
// Queued before the server starts playing, after the start and after a
// discard: small, so the start is not delayed.
constexpr double kStartSeconds = 0.02;
// The longest the program waits for the server to answer: connecting, a
// new stream, a flush. A server that takes longer counts as gone, and the
// engine connects again a moment later; its locks are never held for good
// by a server that hangs (one that is just starting, or stopping).
constexpr pa_usec_t kAnswerWithin = 3 * PA_USEC_PER_SEC;

struct PulseAudio::Connection {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    void (*lost)() = nullptr;
    std::atomic<bool> gone{false};
    bool ready = false; // guarded by the loop lock

    // The first failure of the context or a stream, or a server that did
    // not answer; with the loop locked.
    void Lose()
    {
        if (!gone.exchange(true))
            lost();
    }

    ~Connection()
    {
        if (context) {
            pa_threaded_mainloop_lock(loop);
            pa_context_disconnect(context);
            pa_threaded_mainloop_unlock(loop);
        }
        if (loop)
            pa_threaded_mainloop_stop(loop);
        if (context)
            pa_context_unref(context);
        if (loop)
            pa_threaded_mainloop_free(loop);
    }
};

namespace {

void Signal(pa_threaded_mainloop *loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

// The end of a stream operation; userdata is the loop.
void Answered(pa_stream *, int, void *loop)
{
    Signal(static_cast<pa_threaded_mainloop *>(loop));
}

// Waits with the loop locked until done() holds or the server has taken
// kAnswerWithin; done()'s result.
template <class Done> bool WaitFor(pa_threaded_mainloop *loop, Done done)
{
    if (done())
        return true;
    struct Timer {
        pa_threaded_mainloop *loop;
        bool expired = false;
    } timer{loop};
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop);
    timeval at;
    pa_timeval_add(pa_gettimeofday(&at), kAnswerWithin);
    pa_time_event *event = api->time_new(
        api, &at,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *t) {
            static_cast<Timer *>(t)->expired = true;
            Signal(static_cast<Timer *>(t)->loop);
        },
        &timer);
    bool finished;
    while (!(finished = done()) && !timer.expired)
        pa_threaded_mainloop_wait(loop);
    api->time_free(event);
    return finished;
}

// Runs op to its end; with the loop locked. False when the server did not
// answer in time.
bool Await(pa_threaded_mainloop *loop, pa_operation *op)
{
    if (!op)
        return true;
    const bool answered = WaitFor(loop, [op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
    if (!answered)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    return answered;
}

class PulseOutput final : public Output {
public:
    PulseOutput(PulseAudio::Connection &c, uint32_t r, QueueMixFunction m)
        : connection(c), loop(c.loop), rate(r), mix(m)
    {
    }

    ~PulseOutput() override
    {
        if (!stream)
            return;
        pa_threaded_mainloop_lock(loop);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        pa_threaded_mainloop_unlock(loop);
    }

    // With the loop locked.
    bool Connect(pa_context *context)
    {
        pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, rate, kOutputChannels};
        stream = pa_stream_new(context, "Klangdeck", &spec, nullptr);
        if (!stream)
            return false;
        pa_stream_set_state_callback(
            stream,
            [](pa_stream *s, void *self) {
                auto *out = static_cast<PulseOutput *>(self);
                // A stream the server ended (it went away, or its sink did)
                // never plays again; the engine opens a new one.
                if (out->ready && !PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
                    out->connection.Lose();
                Signal(out->loop);
            },
            this);
        pa_stream_set_write_callback(
            stream,
            [](pa_stream *, size_t, void *self) {
                auto *out = static_cast<PulseOutput *>(self);
                if (!out->holding)
                    out->FillLocked();
            },
            this);
        const uint32_t frameBytes = sizeof(float) * kOutputChannels;
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(rate * kQueueSeconds) * frameBytes;
        attr.minreq = static_cast<uint32_t>(rate * kRequestSeconds) * frameBytes;
        attr.prebuf = static_cast<uint32_t>(rate * kStartSeconds) * frameBytes;
        attr.fragsize = static_cast<uint32_t>(-1);
        auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        // The first mix waits for the sink's latency, so that the heard
        // position is right from the start.
        holding = true;
        if (pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return false;
        const auto settled = [this] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        };
        if (!WaitFor(loop, settled)) {
            connection.Lose(); // the engine connects again instead of leaving it to the clock for good
            return false;
        }
        if (pa_stream_get_state(stream) != PA_STREAM_READY)
            return false;
        ready = true;
        UpdateTiming();
        holding = false;
        FillLocked();
        return true;
    }

    uint32_t Latency() const override { return 0; } // told with every mix call

    bool Discard(const std::function<void(uint32_t)> &rewind) override
    {
        pa_threaded_mainloop_lock(loop);
        // The server asks for the queue again right after the flush; that
        // request waits until the channels have their frames back.
        holding = true;
        if (Await(loop, pa_stream_flush(stream, Answered, loop)))
            UpdateTiming();
        else
            connection.Lose();
        // What the server has taken from the queue (into the sink) is
        // heard; the rest of what was written is gone.
        uint64_t dropped = 0;
        const pa_timing_info *timing = pa_stream_get_timing_info(stream);
        if (timing && !timing->read_index_corrupt && timing->read_index >= 0) {
            const uint64_t taken = uint64_t(timing->read_index) / (sizeof(float) * kOutputChannels);
            dropped = written > taken ? written - taken : 0;
        }
        written -= dropped;
        rewind(static_cast<uint32_t>(dropped));
        holding = false;
        FillLocked();
        pa_threaded_mainloop_unlock(loop);
        return true;
    }

    void Wake() override
    {
        pa_threaded_mainloop_lock(loop);
        FillLocked();
        pa_threaded_mainloop_unlock(loop);
    }

private:
    // With the loop locked.
    void UpdateTiming()
    {
        if (connection.gone)
            return;
        if (!Await(loop, pa_stream_update_timing_info(stream, Answered, loop)))
            connection.Lose();
    }

    // Mixes as much as the server has room for; with the loop locked.
    void FillLocked()
    {
        size_t room = pa_stream_writable_size(stream);
        if (room == static_cast<size_t>(-1))
            return;
        const uint32_t frames = static_cast<uint32_t>(room / (sizeof(float) * kOutputChannels));
        if (frames == 0)
            return;
        buffer.resize(size_t(frames) * kOutputChannels);
        pa_usec_t usec = 0;
        int negative = 0;
        uint64_t queued = 0;
        if (pa_stream_get_latency(stream, &usec, &negative) == 0 && !negative)
            queued = usec * rate / 1000000;
        else if (const pa_timing_info *timing = pa_stream_get_timing_info(stream))
            queued = timing->sink_usec * rate / 1000000; // nothing written yet: the sink's own

        const uint32_t mixed =
            mix(buffer.data(), frames, static_cast<uint32_t>(std::min<uint64_t>(queued, UINT32_MAX)));
        if (mixed == 0)
            return; // nothing plays: the queue runs out, Wake refills it
        if (pa_stream_write(stream, buffer.data(), size_t(mixed) * sizeof(float) * kOutputChannels, nullptr,
                            0, PA_SEEK_RELATIVE) == 0)
            written += mixed;
    }

    PulseAudio::Connection &connection;
    pa_threaded_mainloop *loop;
    const uint32_t rate;
    QueueMixFunction mix;
    pa_stream *stream = nullptr;
    bool ready = false;   // guarded by the loop lock
    bool holding = false; // guarded by the loop lock
    uint64_t written = 0; // frames written since the stream opened
    std::vector<float> buffer;
};

} // namespace

PulseAudio::PulseAudio(std::unique_ptr<Connection> c) : connection(std::move(c))
{
}

PulseAudio::~PulseAudio() = default;

std::unique_ptr<PulseAudio> PulseAudio::Start(void (*lost)())
{
    auto c = std::make_unique<Connection>();
    c->lost = lost;
    c->loop = pa_threaded_mainloop_new();
    if (!c->loop)
        return nullptr;
    c->context = pa_context_new(pa_threaded_mainloop_get_api(c->loop), "Klangdeck");
    if (!c->context)
        return nullptr;
    pa_context_set_state_callback(
        c->context,
        [](pa_context *context, void *self) {
            auto *c = static_cast<Connection *>(self);
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY)
                c->ready = true;
            else if (c->ready && !PA_CONTEXT_IS_GOOD(state))
                c->Lose();
            Signal(c->loop);
        },
        c.get());
    // Only a server that runs already: the fallback takes over otherwise.
    if (pa_context_connect(c->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return nullptr;
    pa_threaded_mainloop_lock(c->loop);
    if (pa_threaded_mainloop_start(c->loop) < 0) {
        pa_threaded_mainloop_unlock(c->loop);
        return nullptr;
    }
    const bool ready = WaitFor(c->loop,
                               [&] {
                                   const pa_context_state_t state = pa_context_get_state(c->context);
                                   return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
                               }) &&
                       pa_context_get_state(c->context) == PA_CONTEXT_READY;
    pa_threaded_mainloop_unlock(c->loop);
    if (!ready)
        return nullptr;
    return std::unique_ptr<PulseAudio>(new PulseAudio(std::move(c)));
}

std::unique_ptr<Output> PulseAudio::Open(uint32_t rate, QueueMixFunction mix)
{
    auto output = std::make_unique<PulseOutput>(*connection, rate, mix);
    pa_threaded_mainloop_lock(connection->loop);
    const bool connected =
        pa_context_get_state(connection->context) == PA_CONTEXT_READY && output->Connect(connection->context);
    pa_threaded_mainloop_unlock(connection->loop);
    if (!connected)
        return nullptr; // the destructor disconnects what was begun
    return output;
}

bool PulseAudio::Lost() const
{
    return connection->gone.load();
}

} // namespace klang
