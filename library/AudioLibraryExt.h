// The audio library: one track record per file, filled in the background by
// a worker thread from a scan queue.
//
// Threads: GetInfo is called on the main thread, the queueing on any thread
// (a folder listed in the background is queued from the listing's thread);
// the worker takes the queue's head. OnInfoReady is always raised on the main thread:
// GetInfo raises it directly, the worker hands it over (platform hooks).
#pragma once

#include "library/TypesExt.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TAudioInfoThreadData {
    std::string FileName;
    int32_t Priority = -1;
};

class TAudioLibrary;

class TAudioLibraryThread {
public:
    explicit TAudioLibraryThread(TAudioLibrary &library);
    ~TAudioLibraryThread(); // stops and joins
    void Terminate();       // asks the loop to end; returns at once
    void WaitFor();         // joins

private:
    struct Impl;
    Impl *impl;
};

class TAudioLibrary {
public:
    using TInfoReadyEvent = std::function<void(TAudioLibrary *Sender, const TAudioInfo *Info)>;

    TAudioLibrary();
    ~TAudioLibrary(); // stops and joins the worker before the records go

    void QueueFile(const std::string &fileName, int32_t priority);
    // QueueFile for each name in order, under one lock: a folder of 100,000
    // files would otherwise meet the worker at the lock 100,000 times.
    void QueueFiles(const std::vector<std::string> &fileNames, int32_t priority);
    // QueueFiles for names that a folder's listing has just shown to be
    // regular files: a stat each again would cost a large folder as much as
    // its listing. The names move into the queue's entries.
    void QueueListedFiles(std::vector<std::string> fileNames, int32_t priority);
    // Never null; reads the file on the spot if needed; errors go to the caller.
    const TAudioInfo *GetInfo(const std::string &fileName);

    // Any thread; the receiver is called on the main thread.
    void SetOnInfoReady(TInfoReadyEvent event);

    // Tests: replaces ReadInfo as the reader of files that have no record yet,
    // to provoke failures and slow reads. Any thread.
    using TReader = std::function<void(const std::string &fileName, TAudioInfo &info)>;
    void SetReader(TReader reader);

    // Internal steps, public for tests. ProcessFile is the worker's step: the
    // file's record, the one stored or else read now and stored. It returns
    // the record to be announced instead of announcing it, so that the worker
    // can first remove the file's queue entry. Errors of the reading go to the
    // caller; nothing is stored then.
    const TAudioInfo *ProcessFile(const std::string &fileName);
    static void ReadInfo(const std::string &fileName, TAudioInfo &info);
    static void ReadMpegInfo(const std::string &fileName, TAudioInfo &info);
    static void ReadStreamInfo(const std::string &fileName, TAudioInfo &info);

private:
    friend class TAudioLibraryThread;
    void Enqueue(std::vector<std::string> fileNames, const std::vector<bool> &exists, int32_t priority);
    struct Impl;
    Impl *impl;
};

extern TAudioLibrary *AudioLibrary;
