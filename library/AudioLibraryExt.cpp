#include "library/AudioLibraryExt.h"

#include "bass.h"
#include "library/Mp3FileUtils.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "platform/Text.h"
#include "platform/Threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

TAudioLibrary *AudioLibrary = nullptr;

namespace {

// What outlives the library: announcements and error boxes posted to the main
// thread hold it, so that a task that runs after the library is gone finds
// an empty callback instead of a freed library.
struct Shared {
    std::mutex mutex;
    std::condition_variable boxClosed;
    TAudioLibrary::TInfoReadyEvent onInfoReady;
    std::atomic<uint64_t> binding{0};        // counts changes of onInfoReady
    std::vector<const TAudioInfo *> pending; // announcements on their way to the main thread
    bool handOverPosted = false;             // a task that takes pending is on its way
    std::chrono::steady_clock::time_point lastHandOver;
    bool closed = false;
};

// The stop request of the worker that runs on this thread, so that the
// readers it calls give up a long read when the program ends; null on other
// threads.
thread_local const std::atomic<bool> *workerStopRequest = nullptr;

int32_t RoundSeconds(float seconds)
{
    if (std::isnan(seconds))
        return -1;
    double rounded = std::nearbyint(static_cast<double>(seconds));
    if (rounded > INT32_MAX)
        return INT32_MAX;
    if (rounded < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(rounded);
}

// A set of pointers to objects that each hold a name, found by that name:
// open addressing over the names' hashes, null for a free place, with at
// least twice as many places as entries. A map node per entry would cost a
// folder of 100,000 files megabytes more.
template <class T> class NameTable {
public:
    T *Find(std::string_view name) const { return places[Place(name)]; }

    // Name not yet in the table.
    void Insert(T *entry)
    {
        if (2 * (count + 1) > places.size())
            Rehash(places.size() * 2);
        places[Place(entry->FileName)] = entry;
        ++count;
    }

    void Erase(std::string_view name)
    {
        const size_t mask = places.size() - 1;
        size_t hole = Place(name);
        if (!places[hole])
            return;
        // Entries further along the same run move up into the hole unless
        // their own place lies after it, so that no search stops early there.
        for (size_t j = (hole + 1) & mask; places[j]; j = (j + 1) & mask) {
            const size_t home = Hash(places[j]->FileName) & mask;
            if (((j - home) & mask) >= ((j - hole) & mask)) {
                places[hole] = places[j];
                hole = j;
            }
        }
        places[hole] = nullptr;
        --count;
    }

    size_t Count() const { return count; }

    void Clear()
    {
        places.assign(kFirstSize, nullptr);
        places.shrink_to_fit();
        count = 0;
    }

private:
    static constexpr size_t kFirstSize = 16;
    std::vector<T *> places = std::vector<T *>(kFirstSize);
    size_t count = 0;

    static size_t Hash(std::string_view name) { return std::hash<std::string_view>()(name); }

    // The place that holds the entry of name, or the free place where it
    // would go.
    size_t Place(std::string_view name) const
    {
        const size_t mask = places.size() - 1;
        for (size_t i = Hash(name) & mask;; i = (i + 1) & mask)
            if (!places[i] || places[i]->FileName == name)
                return i;
    }

    void Rehash(size_t size)
    {
        std::vector<T *> old(size, nullptr);
        old.swap(places);
        for (T *entry : old)
            if (entry)
                places[Place(entry->FileName)] = entry;
    }
};

} // namespace

struct TAudioLibrary::Impl {
    // FileName is empty once the entry has gone.
    struct QueueEntry : TAudioInfoThreadData {
        uint64_t id;
    };

    // Guards Records, Index, Queue, Queued and nextId; never held while a
    // file is read or a notification runs.
    std::mutex mutex;
    std::condition_variable queued;

    // Newest last; the index makes the newest-first search a single lookup,
    // which is the same thing since there is at most one record per name.
    std::vector<std::unique_ptr<TAudioInfo>> Records;
    NameTable<const TAudioInfo> Index;

    const TAudioInfo *Store(std::unique_ptr<TAudioInfo> info)
    {
        Records.push_back(std::move(info));
        Index.Insert(Records.back().get());
        return Records.back().get();
    }

