// Types shared across the program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The track record of one audio file. Created, owned and never changed or
// freed by the audio library while it lives; references stay valid that long.
struct TAudioInfo {
    std::string FileName;
    std::string Title;
    std::string Artist;
    std::string Album;
    int32_t Length = 0; // whole seconds; negative when no length is available
};

enum TPlayerState : uint8_t { psNone = 0, psStopped = 1, psPlaying = 2, psPaused = 3 };

enum TPlayMode : uint8_t { pmDefault = 0, pmTrack = 1, pmRepeat = 2, pmRepeatAll = 3, pmRandom = 4 };

enum TTreeNodeKind : uint8_t { nkComputer = 0, nkPlayback = 1, nkFolder = 3, nkPlaceholder = 4 };

// A notification: called with the sender; skipped while empty.
template <class Sender> using TNotifyEvent = std::function<void(Sender *)>;

template <class Sender, class... Args>
inline void Notify(const std::function<void(Sender *, Args...)> &event, Sender *sender, Args... args)
{
    if (event)
        event(sender, args...);
}
