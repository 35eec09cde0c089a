// What a listener hears through the sound server: its null sink's monitor
// is recorded (parec) while a signal plays whose samples tell their own
// frame number, so that the recording shows every drop-out, gap, jump and
// repeat. Run by tests/engine/pulse.sh on a private server
// (KLANG_TEST_PULSE=1); skipped otherwise.
#include "EngineTest.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace enginetest;
using namespace std::chrono;

extern char **environ;

namespace {

constexpr int kRecordRate = 44100;
constexpr size_t kMs = kRecordRate / 1000; // recorded frames per millisecond
// What a seek or a server's return may cost here: a machine starved by
// other work cannot always refill in time, so these tests allow 100 ms (the
// fault they guard against cost 300 ms); bench/output_heard.sh reports the
// exact figures.
constexpr size_t kTolerated = 100 * kMs;

// A frame number as a stereo pair of 16-bit samples in steps of 8, so that
// a server that scales by 32767 instead of 32768 still gives it back;
// neither sample is ever near 0, which only silence is.
constexpr int kStep = 8, kOffset = 16380, kDigits = 4096;

std::pair<int16_t, int16_t> Encode(uint64_t frame)
{
    return {int16_t(int(frame % kDigits) * kStep - kOffset),
            int16_t(int(frame / kDigits % kDigits) * kStep - kOffset)};
}

std::optional<int> Digit(int16_t sample)
{
    const int digit = (sample + kOffset + kStep / 2) / kStep;
    if (digit < 0 || digit >= kDigits || std::abs(sample - (digit * kStep - kOffset)) > 2)
        return std::nullopt;
    return digit;
}

bool Silent(int16_t left, int16_t right)
{
    return std::abs(left) <= 2 && std::abs(right) <= 2;
}

std::string Le(uint32_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += char((v >> (8 * i)) & 0xff);
    return s;
}

// A 16-bit WAV of frames [first, first + count) of the signal; a mono one
// carries only the low digit.
std::string SignalWav(uint32_t rate, uint16_t channels, uint64_t first, uint32_t count)
{
    std::string data;
    for (uint64_t f = first; f < first + count; ++f) {
        const auto [low, high] = Encode(f);
        data += Le(uint16_t(low), 2);
        if (channels == 2)
            data += Le(uint16_t(high), 2);
    }
    const std::string fmt = Le(1, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * channels * 2, 4) +
                            Le(channels * 2, 2) + Le(16, 2);
    return "RIFF" + Le(uint32_t(data.size() + 36), 4) + "WAVEfmt " + Le(16, 4) + fmt + "data" +
           Le(uint32_t(data.size()), 4) + data;
}

// parec on the null sink's monitor, 16-bit stereo at kRecordRate.
class Recorder {
public:
    Recorder()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string rate = "--rate=" + std::to_string(kRecordRate);
        const char *argv[] = {
            "parec", "--device=bench.monitor", "--format=s16le", rate.c_str(), "--channels=2",
            "--raw", "--latency-msec=20",      nullptr};
        if (posix_spawnp(&pid, "parec", &actions, nullptr, const_cast<char **>(argv), environ) != 0)
            pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        fd = fds[0];
        reader = std::thread([this] {
            char buffer[8192];
            for (;;) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n <= 0)
                    return;
                std::lock_guard lock(mutex);
                bytes.append(buffer, size_t(n));
            }
        });
    }
    ~Recorder() { Stop(); }

    // Whether the recording holds a frame for which found(frame) is true.
    bool Heard(const std::function<bool(std::optional<uint64_t>)> &found)
    {
        std::lock_guard lock(mutex);
        const auto frames = Frames(bytes);
        return std::any_of(frames.begin(), frames.end(), found);
    }

    // The frame numbers heard, in order; nullopt for silence and anything
    // that is not the signal.
    std::vector<std::optional<uint64_t>> Stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            pid = 0;
        }
        if (reader.joinable())
            reader.join();
        if (fd >= 0)
            close(fd);
        fd = -1;
        std::lock_guard lock(mutex);
        return Frames(bytes);
    }

    // Silent frames, for telling silence from what is not the signal.
    std::vector<bool> SilentFrames()
    {
        std::lock_guard lock(mutex);
        std::vector<bool> silent(bytes.size() / 4);
        for (size_t i = 0; i < silent.size(); ++i)
            silent[i] = Silent(Sample(bytes, 2 * i), Sample(bytes, 2 * i + 1));
        return silent;
    }

