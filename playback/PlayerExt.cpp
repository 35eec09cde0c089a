#include "playback/PlayerExt.h"

#include "library/AudioLibraryExt.h"
#include "platform/Clock.h"
#include "platform/Hooks.h"
#include "platform/Names.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <unordered_map>

TKlangdeck *Player = nullptr;

struct TKlangdeck::Alive {
    TKlangdeck *player;
};

namespace {

// The engine's sync keeps its user value for as long as the stream lives,
// and the player leaves its stream open when it is destroyed. The user value
// is therefore a token looked up here, never the player's address: an end
// that fires after the player has gone finds nothing.
std::mutex registryMutex;
std::unordered_map<uintptr_t, std::weak_ptr<void>> registry;
uintptr_t nextToken = 1;

uintptr_t Register(const std::shared_ptr<void> &alive)
{
    std::lock_guard lock(registryMutex);
    uintptr_t token = nextToken++;
    registry.emplace(token, alive);
    return token;
}

void Unregister(uintptr_t token)
{
    std::lock_guard lock(registryMutex);
    registry.erase(token);
}

std::weak_ptr<void> Lookup(uintptr_t token)
{
    std::lock_guard lock(registryMutex);
    auto it = registry.find(token);
    return it == registry.end() ? std::weak_ptr<void>() : it->second;
}

} // namespace

TKlangdeck::TKlangdeck()
    : Playlist(std::make_unique<TPlaylist>()), alive(std::make_shared<Alive>(Alive{this}))
{
    Playlist->OnChange = [this](TPlaylist *sender) { PlaylistChanged(sender); };
    token = Register(alive);
}

TKlangdeck::~TKlangdeck()
{
    Unregister(token);
}

void TKlangdeck::OpenStream()
{
    Stream = BASS_StreamCreateFile(FALSE, FileName.c_str(), 0, 0, 0);
    BASS_ChannelSetAttributes(Stream, -1, volume, -101);
    BASS_ChannelSetSync(Stream, BASS_SYNC_END, 0, &TKlangdeck::EndCallback, reinterpret_cast<void *>(token));
}

void TKlangdeck::SetVolume(int percent)
{
    volume = std::clamp(percent, 0, 100);
    if (Stream)
        BASS_ChannelSetAttributes(Stream, -1, volume, -101);
}

void BASS_CALLBACK TKlangdeck::EndCallback(HSYNC, DWORD channel, DWORD, void *user)
{
    // Engine thread: the notifications are raised on the main thread, and
    // only when the stream that ended is still the current one and has not
    // been started again meanwhile. They are read from the player when the
    // task runs, so a receiver cleared in the meantime gets nothing.
    std::weak_ptr<void> weak = Lookup(reinterpret_cast<uintptr_t>(user));
    if (weak.expired())
        return;
    platform::PostToMainThread([weak, channel] {
        auto alive = std::static_pointer_cast<Alive>(weak.lock());
        if (!alive)
            return;
        TKlangdeck *player = alive->player;
        if (player->Stream != channel || player->State() != psStopped)
            return;
        Notify(player->OnStateChange, player);
        Notify(player->OnTrackEnd, player);
    });
}

void TKlangdeck::CloseTrack()
{
    TPlayerState state = State();
    if (state == psNone)
        return;
    if (state == psPlaying || state == psPaused)
        Stop();
    BASS_StreamFree(Stream);
    Stream = 0;
    FileName.clear();
    Track = nullptr;
    Title.clear();
    Duration = 0;
    Notify(OnStateChange, this);
    Notify(OnTrackChange, this);
}

