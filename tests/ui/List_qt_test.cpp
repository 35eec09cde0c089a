#include "tests/support/HostileCorpus.h"
#include "tests/ui/ContentFixture.h"

#include "library/AudioLibraryExt.h"
#include "platform/Names.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "ui/ImageButton.h"

#include <QAction>
#include <QFileDialog>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <gtest/gtest.h>

namespace {

using TrackList = ContentTest;
using Strings = std::vector<std::string>;

std::string Text(TForm1 *form, TVirtualNode *node, int column)
{
    return form->ListViewGetText(node, column).toStdString();
}

TEST_F(TrackList, AFolderShowsItsFilesByNameThenWhatTheScanReports)
{
    HoldScan();
    Click(AlbumNode());
    ASSERT_EQ(List()->TotalCount(), 3);
    std::vector<std::string> files = ListedFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (Strings{Mp3, Wav, Ogg}));
    // Before the announcements are handled: the file names, nothing else.
    TVirtualNode *mp3 = RowNode(RowOf(Mp3));
    EXPECT_EQ(Text(Form, mp3, 0), "a-morgen");
    EXPECT_EQ(Text(Form, RowNode(RowOf(Ogg)), 0), "c-ogg.Take");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Row(i)->Track, nullptr);
        EXPECT_EQ(Text(Form, RowNode(i), 1), "");
        EXPECT_EQ(Text(Form, RowNode(i), 2), "");
        EXPECT_EQ(Text(Form, RowNode(i), 3), "");
        EXPECT_EQ(Text(Form, RowNode(i), 4), ListedFiles()[i]);
        EXPECT_EQ(Text(Form, RowNode(i), 5), "");
    }

    ReleaseScan();
    ASSERT_TRUE(WaitFor([&] { return AllRowsFilled(); }));
    EXPECT_EQ(Text(Form, mp3, 0), "Morgenlied");
    EXPECT_EQ(Text(Form, mp3, 1), "Anna");
    EXPECT_EQ(Text(Form, mp3, 2), "Lieder");
    for (int i = 0; i < 3; ++i) {
        const TAudioInfo *track = Row(i)->Track;
        EXPECT_EQ(track, AudioLibrary->GetInfo(ListedFiles()[i]));
        ASSERT_GE(track->Length, 0);
        char length[16];
        std::snprintf(length, sizeof length, "%.2d:%.2d", track->Length / 60, track->Length % 60);
        EXPECT_EQ(Text(Form, RowNode(i), 3), length);
    }
    EXPECT_EQ(Text(Form, RowNode(RowOf(Wav)), 0), "b-welle");

    // The columns are asked for by number, wherever the user has moved them.
    List()->header()->moveSection(4, 0);
    EXPECT_EQ(Text(Form, mp3, 4), Mp3);
    EXPECT_EQ(Text(Form, mp3, 0), "Morgenlied");
}

TEST_F(TrackList, AnAnnouncementFillsTheFirstRowOfThatExactNameThatHasNoRecord)
{
    int delivered = 0;
    AudioLibrary->SetOnInfoReady([&](TAudioLibrary *sender, const TAudioInfo *info) {
        ++delivered;
        Form->LibraryTrackInfo(sender, info);
    });
    HoldScan();
    Click(AlbumNode());
    // Handled before the scan's own announcements, which then find the rows filled.
    TVirtualNode *wav = RowNode(RowOf(Wav));
    TVirtualNode *ogg = RowNode(RowOf(Ogg));
    TVirtualNode *mp3 = RowNode(RowOf(Mp3));
    const TAudioInfo unknown{Wav, "Ohne Länge", "Niemand", "Nichts", -1};
    const TAudioInfo minute{Ogg, "Eine Minute", "", "", 65};
    const TAudioInfo again{Ogg, "Noch einmal", "X", "Y", 7};
    std::string upper = Mp3;
    upper.replace(upper.size() - 3, 3, "MP3");
    const TAudioInfo otherCase{upper, "Falsch", "", "", 1};

    Form->LibraryTrackInfo(AudioLibrary, &unknown);
    Form->LibraryTrackInfo(AudioLibrary, &minute);
    Form->LibraryTrackInfo(AudioLibrary, &again);
    Form->LibraryTrackInfo(AudioLibrary, &otherCase);

    EXPECT_EQ(Text(Form, wav, 0), "Ohne Länge");
    EXPECT_EQ(Text(Form, wav, 1), "Niemand");
    EXPECT_EQ(Text(Form, wav, 3), "");
    EXPECT_EQ(Text(Form, ogg, 0), "Eine Minute");
    EXPECT_EQ(Text(Form, ogg, 3), "01:05");
    EXPECT_EQ(List()->GetNodeData<TListRowData>(ogg)->Track, &minute);
    EXPECT_EQ(List()->GetNodeData<TListRowData>(mp3)->Track, nullptr);
    EXPECT_EQ(Text(Form, mp3, 0), "a-morgen");

    // The scan's records arrive later and change none of the filled rows.
    ReleaseScan();
    ASSERT_TRUE(WaitFor([&] { return delivered == 3; }));
    EXPECT_TRUE(AllRowsFilled());
    EXPECT_EQ(Text(Form, ogg, 0), "Eine Minute");
    EXPECT_EQ(Text(Form, mp3, 0), "Morgenlied");
    Form->TreeViewChange(nullptr);

    // A rebuild starts every row afresh, and an announcement that comes while
    // the folder is still being listed waits for its row.
    Click(SecondNode());
    Press(AlbumNode());
    ASSERT_TRUE(Form->ViewPlaylist->Loading());
    Form->LibraryTrackInfo(AudioLibrary, &again);
    ASSERT_TRUE(WaitFor([&] { return !Form->ViewPlaylist->Loading() && AllRowsFilled(); }));
    EXPECT_EQ(Text(Form, RowNode(RowOf(Ogg)), 0), "Noch einmal");
    EXPECT_EQ(Text(Form, RowNode(RowOf(Wav)), 0), "b-welle");
}