private:
    static int16_t Sample(const std::string &b, size_t i)
    {
        return int16_t(uint16_t(uint8_t(b[2 * i])) | uint16_t(uint8_t(b[2 * i + 1])) << 8);
    }
    static std::vector<std::optional<uint64_t>> Frames(const std::string &b)
    {
        std::vector<std::optional<uint64_t>> frames(b.size() / 4);
        for (size_t i = 0; i < frames.size(); ++i) {
            const auto low = Digit(Sample(b, 2 * i)), high = Digit(Sample(b, 2 * i + 1));
            if (low && high)
                frames[i] = uint64_t(*high) * kDigits + uint64_t(*low);
        }
        return frames;
    }

    pid_t pid = 0;
    int fd = -1;
    std::thread reader;
    std::mutex mutex;
    std::string bytes;
};

// From the first place at which frame target (or one at most skipAllowed
// after it) is heard, over span recorded frames: the drop-out in them
// (frames skipped, recorded frames that are silence or not the signal), and
// whether the signal heard there goes on without going back (nothing stale)
// or skipping more than skipAllowed. A machine too slow for the sound
// server may cost a few milliseconds; the callers bound those.
struct HeardRun {
    bool found = false;
    size_t dropout = 0;
    bool continuous = true;
    uint64_t brokenAfter = 0; // the last frame heard in order before the first break
};

HeardRun RunFrom(const std::vector<std::optional<uint64_t>> &heard, uint64_t target, size_t span,
                 size_t skipAllowed = kTolerated)
{
    HeardRun run;
    size_t at = 0;
    while (at < heard.size() && !(heard[at] && *heard[at] >= target && *heard[at] - target <= skipAllowed))
        ++at;
    if (at == heard.size())
        return run;
    run.found = true;
    run.dropout = *heard[at] - target;
    uint64_t expected = *heard[at];
    for (size_t i = at; i < std::min(heard.size(), at + span); ++i) {
        if (!heard[i]) {
            ++run.dropout;
            continue;
        }
        if (run.continuous && !(*heard[i] >= expected && *heard[i] - expected <= skipAllowed)) {
            run.continuous = false;
            run.brokenAfter = expected - 1;
        }
        expected = *heard[i] + 1;
    }
    return run;
}

class PulseOutputHeard : public enginetest::SoundServerTest {
protected:
    HSTREAM Signal(uint32_t rate, uint16_t channels, uint64_t first, uint32_t count)
    {
        const std::string path = dir.Write("signal-" + std::to_string(rate) + "-" + std::to_string(channels) +
                                               "-" + std::to_string(first) + ".wav",
                                           SignalWav(rate, channels, first, count));
        return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    }
    static QWORD Frame(HSTREAM h) { return BASS_ChannelGetPosition(h) / 4; }

    // A signal of 40 s, playing and heard at the server; 0 if not.
    HSTREAM HeardSignal()
    {
        const HSTREAM h = Signal(44100, 2, 0, 40 * 44100);
        Recorder recorder;
        if (!h || !BASS_ChannelPlay(h, FALSE) ||
            !WaitFor([&] { return recorder.Heard([](auto f) { return f.has_value(); }); }, seconds(10)))
            return 0;
        return h;
    }

    fixtures::TempDir dir;
};

TEST_F(PulseOutputHeard, ASeekContinuesAtOnceFromItsTarget)
{
    HSTREAM h = Signal(44100, 2, 0, 30 * 44100);
    ASSERT_NE(h, 0u);
    Recorder recorder;
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    // A null sink just woken plays only after its idle block.
    ASSERT_TRUE(WaitFor([&] { return recorder.Heard([](auto f) { return f.has_value(); }); }, seconds(10)));
    // Apart by more than what plays between two seeks, so each is heard
    // first where it was sought.
    const std::vector<uint64_t> targets = {10 * 44100, 4 * 44100 + 123, 20 * 44100 + 7,
                                           25 * 44100 + 44100 / 2};
    for (uint64_t target : targets) {
        std::this_thread::sleep_for(milliseconds(700));
        ASSERT_TRUE(BASS_ChannelSetPosition(h, target * 4));
    }
    // Until the last one has been heard for the span looked at below.
    const uint64_t lastSpan = targets.back() + 500 * kMs;
    EXPECT_TRUE(WaitFor([&] { return recorder.Heard([&](auto f) { return f == lastSpan; }); }, seconds(10)));
    const auto heard = recorder.Stop();
    for (uint64_t target : targets) {
        // What follows the first new sample up to the next seek (0.7 s
        // later at the earliest; 0.5 s is well inside).
        const HeardRun run = RunFrom(heard, target, 500 * kMs);
        // bench/output_heard.sh collects these lines.
        std::printf("heard: seek to frame %llu: %.1f ms of drop-out after its first sample\n",
                    static_cast<unsigned long long>(target), double(run.dropout) / kMs);
        EXPECT_TRUE(run.found) << "target " << target << " heard";
        EXPECT_TRUE(run.continuous) << "target " << target << ": on from there, nothing stale";
        EXPECT_LE(run.dropout, kTolerated) << "target " << target;
    }
}

