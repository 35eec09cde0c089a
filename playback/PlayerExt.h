// The player: one playlist, at most one open engine stream.
//
// Threads: every operation runs on the main thread. The engine's end-of-stream
// callback arrives on an engine thread and is handed to the main thread,
// where it is acted on only if that stream is still the current one.
#pragma once

#include "bass.h"
#include "library/TypesExt.h"
#include "playback/PlaylistExt.h"

#include <cstdint>
#include <memory>
#include <string>

class TKlangdeck {
public:
    TKlangdeck();
    ~TKlangdeck();

    std::unique_ptr<TPlaylist> Playlist;
    std::string FileName;
    std::string Title;
    const TAudioInfo *Track = nullptr;
    double Duration = 0;
    HSTREAM Stream = 0;
    TNotifyEvent<TKlangdeck> OnStateChange;
    TNotifyEvent<TKlangdeck> OnTrackChange;
    TNotifyEvent<TKlangdeck> OnPlaylistChange;
    TNotifyEvent<TKlangdeck> OnTrackEnd;

    void LoadTrack(int index);
    void CloseTrack();
    void Play();
    void Pause();
    void Stop();
    void Next(bool wrap);
    void Previous(bool wrap);
    void PlayRandom();
    void Seek(double fraction);
    TPlayerState State() const;
    double Position() const;
    // The engine volume of the current and every later stream, 0 to 100
    // (the desktop's media controls set it; it is not kept between runs).
    int Volume() const { return volume; }
    void SetVolume(int percent);
    void PlaylistChanged(TPlaylist *sender);

private:
    void OpenStream();
    static void BASS_CALLBACK EndCallback(HSYNC handle, DWORD channel, DWORD data, void *user);
    struct Alive;
    std::shared_ptr<Alive> alive; // lets a late end event see that the player is gone
    uintptr_t token = 0;          // the end sync's user value, looked up instead of this
    int volume = 100;
};

extern TKlangdeck *Player;