    // The queue: one band per priority, the highest first, each in the order
    // queued. An entry that goes before its turn (queued again with another
    // priority) only gives up its name and leaves its place when it reaches
    // the front; Queued holds the entries still waiting. A deque's place is
    // a fraction of a list node's, and keeps its address while others come
    // and go at the ends.
    std::map<int32_t, std::deque<QueueEntry>, std::greater<>> Queue;
    NameTable<QueueEntry> Queued;
    uint64_t nextId = 0;

    // The entry waiting longest in the highest band; null for an empty queue.
    QueueEntry *Front()
    {
        while (!Queue.empty()) {
            auto &band = Queue.begin()->second;
            while (!band.empty() && band.front().FileName.empty())
                band.pop_front();
            if (!band.empty())
                return &band.front();
            Queue.erase(Queue.begin());
        }
        return nullptr;
    }

    void Push(std::string fileName, int32_t priority)
    {
        auto &band = Queue[priority];
        band.push_back({{std::move(fileName), priority}, nextId++});
        Queued.Insert(&band.back());
    }

    void RemoveQueued(QueueEntry *entry)
    {
        Queued.Erase(entry->FileName);
        std::string().swap(entry->FileName);
        // An empty queue gives its memory back: a large folder's index and
        // places are not kept for the next.
        if (Queued.Count() == 0) {
            Queue.clear();
            Queued.Clear();
        }
    }

    TAudioLibrary::TReader Reader = &TAudioLibrary::ReadInfo;

    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    std::unique_ptr<TAudioLibraryThread> Thread;

    // The record of a file and whether it is new: the one stored, else read
    // now and stored. The file is read without the mutex; should the other
    // thread have stored a record for the name meanwhile, that one counts.
    std::pair<const TAudioInfo *, bool> Resolve(const std::string &fileName)
    {
        TAudioLibrary::TReader reader;
        {
            std::lock_guard lock(mutex);
            if (const TAudioInfo *known = Index.Find(fileName))
                return {known, false};
            reader = Reader;
        }
        auto info = std::make_unique<TAudioInfo>();
        reader(fileName, *info);
        std::lock_guard lock(mutex);
        if (const TAudioInfo *known = Index.Find(info->FileName))
            return {known, false};
        return {Store(std::move(info)), true};
    }

    // Hands announcements to the main thread, in the order raised. Each hand-
    // off wakes the main thread, which would cost the scan more than reading a
    // cached file; so within a short interval after one hand-off further
    // announcements wait and go over together in the next one. The worker
    // hands over what waits before each file it takes up and before it idles.
    // The receiver is looked up for each when it runs there, so that one
    // unbound in the meantime (or a library destroyed) gets nothing.
    void Announce(TAudioLibrary *sender, const TAudioInfo *record)
    {
        {
            std::lock_guard lock(shared->mutex);
            shared->pending.push_back(record);
        }
        HandOver(sender, false);
    }

    void HandOver(TAudioLibrary *sender, bool now)
    {
        constexpr auto interval = std::chrono::milliseconds(2);
        {
            std::lock_guard lock(shared->mutex);
            auto time = std::chrono::steady_clock::now();
            if (shared->pending.empty() || shared->handOverPosted ||
                (!now && time - shared->lastHandOver < interval))
                return;
            shared->handOverPosted = true;
            shared->lastHandOver = time;
        }
        bool posted = platform::PostToMainThread([shared = shared, sender] {
            std::vector<const TAudioInfo *> batch;
            TAudioLibrary::TInfoReadyEvent event;
            uint64_t bound;
            {
                std::lock_guard lock(shared->mutex);
                batch.swap(shared->pending);
                shared->handOverPosted = false;
                event = shared->onInfoReady;
                bound = shared->binding;
            }
            for (const TAudioInfo *info : batch) {
                if (shared->binding != bound) {
                    std::lock_guard lock(shared->mutex);
                    event = shared->onInfoReady;
                    bound = shared->binding;
                }
                Notify(event, sender, info);
            }
        });
        if (!posted) {
            std::lock_guard lock(shared->mutex);
            shared->pending.clear();
            shared->handOverPosted = false;
        }
    }