void TKlangdeck::LoadTrack(int index)
{
    CloseTrack();
    if (index < 0 || index >= Playlist->Count())
        return;
    FileName = Playlist->Items(index);
    OpenStream();
    if (Stream == 0) {
        platform::ShowErrorBox("Datei nicht gefunden", "'" + FileName +
                                                           "' kann nicht wiedergegeben werden. Die "
                                                           "Datei wurde nicht gefunden.");
        return;
    }
    Duration = BASS_ChannelBytes2Seconds(Stream, BASS_ChannelGetLength(Stream));
    Title = platform::NameWithoutFolderAndExt(FileName);
    try {
        if (AudioLibrary) {
            Track = AudioLibrary->GetInfo(FileName);
            Title = Track->Artist.empty() ? Track->Title : Track->Artist + " - " + Track->Title;
        }
    } catch (...) {
        Notify(OnStateChange, this);
        Notify(OnTrackChange, this);
        throw;
    }
    Notify(OnStateChange, this);
    Notify(OnTrackChange, this);
}

void TKlangdeck::Play()
{
    switch (State()) {
    case psStopped:
        BASS_ChannelPlay(Stream, TRUE);
        break;
    case psPaused:
        BASS_ChannelPlay(Stream, FALSE);
        break;
    default:
        return;
    }
    Notify(OnStateChange, this);
}

void TKlangdeck::Pause()
{
    if (State() != psPlaying)
        return;
    BASS_ChannelPause(Stream);
    Notify(OnStateChange, this);
}

void TKlangdeck::Stop()
{
    TPlayerState state = State();
    if (state != psPlaying && state != psPaused)
        return;
    BASS_ChannelStop(Stream);
    Notify(OnStateChange, this);
}

void TKlangdeck::Next(bool wrap)
{
    int i = Playlist->IndexOf(FileName);
    if (i < 0)
        return;
    if (i < Playlist->Count() - 1)
        LoadTrack(i + 1);
    else if (wrap)
        LoadTrack(0);
    else
        return;
    Play();
}

void TKlangdeck::Previous(bool wrap)
{
    int i = Playlist->IndexOf(FileName);
    if (i < 0)
        return;
    if (i > 0)
        LoadTrack(i - 1);
    else if (wrap)
        LoadTrack(Playlist->Count() - 1);
    else
        return;
    Play();
}

void TKlangdeck::PlayRandom()
{
    const int count = Playlist->Count();
    if (count <= 0)
        return;
    const int current = Playlist->IndexOf(FileName);
    int r = 0;
    // A single entry that is the current track is played again: there is no
    // other one to draw.
    if (count > 1 || current != 0) {
        do
            r = platform::Random(count);
        while (r == current);
    }
    LoadTrack(r);
    Play();
}

void TKlangdeck::Seek(double fraction)
{
    if (Stream == 0)
        return;
    const QWORD length = BASS_ChannelGetLength(Stream);
    if (fraction >= 1) {
        Stop();
        Notify(OnTrackEnd, this);
        return;
    }
    QWORD target = 0;
    // Not-a-number counts as the start.
    if (fraction > 0) {
        // Long double holds every 64-bit length exactly; nearbyint rounds
        // halves to the even neighbour.
        long double bytes = static_cast<long double>(fraction) * static_cast<int64_t>(length);
        target = bytes > 0 ? static_cast<QWORD>(std::nearbyint(bytes)) : 0;
    }
    BASS_ChannelSetPosition(Stream, target);
}

TPlayerState TKlangdeck::State() const
{
    if (Stream == 0)
        return psNone;
    switch (BASS_ChannelIsActive(Stream)) {
    case BASS_ACTIVE_STOPPED:
    case BASS_ACTIVE_STALLED:
        return psStopped;
    case BASS_ACTIVE_PLAYING:
        return psPlaying;
    case BASS_ACTIVE_PAUSED:
        return psPaused;
    default:
        return psNone;
    }
}

double TKlangdeck::Position() const
{
    if (Stream == 0)
        return 0;
    const QWORD length = BASS_ChannelGetLength(Stream);
    if (length == 0 || length == static_cast<QWORD>(-1))
        return 0;
    const QWORD position = BASS_ChannelGetPosition(Stream);
    if (position == static_cast<QWORD>(-1))
        return 0;
    return static_cast<double>(static_cast<int64_t>(position)) /
           static_cast<double>(static_cast<int64_t>(length));
}

void TKlangdeck::PlaylistChanged(TPlaylist *)
{
    Notify(OnPlaylistChange, this);
}