TEST_F(TrackList, ALargeFolderComesInSlicesAndANewChoiceDropsWhatIsStillToCome)
{
    // Empty files that a stand-in reader gives records: only the number counts.
    std::atomic<int> reads{0};
    const TAudioLibrary::TReader standIn = [&](const std::string &fileName, TAudioInfo &info) {
        info.FileName = fileName;
        info.Title = "Stück";
        info.Length = 1;
        ++reads;
    };
    constexpr int Extra = 9000;
    for (int i = 0; i < Extra; ++i)
        Dir.Write("music/Album/" + std::to_string(i) + ".mp3", "");
    const int total = Extra + 3;
    const std::string last = Ogg; // "c-ogg" comes after every digit and "a-", "b-"
    const TAudioInfo early{last, "Früh", "", "", 2};

    // Completed first: the scan holds only while it has files to read.
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "completed");
        Click(Computer());
        HoldScan(standIn);
        Click(AlbumNode());
        // The first rows are there at once, the rest come later; an
        // announcement for a row still to come fills it when it comes.
        EXPECT_GT(List()->TotalCount(), 0);
        EXPECT_LT(List()->TotalCount(), total);
        Form->LibraryTrackInfo(AudioLibrary, &early);
        ReleaseScan();
        if (cancel) {
            Click(SecondNode());
            EXPECT_EQ(ListedFiles(), Strings{Other});
            // Until the old folder's last announcement has been handled.
            ASSERT_TRUE(WaitFor([&] { return reads >= total + 1 && AllRowsFilled(); }, 120000));
            for (int i = 0; i < 10; ++i)
                ProcessEvents();
            EXPECT_EQ(ListedFiles(), Strings{Other});
            continue;
        }
        ASSERT_TRUE(WaitFor([&] { return List()->TotalCount() == total && AllRowsFilled(); }, 120000));
        int i = 0;
        for (TVirtualNode *n = List()->FirstChild(nullptr); n; n = List()->NextSibling(n), ++i) {
            const TListRowData *row = List()->GetNodeData<TListRowData>(n);
            ASSERT_EQ(row->FileName, Form->ViewPlaylist->Items(i));
            ASSERT_EQ(row->Track->FileName, row->FileName);
        }
        EXPECT_EQ(Row(total - 1)->FileName, last);
        EXPECT_EQ(Row(total - 1)->Track, &early);
    }

    // The large folder's last slices, added while the next folder is being
    // listed, leave what was announced for the next folder's rows.
    Click(Computer());
    Click(AlbumNode());
    ASSERT_LT(List()->TotalCount(), total);
    Press(SecondNode());
    const TAudioInfo soon{Other, "Bald", "", "", 1};
    Form->LibraryTrackInfo(AudioLibrary, &soon);
    while (List()->TotalCount() < total)
        Form->AddListRows();
    ASSERT_TRUE(WaitFor([&] { return !Form->ViewPlaylist->Loading(); }));
    ASSERT_EQ(ListedFiles(), Strings{Other});
    EXPECT_EQ(Row(0)->Track, &soon);

    // Another folder chosen while the large one is still being listed: the
    // large one's files never reach the list, not even for a moment. Its
    // result would have come before the new one's.
    int largeShown = 0;
    const auto rebuild = Form->ViewPlaylist->OnChange;
    Form->ViewPlaylist->OnChange = [&](TPlaylist *sender) {
        largeShown += sender->Count() > 0 && platform::FolderPart(sender->Items(0)) == Album;
        rebuild(sender);
    };
    Click(Computer());
    Press(AlbumNode());
    EXPECT_TRUE(Form->ViewPlaylist->Loading());
    Click(SecondNode());
    EXPECT_EQ(ListedFiles(), Strings{Other});
    EXPECT_EQ(largeShown, 0);
    EXPECT_EQ(WaitCursorDepth(), 0);
}