    // The entry taken may have been replaced by the main thread meanwhile
    // (queued again with another priority); only the one taken goes.
    void RemoveTaken(const std::string &fileName, uint64_t id)
    {
        std::lock_guard lock(mutex);
        if (QueueEntry *entry = Queued.Find(fileName); entry && entry->id == id)
            RemoveQueued(entry);
    }
};

struct TAudioLibraryThread::Impl {
    TAudioLibrary &library;
    std::atomic<bool> terminated{false};
    std::thread thread;

    explicit Impl(TAudioLibrary &lib) : library(lib) {}
    void Execute();
    void ShowError(const std::string &text);
};

TAudioLibraryThread::TAudioLibraryThread(TAudioLibrary &library) : impl(new Impl(library))
{
    impl->thread = std::thread([this] { impl->Execute(); });
}

TAudioLibraryThread::~TAudioLibraryThread()
{
    Terminate();
    WaitFor();
    delete impl;
}

void TAudioLibraryThread::Terminate()
{
    impl->terminated = true;
    auto &lib = *impl->library.impl;
    {
        std::lock_guard lock(lib.mutex);
        lib.queued.notify_all();
    }
    std::lock_guard lock(lib.shared->mutex);
    lib.shared->boxClosed.notify_all();
}

void TAudioLibraryThread::WaitFor()
{
    if (impl->thread.joinable())
        impl->thread.join();
}

void TAudioLibraryThread::Impl::Execute()
{
    auto &lib = *library.impl;
    platform::SetThreadName("AudioLibrary");
    workerStopRequest = &terminated;
    const bool switchPriority = platform::CanLeaveIdlePriority();
    bool idle = false;
    while (!terminated) {
        std::string fileName;
        uint64_t id;
        {
            std::unique_lock lock(lib.mutex);
            const auto *front = lib.Front();
            if (!front) {
                lock.unlock();
                lib.HandOver(&library, true);
                lock.lock();
                if (lib.Front())
                    continue;
                if (switchPriority && !idle) {
                    platform::SetIdlePriority(true);
                    idle = true;
                }
                lib.queued.wait_for(lock, std::chrono::milliseconds(100),
                                    [&] { return terminated || lib.Front(); });
                continue;
            }
            fileName = front->FileName;
            id = front->id;
        }
        if (idle) {
            platform::SetIdlePriority(false);
            idle = false;
        }
        const TAudioInfo *record = nullptr;
        try {
            record = library.ProcessFile(fileName);
        } catch (const std::exception &e) {
            ShowError(e.what());
        } catch (...) {
            ShowError("Unbekannter Fehler");
        }
        lib.RemoveTaken(fileName, id);
        // Announced only once the entry has gone: a receiver that queues the
        // file again on hearing of it must not find it still waiting.
        if (record)
            lib.Announce(&library, record);
    }
}

// Shows the "Fehler" box on the main thread and waits until it has been
// closed, or until the library is being destroyed.
void TAudioLibraryThread::Impl::ShowError(const std::string &text)
{
    // What was announced before the failure arrives before its box.
    library.impl->HandOver(&library, true);
    auto shared = library.impl->shared;
    auto done = std::make_shared<bool>(false);
    bool posted = platform::PostToMainThread([shared, done, text] {
        bool closed;
        {
            std::lock_guard lock(shared->mutex);
            closed = shared->closed;
        }
        if (!closed)
            platform::ShowErrorBox("Fehler", text);
        std::lock_guard lock(shared->mutex);
        *done = true;
        shared->boxClosed.notify_all();
    });
    if (!posted)
        return;
    std::unique_lock lock(shared->mutex);
    shared->boxClosed.wait(lock, [&] { return *done || terminated.load() || platform::IsShutDown(); });
}

TAudioLibrary::TAudioLibrary() : impl(new Impl)
{
    // Last: the worker may use the library from its first instruction on.
    impl->Thread = std::make_unique<TAudioLibraryThread>(*this);
}

TAudioLibrary::~TAudioLibrary()
{
    impl->Thread.reset();
    {
        std::lock_guard lock(impl->shared->mutex);
        impl->shared->onInfoReady = nullptr;
        ++impl->shared->binding;
        impl->shared->closed = true;
    }
    delete impl;
}

void TAudioLibrary::SetOnInfoReady(TInfoReadyEvent event)
{
    std::lock_guard lock(impl->shared->mutex);
    impl->shared->onInfoReady = std::move(event);
    ++impl->shared->binding;
}

void TAudioLibrary::SetReader(TReader reader)
{
    std::lock_guard lock(impl->mutex);
    impl->Reader = std::move(reader);
}

void TAudioLibrary::QueueFile(const std::string &fileName, int32_t priority)
{
    QueueFiles({fileName}, priority);
}

void TAudioLibrary::QueueFiles(const std::vector<std::string> &fileNames, int32_t priority)
{
    // Looked at before the lock, so that the worker never waits for the
    // file system on the main thread's behalf.
    std::vector<bool> exists(fileNames.size());
    for (size_t i = 0; i < fileNames.size(); ++i)
        exists[i] = UnicodeFileExists(fileNames[i]);
    Enqueue(fileNames, exists, priority);
}

void TAudioLibrary::QueueListedFiles(std::vector<std::string> fileNames, int32_t priority)
{
    const std::vector<bool> exists(fileNames.size(), true);
    Enqueue(std::move(fileNames), exists, priority);
}

void TAudioLibrary::Enqueue(std::vector<std::string> fileNames, const std::vector<bool> &exists,
                            int32_t priority)
{
    if (std::find(exists.begin(), exists.end(), true) == exists.end())
        return;
    std::lock_guard lock(impl->mutex);
    for (size_t i = 0; i < fileNames.size(); ++i) {
        if (!exists[i])
            continue;
        if (Impl::QueueEntry *waiting = impl->Queued.Find(fileNames[i])) {
            if (waiting->Priority == priority)
                continue;
            impl->RemoveQueued(waiting);
        }
        impl->Push(std::move(fileNames[i]), priority);
    }
    impl->queued.notify_one();
}

const TAudioInfo *TAudioLibrary::GetInfo(const std::string &fileName)
{
    auto [record, added] = impl->Resolve(fileName);
    if (added) {
        TInfoReadyEvent event;
        {
            std::lock_guard lock(impl->shared->mutex);
            event = impl->shared->onInfoReady;
        }
        Notify(event, this, record);
    }
    return record;
}

const TAudioInfo *TAudioLibrary::ProcessFile(const std::string &fileName)
{
    // What waits to be announced goes over before a read that may take long.
    impl->HandOver(this, false);
    return impl->Resolve(fileName).first;
}

void TAudioLibrary::ReadInfo(const std::string &fileName, TAudioInfo &info)
{
    if (platform::LowerCaseLocale(platform::ExtractFileExt(fileName)) != ".mp3") {
        ReadStreamInfo(fileName, info);
        return;
    }
    try {
        ReadMpegInfo(fileName, info);
    } catch (const EFOpenError &) {
        ReadStreamInfo(fileName, info);
    } catch (...) {
        ReadStreamInfo(fileName, info);
        throw;
    }
}

void TAudioLibrary::ReadMpegInfo(const std::string &fileName, TAudioInfo &info)
{
    TMpegInfo mpeg;
    TID3v2Tag tag;
    tag.StopRequest = mpeg.StopRequest = workerStopRequest;
    {
        TTntFileStream stream(fileName);
        tag.ReadTag(stream);
        stream.SetPosition(tag.TagExists ? tag.TagSize : 0);
        mpeg.ScanStream(stream);
    }
    std::u16string title = tag.Title();
    info.Title = title.empty() ? platform::NameWithoutFolderAndExt(fileName) : platform::Utf16ToUtf8(title);
    info.Artist = platform::Utf16ToUtf8(tag.Artist());
    info.Album = platform::Utf16ToUtf8(tag.Album());
    info.Length = mpeg.Duration;
    info.FileName = fileName;
}

void TAudioLibrary::ReadStreamInfo(const std::string &fileName, TAudioInfo &info)
{
    // Decode-only: measuring must never be heard nor take a place in the mix
    // beside the track that is playing.
    HSTREAM stream = BASS_StreamCreateFile(FALSE, fileName.c_str(), 0, 0, BASS_STREAM_DECODE);
    struct Free {
        HSTREAM h;
        ~Free() { BASS_StreamFree(h); }
    } freeStream{stream};
    info.Length = RoundSeconds(BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetLength(stream)));
    info.Title = platform::NameWithoutFolderAndExt(fileName);
    info.Artist.clear();
    info.Album.clear();
    info.FileName = fileName;
}