struct Follower {
    uint32_t rate;
    uint16_t channels;
    size_t maxGapMs;
};

void BASS_CALLBACK PlayNext(HSYNC, DWORD, DWORD, void *user)
{
    BASS_ChannelPlay(*static_cast<HSTREAM *>(user), FALSE);
}

TEST_F(PulseOutputHeard, ATrackStartedAtTheEndOfAnotherFollowsItWithoutAGap)
{
    // The same format follows sample to sample; another rate or channel
    // count may cost a few milliseconds.
    for (const Follower &next : {Follower{44100, 2, 2}, Follower{48000, 2, 5}, Follower{22050, 1, 5}}) {
        SCOPED_TRACE(testing::Message() << next.rate << " Hz, " << next.channels << " channel(s)");
        HSTREAM first = Signal(44100, 2, 0, 44100);
        HSTREAM second = Signal(next.rate, next.channels, 44100, next.rate);
        ASSERT_TRUE(first && second);
        ASSERT_TRUE(BASS_ChannelSetSync(first, BASS_SYNC_END, 0, PlayNext, &second));
        std::atomic<int> ends{0};
        ASSERT_TRUE(BASS_ChannelSetSync(second, BASS_SYNC_END, 0, CountEnd, &ends));
        Recorder recorder;
        ASSERT_TRUE(BASS_ChannelPlay(first, FALSE));
        ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }, seconds(10)));
        ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(second) == BASS_ChannelGetLength(second); },
                            seconds(10)));
        std::this_thread::sleep_for(milliseconds(300));
        const auto heard = recorder.Stop();
        const std::vector<bool> silent = recorder.SilentFrames();
        size_t last = heard.size();
        for (size_t i = 0; i < heard.size(); ++i)
            if (heard[i] == 44099u)
                last = i;
        ASSERT_LT(last, heard.size()) << "the first track's last sample heard";
        size_t gap = 0;
        while (last + 1 + gap < heard.size() && silent[last + 1 + gap])
            ++gap;
        EXPECT_LE(gap, next.maxGapMs * kMs) << "silence between the tracks, frames";
        std::printf("heard: track change to %u Hz, %u channel(s): %.1f ms of silence\n", next.rate,
                    next.channels, double(gap) / kMs);
        if (next.rate == 44100 && next.channels == 2) {
            // Across the change; an underrun of a starved machine later in
            // the second track is no gap between the two.
            const HeardRun run = RunFrom(heard, 44099, 100 * kMs, 0);
            EXPECT_TRUE(run.continuous && run.dropout <= next.maxGapMs * kMs)
                << "sample follows sample; " << run.dropout << " frames unheard, "
                << (run.continuous ? "in order" : "broken after frame " + std::to_string(run.brokenAfter));
        }
        BASS_StreamFree(first);
        BASS_StreamFree(second);
    }
}

// Runs sound-server.sh with a command on the test's server; false when
// the test runs without it.
bool Server(const std::string &command)
{
    const char *server = std::getenv("KLANG_TEST_SERVER");
    const char *serverDir = std::getenv("KLANG_TEST_SERVER_DIR");
    if (!server || !serverDir)
        return false;
    return std::system((std::string("'") + server + "' " + command + " '" + serverDir + "'").c_str()) == 0;
}