TEST_F(TrackList, EnterAndDoubleClickPlayTheFocusedRow)
{
    Click(AlbumNode());
    const int row = RowOf(Wav);
    List()->SelectNode(RowNode(row), true);
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(Player->FileName, Wav);
    EXPECT_EQ(Player->State(), psPlaying);
    ASSERT_EQ(Player->Playlist->Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Player->Playlist->Items(i), ListedFiles()[i]);

    const int other = RowOf(Ogg);
    const QRect rect = List()->visualRect(List()->IndexOf(RowNode(other)));
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(Player->FileName, Ogg);
    EXPECT_EQ(Player->State(), psPlaying);

    // With "Wiedergabe" focused the player's list is kept: row i plays entry
    // i, and the rows are not rebuilt (they keep their records).
    Player->Playlist->Clear();
    Player->Playlist->Add(Other);
    Player->Playlist->Add(Mp3);
    Player->Playlist->Add(Wav);
    Click(Playback());
    ASSERT_EQ(ListedFiles(), (Strings{Other, Mp3, Wav}));
    ASSERT_TRUE(WaitFor([&] { return AllRowsFilled(); }));
    const TAudioInfo *first = Row(0)->Track;
    List()->SelectNode(RowNode(2), true);
    QTest::keyClick(List(), Qt::Key_Enter);
    EXPECT_EQ(Player->FileName, Player->Playlist->Items(2));
    EXPECT_EQ(Player->FileName, Wav);
    EXPECT_EQ(Row(0)->Track, first);
    EXPECT_EQ(ListedFiles(), (Strings{Other, Mp3, Wav}));

    // Without a focused row nothing starts.
    Player->Stop();
    Click(Computer());
    Form->PlayFocused();
    EXPECT_EQ(Player->State(), psStopped);
}

// A name that is not UTF-8 goes from the folder listing through the list,
// the playlist and the library to the engine unchanged: the row shows it
// with the replacement character, the record is read, the track plays.
TEST_F(TrackList, ANameThatIsNotUtf8IsShownReadAndPlayed)
{
    const std::string latin1 = hostile::MakeLatin1Named(Second);
    ASSERT_FALSE(latin1.empty());
    Click(SecondNode());
    ASSERT_EQ(List()->TotalCount(), 2);
    const int row = RowOf(latin1);
    ASSERT_GE(row, 0);
    ASSERT_TRUE(WaitFor([&] { return AllRowsFilled(); }));
    EXPECT_EQ(Text(Form, RowNode(row), 0), "M\uFFFDller");
    EXPECT_EQ(Text(Form, RowNode(row), 1), "Gruppe");
    EXPECT_EQ(Text(Form, RowNode(row), 2), "Namen");
    EXPECT_EQ(Text(Form, RowNode(row), 3), "00:01");
    EXPECT_EQ(Row(row)->Track->FileName, latin1);

    List()->SelectNode(RowNode(row), true);
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(Player->FileName, latin1);
    EXPECT_EQ(Player->State(), psPlaying);
    EXPECT_EQ(Player->Title, "Gruppe - M\xfcller");
    EXPECT_TRUE(Boxes().empty());
}

// A FIFO named like audio is listed, but playing it shows the box of a file
// that cannot be played at once instead of waiting for a writer.
TEST_F(TrackList, PlayingAFifoShowsTheBoxAtOnce)
{
    const std::string fifo = hostile::MakeFifo(Second, "warteschlange.mp3");
    ASSERT_FALSE(fifo.empty());
    Player->Playlist->Clear();
    Player->Playlist->Add(fifo);
    Player->LoadTrack(0);
    EXPECT_EQ(Player->State(), psNone);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Datei nicht gefunden");
}

TEST_F(TrackList, ThePlayButtonFollowsTheFocusedRowWhileNothingIsLoaded)
{
    ASSERT_EQ(Player->State(), psNone);
    EXPECT_FALSE(Form->PlayBtn->isEnabled());
    EXPECT_FALSE(Form->PlayItem->isEnabled());
    Click(AlbumNode());
    EXPECT_FALSE(Form->PlayBtn->isEnabled());
    List()->SelectNode(RowNode(1), true);
    ASSERT_TRUE(WaitFor([&] { return Form->PlayBtn->isEnabled(); }));
    EXPECT_TRUE(Form->PlayItem->isEnabled());
    // The rebuild of the list takes the focused row away.
    Click(SecondNode());
    EXPECT_FALSE(Form->PlayBtn->isEnabled());
    EXPECT_FALSE(Form->PlayItem->isEnabled());
}

