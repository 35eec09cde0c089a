#include "tests/ui/ContentFixture.h"

#include "playback/PlayerExt.h"

#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using NavigationTree = ContentTest;
using Strings = std::vector<std::string>;

TEST_F(NavigationTree, StartUpShowsTheRootsAndTheDrivesWithArbeitsplatzSelectedAndExpanded)
{
    ASSERT_EQ(Tree()->ChildCount(nullptr), 2);
    TVirtualNode *playback = Tree()->FirstChild(nullptr);
    TVirtualNode *computer = Tree()->NextSibling(playback);
    EXPECT_EQ(NodeData(playback)->Caption, "Wiedergabe");
    EXPECT_EQ(NodeData(playback)->Kind, nkPlayback);
    EXPECT_EQ(NodeData(playback)->ImageIndex, 1);
    EXPECT_EQ(NodeData(playback)->SelectedIndex, 1);
    EXPECT_EQ(NodeData(computer)->Caption, "Arbeitsplatz");
    EXPECT_EQ(NodeData(computer)->Kind, nkComputer);
    EXPECT_EQ(NodeData(computer)->ImageIndex, 0);
    EXPECT_EQ(NodeData(computer)->Path, "");

    // Selected but not focused; expanded; the list is empty.
    EXPECT_TRUE(Tree()->Selected(computer));
    EXPECT_EQ(Tree()->FocusedNode(), nullptr);
    EXPECT_TRUE(Tree()->IsExpanded(computer));
    EXPECT_EQ(Form->ViewPlaylist->Count(), 0);
    EXPECT_EQ(List()->TotalCount(), 0);

    // One child per drive in the order of the mount table: caption, image, root.
    struct Drive {
        std::string Caption, Path;
        int Image;
    };
    const std::vector<Drive> drives = {
        {"Lokaler Datenträger (/)", "/", 4},
        {"MUSIK (" + Root(Music) + ")", Music, 4},
        {std::string(DriveKindName(dkRemovable)) + " (" + Root(Stick) + ")", Stick, 6},
        {std::string(DriveKindName(dkCdRom)) + " (" + Dir.path() + "cd)", Dir.path() + "cd/", 5},
        {"3½-Diskette (" + Root(Floppy) + ")", Floppy, 3}};
    ASSERT_EQ(Tree()->ChildCount(computer), int(drives.size()));
    TVirtualNode *node = Tree()->FirstChild(computer);
    for (const Drive &d : drives) {
        const TTreeNodeData *data = NodeData(node);
        EXPECT_EQ(data->Kind, nkFolder);
        EXPECT_EQ(data->Caption, d.Caption);
        EXPECT_EQ(data->Path, d.Path);
        EXPECT_EQ(data->ImageIndex, d.Image) << d.Caption;
        EXPECT_EQ(data->SelectedIndex, d.Image) << d.Caption;
        EXPECT_EQ(Form->TreeViewGetText(node, -1).toStdString(), d.Caption);
        node = Tree()->NextSibling(node);
    }

    // Every drive was filled one level ahead: the folders of the music drive
    // are there (so it shows an expand button), not theirs.
    TVirtualNode *music = MusicDrive();
    EXPECT_EQ(Captions(music), (Strings{"Album", "Empty", "Second"}));
    EXPECT_EQ(NodeData(AlbumNode())->Path, Album);
    EXPECT_EQ(NodeData(AlbumNode())->ImageIndex, 7);
    EXPECT_EQ(NodeData(AlbumNode())->SelectedIndex, 8);
    EXPECT_EQ(Tree()->ChildCount(AlbumNode()), 0);
    EXPECT_EQ(Form->TreeViewGetImageIndex(AlbumNode(), TVTImageKind::ikSelected, -1), 8);
    EXPECT_TRUE(Tree()->HasChildren(music));
    EXPECT_EQ(Tree()->ChildCount(Child(computer, DriveKindName(dkRemovable) + (" (" + Root(Stick) + ")"))),
              0);

    // The drives were read with the wait cursor, which is off again.
    EXPECT_GE(WaitCursorShows(), 2);
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_EQ(Tree()->NodeHeight(), 18);
}

