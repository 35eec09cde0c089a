// An ordered list of full file paths with a change notification. Main thread;
// a folder listed in the background is listed on a thread of the playlist's
// own, and its result comes back to the main thread.
#pragma once

#include "library/TypesExt.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPlaylist {
public:
    TNotifyEvent<TPlaylist> OnChange;

    TPlaylist();
    ~TPlaylist(); // waits for a listing in the background to end
    TPlaylist(const TPlaylist &) = delete;
    TPlaylist &operator=(const TPlaylist &) = delete;

    void LoadFolder(const std::string &path);
    // LoadFolder with the listing, the choice of files and their queueing in
    // the audio library done on the playlist's own thread: a folder of
    // 100,000 files takes longer than the window may stand still. The files
    // and the notification come later, through the main thread's task queue,
    // unless another change of the playlist (or another listing) comes first:
    // then the older result is dropped and never shown. The wait cursor shows
    // until the result arrives or is dropped.
    void LoadFolderInBackground(const std::string &path);
    // Whether a listing in the background is still to arrive.
    bool Loading() const;
    void Assign(const TPlaylist &source);
    void Add(const std::string &fileName);
    void Clear();
    int IndexOf(const std::string &fileName) const;
    int Count() const;
    // Raises std::out_of_range "Listenindex überschreitet das Maximum (%d)".
    const std::string &Items(int index) const;

private:
    // Makes an outstanding listing in the background stale.
    void Supersede();
    void TakeListed(std::vector<std::string> files);

    std::vector<std::string> Files;
    struct Lister;
    std::shared_ptr<Lister> Background; // made on the first listing in the background
};
