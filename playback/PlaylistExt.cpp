#include "playback/PlaylistExt.h"

#include "library/AudioLibraryExt.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "platform/Text.h"
#include "playback/BassExt.h"

#include <cstdio>
#include <stdexcept>

namespace {

void QueueInLibrary(const std::vector<std::string> &fileNames)
{
    if (AudioLibrary)
        AudioLibrary->QueueFiles(fileNames, -1);
}

} // namespace

void TPlaylist::LoadFolder(const std::string &path)
{
    const std::string folder = platform::FolderPart(path);
    Files.clear();
    std::vector<platform::DirEntry> entries = platform::ListFolder(folder);
    // Only plain files: read-only and archive are the attributes allowed.
    std::erase_if(entries, [](const platform::DirEntry &e) { return e.hidden || e.system || e.folder; });
    if (!entries.empty()) {
        platform::WaitCursor wait;
        for (const auto &entry : entries) {
            std::string full = folder + entry.name;
            if (BassController && BassController->IsSupportedFile(full))
                Files.push_back(std::move(full));
        }
        // All at once, in the same order: the worker starts on the first
        // file a moment later, and the main thread takes the queue's lock
        // once instead of once per file.
        if (AudioLibrary)
            AudioLibrary->QueueListedFiles(Files, -1);
    }
    Notify(OnChange, this);
}

void TPlaylist::Assign(const TPlaylist &source)
{
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
    Files.push_back(fileName);
    Notify(OnChange, this);
    QueueInLibrary({fileName});
}

void TPlaylist::Clear()
{
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
