// The main window over a temporary folder tree that a fake mount table shows
// as the computer's drives, for the tree and list tests. Main thread only.
//
//   music/ (drive "MUSIK", fixed)   Album/ with a tagged MP3, a WAV, an Ogg,
//                                   a text file, a hidden MP3 and Sub/;
//                                   Empty/; Second/ with one more WAV
//   stick/ (removable), cd/ (optical), floppy/ (floppy, made only when a
//   test asks for it)
#pragma once

#include "library/AudioLibraryExt.h"
#include "library/FileExt.h"
#include "platform/Drives.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"
#include "tests/support/QtWindowFixture.h"
#include "ui/Unit1.h"
#include "ui/VirtualTree.h"

#include <QTest>
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class ContentTest : public QtWindowFixture {
protected:
    void SetUp() override
    {
        Music = Dir.Mkdir("music");
        Album = Dir.Mkdir("music/Album");
        Dir.Mkdir("music/Album/Sub");
        Dir.Mkdir("music/Empty");
        Second = Dir.Mkdir("music/Second");
        Stick = Dir.Mkdir("stick");
        Floppy = Dir.path() + "floppy/";
        using namespace id3writer;
        Mp3 = Dir.Write("music/Album/a-morgen.mp3",
                        Tag(3, TextFrame(3, "TIT2", 0, "Morgenlied") + TextFrame(3, "TPE1", 0, "Anna") +
                                   TextFrame(3, "TALB", 0, "Lieder")) +
                            fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3")));
        Wav = Dir.Copy("tone-44100-stereo.wav", "music/Album/b-welle.wav");
        Ogg = Dir.Copy("tone-44100-stereo.ogg", "music/Album/c-ogg.Take.ogg");
        Dir.Write("music/Album/liesmich.txt", "kein Klang");
        Dir.Copy("tone-44100-cbr128.mp3", "music/Album/.versteckt.mp3");
        Other = Dir.Copy("short-0.3s.wav", "music/Second/kurz.wav");

        platform::DriveSource source;
        source.mounts = "/dev/sda1 / ext4 rw 0 0\n"
                        "/dev/sdb1 " +
                        Root(Music) +
                        " ext4 rw 0 0\n"
                        "/dev/sdc1 " +
                        Root(Stick) +
                        " vfat rw 0 0\n"
                        "/dev/sr0 " +
                        Root(Dir.path() + "cd/") +
                        " iso9660 ro 0 0\n"
                        "/dev/fd0 " +
                        Root(Floppy) + " vfat rw 0 0\n";
        source.labels = {{"MUSIK", "../../sdb1"}};
        source.removable = {{"sda", false}, {"sdb", false}, {"sdc", true}};
        platform::SetDriveSourceForTesting(source);
        QtWindowFixture::SetUp();
    }
    void TearDown() override
    {
        ReleaseScan();
        QtWindowFixture::TearDown();
        platform::SetDriveSourceForTesting(std::nullopt);
    }

    // The mount point of a root: without its trailing "/".
    static std::string Root(const std::string &folder) { return folder.substr(0, folder.size() - 1); }

    TVirtualTree *Tree() const { return Form->TreeView; }
    TVirtualTree *List() const { return Form->ListView; }
    TTreeNodeData *NodeData(TVirtualNode *node) const { return Tree()->GetNodeData<TTreeNodeData>(node); }
    TListRowData *Row(int i) const { return List()->GetNodeData<TListRowData>(RowNode(i)); }
    TVirtualNode *RowNode(int i) const
    {
        TVirtualNode *node = List()->FirstChild(nullptr);
        while (node && i-- > 0)
            node = List()->NextSibling(node);
        return node;
    }
    // The child of parent (the top level for null) captioned caption.
    TVirtualNode *Child(TVirtualNode *parent, const std::string &caption) const
    {
        for (TVirtualNode *n = Tree()->FirstChild(parent); n; n = Tree()->NextSibling(n))
            if (NodeData(n)->Caption == caption)
                return n;
        return nullptr;
    }
    TVirtualNode *Playback() const { return Child(nullptr, "Wiedergabe"); }
    TVirtualNode *Computer() const { return Child(nullptr, "Arbeitsplatz"); }
    TVirtualNode *MusicDrive() const { return Child(Computer(), "MUSIK (" + Root(Music) + ")"); }
    TVirtualNode *AlbumNode() const { return Child(MusicDrive(), "Album"); }
    TVirtualNode *SecondNode() const { return Child(MusicDrive(), "Second"); }
    std::vector<std::string> Captions(TVirtualNode *parent) const
    {
        std::vector<std::string> captions;
        for (TVirtualNode *n = Tree()->FirstChild(parent); n; n = Tree()->NextSibling(n))
            captions.push_back(NodeData(n)->Caption);
        std::sort(captions.begin(), captions.end());
        return captions;
    }
    // The files the list shows, in list order.
    std::vector<std::string> ListedFiles() const
    {
        std::vector<std::string> files;
        for (TVirtualNode *n = List()->FirstChild(nullptr); n; n = List()->NextSibling(n))
            files.emplace_back(List()->GetNodeData<TListRowData>(n)->FileName);
        return files;
    }
    int RowOf(const std::string &file) const
    {
        const auto files = ListedFiles();
        auto it = std::find(files.begin(), files.end(), file);
        return it == files.end() ? -1 : int(it - files.begin());
    }
    // Clicks a node's caption, its ancestors expanded first, and waits until
    // the folder it stands for has been listed.
    void Click(TVirtualNode *node) const
    {
        Press(node);
        // A folder is listed in the background; its rows come once it has been.
        EXPECT_TRUE(WaitFor([this] { return !Form->ViewPlaylist->Loading(); }, 10000));
    }
    // Clicks a node's caption, its ancestors expanded first.
    void Press(TVirtualNode *node) const
    {
        std::vector<TVirtualNode *> ancestors;
        for (TVirtualNode *a = Tree()->Parent(node); a; a = Tree()->Parent(a))
            ancestors.insert(ancestors.begin(), a);
        for (TVirtualNode *a : ancestors)
            Tree()->Expand(a);
        const QModelIndex index = Tree()->IndexOf(node);
        Tree()->scrollTo(index);
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, Tree()->visualRect(index).center());
    }
    // Keeps the library's worker from reading any file until ReleaseScan, so
    // that a test sees the rows as they are before the first announcement.
    // Once released, reader reads.
    void HoldScan(TAudioLibrary::TReader reader = &TAudioLibrary::ReadInfo)
    {
        ScanGate = std::make_shared<Gate>();
        AudioLibrary->SetReader([gate = ScanGate, reader](const std::string &fileName, TAudioInfo &info) {
            {
                std::unique_lock lock(gate->mutex);
                gate->opened.wait(lock, [&] { return gate->open; });
            }
            reader(fileName, info);
        });
    }
    void ReleaseScan()
    {
        {
            std::lock_guard lock(ScanGate->mutex);
            ScanGate->open = true;
        }
        ScanGate->opened.notify_all();
    }
    bool AllRowsFilled() const
    {
        for (TVirtualNode *n = List()->FirstChild(nullptr); n; n = List()->NextSibling(n))
            if (!List()->GetNodeData<TListRowData>(n)->Track)
                return false;
        return List()->TotalCount() > 0;
    }

    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    std::shared_ptr<Gate> ScanGate = std::make_shared<Gate>();

    fixtures::TempDir Dir;
    std::string Music, Album, Second, Stick, Floppy;
    std::string Mp3, Wav, Ogg, Other;
};