TEST_F(NavigationTree, AFloppyDriveGetsAnExpandButtonWithoutBeingReadAndShowsItsFoldersWhenExpanded)
{
    // The floppy's folder does not even exist: it was never listed.
    TVirtualNode *floppy = Child(Computer(), "3½-Diskette (" + Root(Floppy) + ")");
    ASSERT_NE(floppy, nullptr);
    ASSERT_EQ(Tree()->ChildCount(floppy), 1);
    const TTreeNodeData *placeholder = NodeData(Tree()->FirstChild(floppy));
    EXPECT_EQ(placeholder->Kind, nkPlaceholder);
    EXPECT_EQ(placeholder->Caption, "");
    EXPECT_EQ(placeholder->ImageIndex, -1);
    EXPECT_EQ(placeholder->SelectedIndex, -1);

    // A change to the placeholder changes nothing.
    Click(AlbumNode());
    Form->TreeViewChange(Tree()->FirstChild(floppy));
    EXPECT_EQ(Form->ViewPlaylist->Count(), 3);

    Dir.Mkdir("floppy/Briefe");
    Dir.Mkdir("floppy/Briefe/Alt");
    Dir.Mkdir("floppy/Lieder");
    // As the user expands it (button or key), the view already expanding.
    Tree()->expand(Tree()->IndexOf(floppy));
    QCoreApplication::processEvents();
    EXPECT_EQ(Captions(floppy), (Strings{"Briefe", "Lieder"}));
    TVirtualNode *letters = Child(floppy, "Briefe");
    EXPECT_EQ(NodeData(letters)->Path, Floppy + "Briefe/");
    EXPECT_EQ(NodeData(letters)->Kind, nkFolder);
    // The new folders were filled ahead in turn.
    EXPECT_EQ(Captions(letters), Strings{"Alt"});

    // Collapsing and expanding "Arbeitsplatz" again reads only the drives
    // without folders, and the floppy gets no second placeholder.
    Dir.Mkdir("music/Neu");
    Dir.Mkdir("stick/Fotos");
    Tree()->Collapse(Computer());
    Tree()->Expand(Computer());
    EXPECT_EQ(Captions(floppy), (Strings{"Briefe", "Lieder"}));
    EXPECT_EQ(Captions(MusicDrive()), (Strings{"Album", "Empty", "Second"}));
    EXPECT_EQ(Captions(Child(Computer(), DriveKindName(dkRemovable) + (" (" + Root(Stick) + ")"))),
              Strings{"Fotos"});
}

TEST_F(NavigationTree, AFloppyWithoutFoldersGetsItsPlaceholderBackOnTheNextExpansion)
{
    TVirtualNode *floppy = Child(Computer(), "3½-Diskette (" + Root(Floppy) + ")");
    Tree()->Expand(floppy);
    EXPECT_EQ(Tree()->ChildCount(floppy), 0);
    Tree()->Collapse(Computer());
    Tree()->Expand(Computer());
    ASSERT_EQ(Tree()->ChildCount(floppy), 1);
    EXPECT_EQ(NodeData(Tree()->FirstChild(floppy))->Kind, nkPlaceholder);
}

TEST_F(NavigationTree, ExpandingByTheUserFillsTheChildrenAhead)
{
    TVirtualNode *album = AlbumNode();
    EXPECT_FALSE(Tree()->HasChildren(album));
    // The user expands the music drive: its folders are read one level down.
    Tree()->expand(Tree()->IndexOf(MusicDrive()));
    EXPECT_EQ(Captions(album), Strings{"Sub"});
    EXPECT_EQ(NodeData(Child(album, "Sub"))->Path, Album + "Sub/");
    EXPECT_EQ(Tree()->ChildCount(Child(MusicDrive(), "Empty")), 0);
}

TEST_F(NavigationTree, SelectingANodeShowsWhatItStandsFor)
{
    Click(AlbumNode());
    std::vector<std::string> files = ListedFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (Strings{Mp3, Wav, Ogg}));
    for (int i = 0; i < Form->ViewPlaylist->Count(); ++i)
        EXPECT_EQ(Form->ViewPlaylist->Items(i), ListedFiles()[i]);

    Click(Computer());
    EXPECT_EQ(Form->ViewPlaylist->Count(), 0);
    EXPECT_EQ(List()->TotalCount(), 0);

    Player->Playlist->Add(Other);
    Player->Playlist->Add(Wav);
    Click(Playback());
    EXPECT_EQ(ListedFiles(), (Strings{Other, Wav}));

    // A folder without audio files shows nothing; a change without a node
    // keeps what is shown.
    Click(Child(MusicDrive(), "Empty"));
    EXPECT_EQ(List()->TotalCount(), 0);
    Click(SecondNode());
    Form->TreeViewChange(nullptr);
    EXPECT_EQ(ListedFiles(), Strings{Other});
}

// Sub-folders in the tree and files in the list, as Windows lists a folder.
TEST_F(NavigationTree, FoldersAndFilesComeInTheOrderWindowsListsThem)
{
    const fixtures::NtfsNames names = fixtures::NamesInNtfsOrder();
    Dir.Mkdir("stick/Gemischt");
    for (const std::string &name : names.Created) {
        Dir.Mkdir("stick/Gemischt/" + name);
        Dir.Copy("short-0.3s.wav", "stick/Gemischt/" + name + ".wav");
    }
    Tree()->Collapse(Computer());
    Tree()->Expand(Computer());
    TVirtualNode *stick = Child(Computer(), DriveKindName(dkRemovable) + (" (" + Root(Stick) + ")"));
    Tree()->Expand(stick);
    TVirtualNode *mixed = Child(stick, "Gemischt");
    ASSERT_NE(mixed, nullptr);
    Strings folders, files;
    for (TVirtualNode *n = Tree()->FirstChild(mixed); n; n = Tree()->NextSibling(n))
        folders.push_back(NodeData(n)->Caption);
    EXPECT_EQ(folders, names.Listed);

    Click(mixed);
    for (const std::string &name : names.Listed)
        files.push_back(Stick + "Gemischt/" + name + ".wav");
    EXPECT_EQ(ListedFiles(), files);
}

} // namespace
