#include "playback/PlaylistExt.h"

#include "library/AudioLibraryExt.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "playback/BassExt.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

void QueueInLibrary(const std::vector<std::string> &fileNames)
{
    if (AudioLibrary)
        AudioLibrary->QueueFiles(fileNames, -1);
}

// Only plain files: read-only and archive are the attributes allowed.
bool IsPlainFile(const platform::DirEntry &entry)
{
    return !entry.hidden && !entry.system && !entry.folder;
}

// The full paths of the entries that are plain files of a supported format,
// in the listing's order.
std::vector<std::string> SupportedFiles(const std::string &folder,
                                        const std::vector<platform::DirEntry> &entries,
                                        const TBassController *controller)
{
    std::vector<std::string> files;
    for (const auto &entry : entries) {
        if (!IsPlainFile(entry))
            continue;
        std::string full = folder + entry.name;
        if (controller && controller->IsSupportedFile(full))
            files.push_back(std::move(full));
    }
    return files;
}

} // namespace

// The playlist's listing thread and what it shares with the main thread. The
// thread uses the library and the engine controller that were current when
// the listing was asked for; the playlist ends the thread before it goes,
// and the program frees its playlists before those objects.
struct TPlaylist::Lister : std::enable_shared_from_this<TPlaylist::Lister> {
    std::mutex mutex;
    std::condition_variable wake;
    // Guarded by mutex. Every change of the playlist counts up generation; a
    // listing's result is taken only while the count is the one it was asked
    // under.
    uint64_t generation = 0;
    bool asked = false;
    bool stop = false;
    std::string folder;
    TAudioLibrary *library = nullptr;
    const TBassController *controller = nullptr;

    // Main thread only. Owner is null once the playlist has gone; the cursor
    // shows while a result is to come.
    TPlaylist *owner;
    std::optional<platform::WaitCursor> cursor;

    std::thread thread;

    explicit Lister(TPlaylist *playlist) : owner(playlist) {}
    void Run();
};

void TPlaylist::Lister::Run()
{
    platform::SetThreadName("FolderListing");
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stop || asked; });
        if (stop)
            return;
        asked = false;
        const uint64_t listed = generation;
        const std::string path = folder;
        TAudioLibrary *const lib = library;
        const TBassController *const ctl = controller;
        lock.unlock();
        std::vector<std::string> files = SupportedFiles(path, platform::ListFolder(path), ctl);
        lock.lock();
        if (stop)
            return;
        if (generation != listed)
            continue;
        lock.unlock();
        // The names go to the main thread before the files go to the queue:
        // announcements then find their rows, or (handed over together with
        // older ones) wait in the window while the names are on their way.
        std::vector<std::string> queued = files;
        platform::PostToMainThread([self = shared_from_this(), listed, files = std::move(files)]() mutable {
            TPlaylist *owner = self->owner;
            {
                std::lock_guard guard(self->mutex);
                if (!owner || self->generation != listed)
                    return;
            }
            owner->TakeListed(std::move(files));
        });
        lock.lock();
        if (stop)
            return;
        if (generation == listed && lib) {
            lock.unlock();
            lib->QueueListedFiles(std::move(queued), -1);
            lock.lock();
        }
    }
}

TPlaylist::TPlaylist() = default;

TPlaylist::~TPlaylist()
{
    if (!Background)
        return;
    {
        std::lock_guard lock(Background->mutex);
        Background->stop = true;
        ++Background->generation;
    }
    Background->wake.notify_one();
    Background->thread.join();
    Background->owner = nullptr;
    Background->cursor.reset();
}

void TPlaylist::Supersede()
{
    if (!Background)
        return;
    {
        std::lock_guard lock(Background->mutex);
        ++Background->generation;
        Background->asked = false;
    }
    Background->cursor.reset();
}

void TPlaylist::LoadFolderInBackground(const std::string &path)
{
    if (!Background) {
        Background = std::make_shared<Lister>(this);
        Background->thread = std::thread([lister = Background.get()] { lister->Run(); });
    }
    if (!Background->cursor)
        Background->cursor.emplace();
    {
        std::lock_guard lock(Background->mutex);
        ++Background->generation;
        Background->asked = true;
        Background->folder = platform::FolderPart(path);
        Background->library = AudioLibrary;
        Background->controller = BassController;
    }
    Background->wake.notify_one();
}

bool TPlaylist::Loading() const
{
    return Background && Background->cursor;
}

void TPlaylist::TakeListed(std::vector<std::string> files)
{
    Background->cursor.reset();
    Files = std::move(files);
    Notify(OnChange, this);
}

void TPlaylist::LoadFolder(const std::string &path)
{
    Supersede();
    const std::string folder = platform::FolderPart(path);
    Files.clear();
    const std::vector<platform::DirEntry> entries = platform::ListFolder(folder);
    if (std::any_of(entries.begin(), entries.end(), IsPlainFile)) {
        platform::WaitCursor wait;
        Files = SupportedFiles(folder, entries, BassController);
        // All at once, in the same order: the worker starts on the first
        // file a moment later, and the queue's lock is taken once instead of
        // once per file.
        if (AudioLibrary)
            AudioLibrary->QueueListedFiles(Files, -1);
    }
    Notify(OnChange, this);
}

void TPlaylist::Assign(const TPlaylist &source)
{
    Supersede();
    Files = source.Files;
    // A copy, since the receiver of the notification may change the list.
    const std::vector<std::string> taken = Files;
    Notify(OnChange, this);
    QueueInLibrary(taken);
}

void TPlaylist::Add(const std::string &fileName)
{
    if (IndexOf(fileName) >= 0)
        return;
    Supersede();
    Files.push_back(fileName);
    Notify(OnChange, this);
    QueueInLibrary({fileName});
}

void TPlaylist::Clear()
{
    Supersede();
    Files.clear();
    Notify(OnChange, this);
}

int TPlaylist::IndexOf(const std::string &fileName) const
{
    for (size_t i = 0; i < Files.size(); ++i)
        if (platform::SameTextLocale(Files[i], fileName))
            return static_cast<int>(i);
    return -1;
}

int TPlaylist::Count() const
{
    return static_cast<int>(Files.size());
}

const std::string &TPlaylist::Items(int index) const
{
    if (index < 0 || index >= Count()) {
        char message[96];
        std::snprintf(message, sizeof message, "Listenindex überschreitet das Maximum (%d)", index);
        throw std::out_of_range(message);
    }
    return Files[static_cast<size_t>(index)];
}