TEST_F(TrackList, OpenAppendsWhileThePlaybackListIsShownAndReplacesItOtherwise)
{
    // The dialog: its title, several existing files, the engine's filter
    // with its first entry chosen.
    EXPECT_EQ(Form->OpenDialog->windowTitle(), QString::fromUtf8("Audiodateien auswählen"));
    EXPECT_EQ(Form->OpenDialog->fileMode(), QFileDialog::ExistingFiles);
    const QStringList filters = FilterToNameFilters(BassController->Filter);
    EXPECT_EQ(Form->OpenDialog->nameFilters(), filters);
    EXPECT_EQ(Form->OpenDialog->selectedNameFilter(), filters.front());

    QStringList chosen;
    int asked = 0;
    Form->ChooseFiles = [&] {
        ++asked;
        return chosen;
    };
    auto q = [](const std::string &s) { return QString::fromStdString(s); };

    // A folder focused: the list is replaced, the first file plays, the
    // window keeps showing the folder.
    Click(SecondNode());
    chosen = {q(Wav), q(Mp3)};
    Form->OpenItem->trigger();
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(Player->Playlist->Count(), 2);
    EXPECT_EQ(Player->FileName, Wav);
    EXPECT_EQ(Player->State(), psPlaying);
    EXPECT_EQ(ListedFiles(), Strings{Other});

    // "Wiedergabe" focused: appended (no file twice), playback goes on.
    Click(Playback());
    chosen = {q(Mp3), q(Ogg)};
    Form->OpenItemClick();
    EXPECT_EQ(ListedFiles(), (Strings{Wav, Mp3, Ogg}));
    EXPECT_EQ(Player->Playlist->Count(), 3);
    EXPECT_EQ(Player->FileName, Wav);
    EXPECT_EQ(Player->State(), psPlaying);

    // Cancelled: nothing changes.
    chosen.clear();
    Click(SecondNode());
    Form->OpenItemClick();
    EXPECT_EQ(Player->Playlist->Count(), 3);
    EXPECT_EQ(Player->FileName, Wav);
}

TEST_F(TrackList, ThePlayingRowIsGreenLimeWhenSelectedInTheFocusedListAndNormalAfterStop)
{
    Click(AlbumNode());
    TVirtualNode *playing = RowNode(RowOf(Wav));
    TVirtualNode *other = RowNode(RowOf(Mp3));
    auto colour = [&](TVirtualNode *node) {
        QColor c(1, 2, 3);
        Form->ListViewPaintText(node, 0, c);
        return c;
    };
    const QColor normal(1, 2, 3), green(0, 128, 0), lime(0, 255, 0);
    EXPECT_EQ(colour(playing), normal);

    List()->SelectNode(playing, true);
    QTest::keyClick(List(), Qt::Key_Return);
    ASSERT_EQ(Player->State(), psPlaying);
    List()->SelectNode(other, true);
    EXPECT_EQ(colour(playing), green);
    EXPECT_EQ(colour(other), normal);

    List()->SelectNode(playing, true);
    List()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return List()->hasFocus(); }));
    EXPECT_EQ(colour(playing), lime);
    Tree()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return !List()->hasFocus(); }));
    EXPECT_EQ(colour(playing), green);

    Player->Pause();
    ASSERT_EQ(Player->State(), psPaused);
    EXPECT_EQ(colour(playing), green);
    Player->Stop();
    ASSERT_EQ(Player->State(), psStopped);
    EXPECT_EQ(colour(playing), normal);
}

TEST_F(TrackList, TheListTakesNoDropsAndStartsNoDrags)
{
    Click(SecondNode());
    EXPECT_FALSE(Form->acceptDrops());
    for (TVirtualTree *view : {Tree(), List()}) {
        EXPECT_FALSE(view->acceptDrops());
        EXPECT_FALSE(view->viewport()->acceptDrops());
        EXPECT_FALSE(view->dragEnabled());
    }
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(Wav))});
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(List()->viewport(), &drop);
    EXPECT_EQ(ListedFiles(), Strings{Other});
    EXPECT_EQ(Player->Playlist->Count(), 0);

    // The list's own look: 15-pixel rows, several rows selectable.
    EXPECT_EQ(List()->NodeHeight(), 15);
    EXPECT_EQ(List()->selectionMode(), QAbstractItemView::ExtendedSelection);
}

} // namespace