TEST_F(PulseOutputHeard, AServerMissingAtTheStartIsTakenWhenItComes)
{
    BASS_Free();
    if (!Server("pause"))
        GTEST_SKIP() << "needs tests/engine/sound-server.sh";
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM h = Signal(44100, 2, 0, 40 * 44100);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    // Another device stands in meanwhile (here the no-sound clock).
    ASSERT_TRUE(WaitFor([&] { return Frame(h) > 44100 / 2; }, seconds(10)));
    ASSERT_TRUE(Server("resume"));
    Recorder recorder;
    std::optional<uint64_t> first;
    EXPECT_TRUE(WaitFor(
        [&] {
            return recorder.Heard([&](auto f) {
                first = f;
                return f.has_value();
            });
        },
        seconds(10)))
        << "plays into the server within 5 s of its coming";
    ASSERT_TRUE(first.has_value());
    EXPECT_GT(*first, 44100u / 2) << "on from where it was";
    EXPECT_LE(*first, Frame(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(PulseOutputHeard, PlaybackGoesOnWhereItWasHeardWhenTheServerComesBack)
{
    if (!std::getenv("KLANG_TEST_SERVER"))
        GTEST_SKIP() << "needs tests/engine/sound-server.sh";
    HSTREAM h = HeardSignal();
    ASSERT_NE(h, 0u) << "plays and is heard";
    std::this_thread::sleep_for(milliseconds(1500));
    // The server goes away for 3 s; the command returns once it is back.
    const QWORD before = Frame(h);
    ASSERT_TRUE(Server("pause"));
    // Stop and another track work while no server is there.
    // (A file of its own: the playing one must stay as it is.)
    HSTREAM other = Signal(44100, 2, 1, 44100);
    ASSERT_TRUE(BASS_ChannelPlay(other, FALSE));
    ASSERT_TRUE(BASS_ChannelStop(other));
    ASSERT_TRUE(BASS_StreamFree(other));
    std::this_thread::sleep_for(seconds(3));
    ASSERT_TRUE(Server("resume"));
    const QWORD waited = Frame(h);
    // Still playing; on a starved machine its ring may have run dry for a
    // moment since the server took the first blocks again (stalled).
    const DWORD active = BASS_ChannelIsActive(h);
    EXPECT_TRUE(active == BASS_ACTIVE_PLAYING || active == BASS_ACTIVE_STALLED) << active;
    EXPECT_LE(waited, before + 44100) << "the position waits with the server";

    Recorder recorder;
    std::optional<uint64_t> resumed;
    EXPECT_TRUE(WaitFor(
        [&] {
            return recorder.Heard([&](auto f) {
                if (f)
                    resumed = f;
                return f.has_value();
            });
        },
        seconds(10)))
        << "plays into the server again within 5 s of its return";
    ASSERT_TRUE(resumed.has_value());
    EXPECT_GE(*resumed + 44100, before) << "from within 1 s of where it was heard";
    EXPECT_LE(*resumed, before + 44100);
    std::this_thread::sleep_for(milliseconds(700));
    const HeardRun run = RunFrom(recorder.Stop(), *resumed, 500 * kMs);
    EXPECT_TRUE(run.continuous && run.dropout <= kTolerated) << "and plays on from there";

    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
}

// A server that stops answering (held, not gone) costs an engine call a
// few seconds at most, and is taken again once it answers.
TEST_F(PulseOutputHeard, AServerThatStopsAnsweringHoldsNoCallForGood)
{
    if (!std::getenv("KLANG_TEST_SERVER"))
        GTEST_SKIP() << "needs tests/engine/sound-server.sh";
    HSTREAM h = HeardSignal();
    ASSERT_NE(h, 0u) << "plays and is heard";
    ASSERT_TRUE(Server("freeze"));
    const QWORD target = 20 * 44100 * 4; // bytes of 16-bit stereo
    const auto started = steady_clock::now();
    auto seek = std::async(std::launch::async, [&] { return BASS_ChannelSetPosition(h, target); });
    const bool returned = seek.wait_for(seconds(15)) == std::future_status::ready;
    const auto took = steady_clock::now() - started;
    ASSERT_TRUE(Server("thaw"));
    ASSERT_TRUE(returned) << "the seek still waits for the server after 15 s";
    EXPECT_TRUE(seek.get());
    EXPECT_LT(took, seconds(6)) << "the server's answer is awaited 3 s at most";

    Recorder recorder;
    std::optional<uint64_t> heard;
    EXPECT_TRUE(WaitFor(
        [&] {
            return recorder.Heard([&](auto f) {
                if (f && *f >= 20 * 44100)
                    heard = f;
                return heard.has_value();
            });
        },
        seconds(15)))
        << "plays into the server again once it answers";
    ASSERT_TRUE(heard.has_value());
    EXPECT_LE(*heard, 21u * 44100) << "from where it was sought";
    ASSERT_TRUE(BASS_ChannelStop(h));
}

} // namespace
