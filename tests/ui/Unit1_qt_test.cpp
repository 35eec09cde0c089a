#include "ui/Unit1.h"

#include "app/Stages.h"
#include "library/AudioLibraryExt.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "tests/support/TestHooks.h"
#include "ui/AlignLayout.h"
#include "ui/ImageButton.h"
#include "ui/TrackBar.h"
#include "ui/VirtualTree.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const std::string DefaultSpec = "Titel.0:150&Interpret.1:150&Album.2:100&Länge.3:100?right&Dateiname.4:250";

std::vector<TColumnDef> Parse(const std::string &spec, std::string *error = nullptr)
{
    std::vector<TColumnDef> columns;
    std::string e = ParseColumnSpec(spec, columns);
    if (error)
        *error = e;
    else
        EXPECT_EQ(e, "") << spec;
    return columns;
}

TEST(ColumnSpec, TheFileListSpecGivesFiveColumns)
{
    auto columns = Parse(DefaultSpec);
    ASSERT_EQ(columns.size(), 5u);
    const char *captions[] = {"Titel", "Interpret", "Album", "Länge", "Dateiname"};
    const int widths[] = {150, 150, 100, 100, 250};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(columns[i].Caption, captions[i]);
        EXPECT_EQ(columns[i].Width, widths[i]);
        EXPECT_EQ(columns[i].Position, i);
        EXPECT_EQ(columns[i].Alignment, i == 3 ? TColumnAlignment::Right : TColumnAlignment::Left);
    }
}

TEST(ColumnSpec, AlignmentWordsAreComparedWithCase)
{
    EXPECT_EQ(Parse("A.0:10?right")[0].Alignment, TColumnAlignment::Right);
    EXPECT_EQ(Parse("A.0:10?Center")[0].Alignment, TColumnAlignment::Center);
    EXPECT_EQ(Parse("A.0:10?Right")[0].Alignment, TColumnAlignment::Left);
    EXPECT_EQ(Parse("A.0:10?center")[0].Alignment, TColumnAlignment::Left);
    EXPECT_EQ(Parse("A.0:10?left")[0].Alignment, TColumnAlignment::Left);
    // The alignment of one entry does not carry over to the next.
    auto columns = Parse("A.0:10?right&B.1:20");
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[1].Alignment, TColumnAlignment::Left);
    EXPECT_EQ(columns[1].Width, 20);
}

TEST(ColumnSpec, ShortAndEmptySpecs)
{
    auto one = Parse("Titel.0:150");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].Caption, "Titel");

    auto empty = Parse("");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].Caption, "");
    EXPECT_EQ(empty[0].Width, 50);
    EXPECT_EQ(empty[0].Position, -1);

    auto noColon = Parse("Titel.150");
    ASSERT_EQ(noColon.size(), 1u);
    EXPECT_EQ(noColon[0].Caption, "Titel");
    EXPECT_EQ(noColon[0].Position, -1);
    EXPECT_EQ(noColon[0].Width, 150);

    auto noDot = Parse("2:80");
    ASSERT_EQ(noDot.size(), 1u);
    EXPECT_EQ(noDot[0].Caption, "");
    EXPECT_EQ(noDot[0].Position, 2);
    EXPECT_EQ(noDot[0].Width, 80);

    auto badPosition = Parse("A.x:80");
    EXPECT_EQ(badPosition[0].Position, -1);
    EXPECT_EQ(badPosition[0].Width, 80);

    auto badWidthBeforeWord = Parse("A.0:wide?right");
    EXPECT_EQ(badWidthBeforeWord[0].Width, 50);
    EXPECT_EQ(badWidthBeforeWord[0].Alignment, TColumnAlignment::Right);
}

TEST(ColumnSpec, ABadWidthCountsAsFiftyAtTheEndAndStopsBeforeAnAmpersand)
{
    auto atEnd = Parse("A.0:10&B.1:wide");
    ASSERT_EQ(atEnd.size(), 2u);
    EXPECT_EQ(atEnd[1].Width, 50);

    std::string error;
    auto stopped = Parse("A.0:10&B.1:wide&C.2:30", &error);
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0].Caption, "A");
    EXPECT_NE(error.find("'wide'"), std::string::npos);

    // An entry without any width is a bad width as well.
    auto missing = Parse("A.0:&B.1:20", &error);
    EXPECT_TRUE(missing.empty());
    EXPECT_FALSE(error.empty());

    // A trailing "&" opens one more, empty entry.
    auto trailing = Parse("A.0:10&");
    ASSERT_EQ(trailing.size(), 2u);
    EXPECT_EQ(trailing[1].Caption, "");
    EXPECT_EQ(trailing[1].Width, 50);

    EXPECT_EQ(Parse("A.0:+12")[0].Width, 12);
    EXPECT_EQ(Parse("A.0:12px")[0].Width, 50);
    EXPECT_EQ(Parse("A.0: 12")[0].Width, 50);
}

TEST(OpenDialogFilter, PairsBecomeNameFiltersWithBlankSeparatedPatterns)
{
    QStringList filters = FilterToNameFilters("Alle unterstützten Dateien (*.wav; *.mp3)|*.wav; *.mp3"
                                              "|Alle Dateien (*.*)|*.*|FLAC ()||Nackt|*.xyz");
    ASSERT_EQ(filters.size(), 4);
    EXPECT_EQ(filters[0], QString::fromUtf8("Alle unterstützten Dateien (*.wav *.mp3)"));
    EXPECT_EQ(filters[1], QStringLiteral("Alle Dateien (*.*)"));
    EXPECT_EQ(filters[2], QStringLiteral("FLAC ()"));
    EXPECT_EQ(filters[3], QStringLiteral("Nackt (*.xyz)"));
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    }
    void ResizeTo(int width, int height = 545)
    {
        Form.resize(width, height);
        QCoreApplication::processEvents();
    }
    // Moves the dragged splitter so that the pointer is at x in window
    // coordinates, as the pointer events would report it.
    void DragTo(int x) { Form.SplitterMouseMove(x - Form.Splitter->x()); }
    int ListWidth() const { return Form.ListView->width(); }

    TForm1 Form;
};

TEST_F(MainWindow, PanelsStandInTheirPlacesAtTheInitialSize)
{
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("Klangdeck"));
    EXPECT_EQ(Form.size(), QSize(796, 545));
    EXPECT_EQ(Form.minimumSize(), QSize(342, 223));
    const int w = Form.ClientWidth(), h = Form.ClientArea->height();
    EXPECT_EQ(w, 796);
    EXPECT_EQ(Form.TopPnl->geometry(), QRect(0, 0, w, 5));
    EXPECT_EQ(Form.PlayPnl->geometry(), QRect(0, h - 50, w, 50));
    EXPECT_EQ(Form.LeftPnl->geometry(), QRect(0, 5, 8, h - 55));
    EXPECT_EQ(Form.TreeView->geometry(), QRect(8, 5, 225, h - 55));
    EXPECT_EQ(Form.Splitter->geometry(), QRect(233, 5, 8, h - 55));
    EXPECT_EQ(Form.RightPnl->geometry(), QRect(w - 8, 5, 8, h - 55));
    EXPECT_EQ(Form.ListView->geometry(), QRect(241, 5, w - 249, h - 55));
    EXPECT_EQ(Form.Splitter->cursor().shape(), Qt::SizeHorCursor);
}

TEST_F(MainWindow, PlayPanelControlsKeepTheirAnchorsOnResize)
{
    // The panel is 8 pixels wider than its design here; right-anchored
    // controls sit 8 pixels further right, stretching ones are 8 wider.
    const int d = Form.PlayPnl->width() - 788;
    EXPECT_EQ(Form.PlayBtn->geometry(), QRect(8, 5, 41, 41));
    EXPECT_EQ(Form.PauseBtn->geometry(), QRect(8, 5, 41, 41));
    EXPECT_TRUE(Form.PauseBtn->isHidden());
    EXPECT_EQ(Form.StopBtn->geometry(), QRect(50, 21, 25, 25));
    EXPECT_EQ(Form.BackBtn->geometry(), QRect(82, 13, 33, 33));
    EXPECT_EQ(Form.NextBtn->geometry(), QRect(115, 13, 33, 33));
    EXPECT_EQ(Form.TitleLbl->geometry(), QRect(168, 5, 553 + d, 13));
    EXPECT_EQ(Form.TimeLbl->geometry(), QRect(726 + d, 5, 35, 13));
    EXPECT_TRUE(Form.TimeLbl->alignment() & Qt::AlignRight);
    EXPECT_EQ(Form.PlayModeBox->geometry(), QRect(765 + d, 5, 16, 16));
    EXPECT_EQ(Form.TrackBar->geometry(), QRect(168, 24, 615 + d, 17));
    EXPECT_EQ(Form.TrackButton->geometry().size(), QSize(13, 13));
    EXPECT_FALSE(Form.TrackButton->isEnabled());

    ResizeTo(500);
    const int e = Form.PlayPnl->width() - 788;
    EXPECT_EQ(Form.TimeLbl->geometry(), QRect(726 + e, 5, 35, 13));
    EXPECT_EQ(Form.PlayModeBox->geometry(), QRect(765 + e, 5, 16, 16));
    EXPECT_EQ(Form.TrackBar->geometry(), QRect(168, 24, 615 + e, 17));
    EXPECT_EQ(Form.PlayBtn->geometry(), QRect(8, 5, 41, 41));

    int visible = 0;
    for (TModeButton *b : {Form.PlayModeDefaultBtn, Form.PlayModeTrackBtn, Form.PlayModeRepeatBtn,
                           Form.PlayModeRepeatAllBtn, Form.PlayModeRandomBtn}) {
        EXPECT_EQ(b->geometry(), QRect(0, 0, 16, 16));
        visible += b->isVisibleTo(Form.PlayModeBox);
    }
    EXPECT_EQ(visible, 1);
    EXPECT_TRUE(Form.PlayModeDefaultBtn->isVisibleTo(Form.PlayModeBox));
    EXPECT_EQ(Form.PlayModeDefaultBtn->Tag, 1);
    EXPECT_EQ(Form.PlayModeRandomBtn->Tag, 0);
    EXPECT_EQ(Form.PlayModeRepeatAllBtn->toolTip(), QStringLiteral("Alle wiederholen"));
}

TEST_F(MainWindow, MenusHaveEveryItemWithCaptionShortcutAndImage)
{
    QList<QAction *> menus = Form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("Datei"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Wiedergabemodus"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("Hilfe"));

    struct Item {
        const char *Caption;
        QKeySequence Shortcut;
        bool Image;
    };
    const QKeySequence ctrlEnter(Qt::CTRL | Qt::Key_Return);
    const std::vector<Item> file = {{"&Öffnen...", QKeySequence(Qt::CTRL | Qt::Key_O), true},
                                    {"", {}, false},
                                    {"&Wiedergeben", ctrlEnter, true},
                                    {"&Pause", ctrlEnter, true},
                                    {"&Stop", QKeySequence(Qt::CTRL | Qt::Key_S), true},
                                    {"", {}, false},
                                    {"&Zurück", QKeySequence(Qt::ALT | Qt::Key_Left), true},
                                    {"W&eiter", QKeySequence(Qt::ALT | Qt::Key_Right), true},
                                    {"", {}, false},
                                    {"&Beenden", QKeySequence(Qt::ALT | Qt::Key_F4), false}};
    QList<QAction *> items = Form.FileMenu->actions();
    ASSERT_EQ(items.size(), int(file.size()));
    for (size_t i = 0; i < file.size(); ++i) {
        EXPECT_EQ(items[i]->isSeparator(), !*file[i].Caption) << i;
        EXPECT_EQ(items[i]->text(), QString::fromUtf8(file[i].Caption)) << i;
        EXPECT_EQ(items[i]->shortcut(), file[i].Shortcut) << i;
        EXPECT_EQ(!items[i]->icon().isNull(), file[i].Image) << i;
    }

    const std::vector<Item> modes = {{"&Wiedergeben", QKeySequence(Qt::Key_F9), true},
                                     {"Diesen Track wiedergeben", {}, true},
                                     {"&Track wiederholen", QKeySequence(Qt::Key_F10), true},
                                     {"&Alle wiederholen", QKeySequence(Qt::Key_F11), true},
                                     {"&Zufällige Wiedergabe", QKeySequence(Qt::Key_F12), true}};
    items = Form.PlaymodeMenu->actions();
    ASSERT_EQ(items.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(items[i]->text(), QString::fromUtf8(modes[i].Caption)) << i;
        EXPECT_EQ(items[i]->shortcut(), modes[i].Shortcut) << i;
        EXPECT_EQ(items[i]->data().toInt(), i);
        EXPECT_TRUE(items[i]->isCheckable());
        EXPECT_EQ(items[i]->actionGroup(), Form.PlayModeGroup);
        EXPECT_EQ(items[i]->isChecked(), i == 0);
    }
    EXPECT_TRUE(Form.PlayModeGroup->isExclusive());
    Form.PlayModeRandomItem->setChecked(true);
    EXPECT_FALSE(Form.PlayModeDefaultItem->isChecked());

    items = Form.HelpMenu->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), QStringLiteral("&Info"));
    EXPECT_TRUE(items[0]->shortcut().isEmpty());
}

TEST_F(MainWindow, ApplyColumnSpecBuildsTheHeaderOnceForTheSameSpec)
{
    Form.ApplyColumnSpec(DefaultSpec);
    TVirtualTree *list = Form.ListView;
    ASSERT_EQ(list->ColumnCount(), 5);
    EXPECT_EQ(list->ColumnCaption(3), QString::fromUtf8("Länge"));
    EXPECT_TRUE(list->ColumnAlignment(3) & Qt::AlignRight);
    EXPECT_TRUE(list->ColumnAlignment(0) & Qt::AlignLeft);
    EXPECT_EQ(list->header()->sectionSize(4), 250);
    EXPECT_EQ(Form.ColumnSpec, DefaultSpec);

    // The user's widths and order survive a second application.
    list->header()->resizeSection(0, 222);
    list->header()->moveSection(4, 0);
    Form.ApplyColumnSpec(DefaultSpec);
    EXPECT_EQ(list->header()->sectionSize(0), 222);
    EXPECT_EQ(list->header()->visualIndex(4), 0);

    // Display positions place the columns; the column numbers stay.
    Form.ApplyColumnSpec("A.2:10&B.0:20&C.1:30");
    ASSERT_EQ(list->ColumnCount(), 3);
    EXPECT_EQ(list->ColumnCaption(0), QStringLiteral("A"));
    EXPECT_EQ(list->header()->visualIndex(1), 0);
    EXPECT_EQ(list->header()->visualIndex(2), 1);
    EXPECT_EQ(list->header()->visualIndex(0), 2);
    EXPECT_EQ(list->header()->sectionSize(2), 30);
}

TEST_F(MainWindow, ABadWidthBeforeAnAmpersandKeepsTheColumnsMadeSoFar)
{
    EXPECT_THROW(Form.ApplyColumnSpec("A.0:10&B.1:x&C.2:30"), EConvertError);
    EXPECT_EQ(Form.ListView->ColumnCount(), 1);
    EXPECT_EQ(Form.ColumnSpec, "A.0:10&B.1:x&C.2:30");
    EXPECT_FALSE(Form.ListView->IsUpdating());
}

TEST_F(MainWindow, ShowingAppliesTheFileColumnSpec)
{
    TForm1 form;
    form.FileColumnSpec = DefaultSpec;
    form.show();
    EXPECT_EQ(form.ListView->ColumnCount(), 5);
    EXPECT_EQ(form.ColumnSpec, DefaultSpec);
}

TEST_F(MainWindow, NarrowWindowsShrinkTheTreeSoTheListKeeps176Pixels)
{
    EXPECT_EQ(Form.TreeView->width(), 225);
    ResizeTo(600);
    EXPECT_EQ(Form.TreeView->width(), 225);
    ResizeTo(400);
    EXPECT_EQ(Form.TreeView->width(), Form.ClientWidth() - 200);
    EXPECT_EQ(ListWidth(), 176);
    ResizeTo(342);
    EXPECT_EQ(Form.ClientWidth(), 342);
    EXPECT_EQ(Form.TreeView->width(), 142);
    EXPECT_EQ(ListWidth(), 176);
    EXPECT_FALSE(Form.TreeView->isHidden());
    // Widening again leaves the tree as it is.
    ResizeTo(796);
    EXPECT_EQ(Form.TreeView->width(), 142);
}

TEST_F(MainWindow, ATreeBelow100PixelsGoesWithItsMarginAndAResizeDoesNotBringItBack)
{
    Form.TreeView->resize(99, Form.TreeView->height());
    Form.CheckWidths();
    EXPECT_TRUE(Form.TreeView->isHidden());
    EXPECT_TRUE(Form.LeftPnl->isHidden());
    EXPECT_EQ(Form.Splitter->x(), 0);
    EXPECT_EQ(ListWidth(), Form.ClientWidth() - 16);
    ResizeTo(700);
    EXPECT_TRUE(Form.TreeView->isHidden());

    Form.TreeView->resize(100, Form.TreeView->height());
    Form.TreeView->show();
    Form.CheckWidths();
    EXPECT_FALSE(Form.TreeView->isHidden());
}

TEST_F(MainWindow, SplitterDragHidesTheTreeBelow100AndHoldsItAtClientWidthLess200)
{
    Form.SplitterMouseDown(Qt::RightButton, 3);
    EXPECT_FALSE(Form.SplitterDragging);

    const int start = Form.Splitter->x() + 3;
    Form.SplitterMouseDown(Qt::LeftButton, 3);
    EXPECT_TRUE(Form.SplitterDragging);
    EXPECT_EQ(Form.SplitterStartWidth, 225);
    DragTo(start + 50);
    EXPECT_EQ(Form.TreeView->width(), 275);
    EXPECT_EQ(Form.Splitter->x(), 8 + 275);
    DragTo(start + 2000);
    EXPECT_EQ(Form.TreeView->width(), Form.ClientWidth() - 200);
    EXPECT_EQ(ListWidth(), 176);
    DragTo(start - 125);
    EXPECT_EQ(Form.TreeView->width(), 100);
    EXPECT_FALSE(Form.TreeView->isHidden());
    DragTo(start - 126);
    EXPECT_TRUE(Form.TreeView->isHidden());
    EXPECT_TRUE(Form.LeftPnl->isHidden());
    EXPECT_EQ(Form.TreeView->width(), 100);
    Form.SplitterMouseUp(Qt::RightButton);
    EXPECT_TRUE(Form.SplitterDragging);
    Form.SplitterMouseUp(Qt::LeftButton);
    EXPECT_FALSE(Form.SplitterDragging);
    DragTo(600);
    EXPECT_TRUE(Form.TreeView->isHidden());

    // From the hidden state the tree returns once the drag covers 100 pixels.
    const int hiddenStart = Form.Splitter->x() + 2;
    Form.SplitterMouseDown(Qt::LeftButton, 2);
    EXPECT_EQ(Form.SplitterStartWidth, 0);
    DragTo(hiddenStart + 99);
    EXPECT_TRUE(Form.TreeView->isHidden());
    DragTo(hiddenStart + 100);
    EXPECT_FALSE(Form.TreeView->isHidden());
    EXPECT_FALSE(Form.LeftPnl->isHidden());
    EXPECT_EQ(Form.TreeView->width(), 100);
    Form.SplitterMouseUp(Qt::LeftButton);
}

TEST_F(MainWindow, PointerEventsOnTheSplitterDragIt)
{
    QTest::mousePress(Form.Splitter, Qt::LeftButton, {}, QPoint(4, 20));
    EXPECT_TRUE(Form.SplitterDragging);
    QMouseEvent move(QEvent::MouseMove, QPointF(4 + 40, 20), Form.Splitter->mapToGlobal(QPointF(44, 20)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form.Splitter, &move);
    EXPECT_EQ(Form.TreeView->width(), 265);
    QTest::mouseRelease(Form.Splitter, Qt::LeftButton, {}, QPoint(4, 20));
    EXPECT_FALSE(Form.SplitterDragging);
}

TEST_F(MainWindow, QuitClosesTheWindow)
{
    Form.QuitItem->trigger();
    EXPECT_FALSE(Form.isVisible());
}

} // namespace

namespace {

// The set-up with the real player, library and engine controller, as the
// start-up runs it, and the window's end with them still alive.
TEST(MainWindowContent, InitContentWiresTheWindowAndItsEndUnwiresIt)
{
    testing_hooks::TestMainThread hooks;
    Player = new TKlangdeck;
    AudioLibrary = new TAudioLibrary;
    BassController = new TBassController;
    auto *form = new TForm1;
    form->InitContent();

    EXPECT_TRUE(Player->OnStateChange && Player->OnTrackChange && Player->OnPlaylistChange &&
                Player->OnTrackEnd);
    ASSERT_NE(form->ViewPlaylist, nullptr);
    EXPECT_TRUE(form->ViewPlaylist->OnChange);
    EXPECT_EQ(form->TimeLbl->text(), QStringLiteral("00:00"));
    EXPECT_EQ(form->TitleLbl->text(), QString());
    EXPECT_EQ(form->FileColumnSpec, DefaultSpec);
    EXPECT_EQ(form->ListView->ColumnCount(), 0);
    const QStringList filters = form->OpenDialog->nameFilters();
    ASSERT_GE(filters.size(), 6);
    EXPECT_TRUE(filters[0].startsWith(QString::fromUtf8("Alle unterstützten Dateien (*.wav *.mp3")));
    EXPECT_EQ(filters[1], QStringLiteral("Alle Dateien (*.*)"));

    form->show();
    ASSERT_EQ(form->ListView->ColumnCount(), 5);
    EXPECT_EQ(form->ListView->ColumnCaption(4), QStringLiteral("Dateiname"));

    delete form;
    EXPECT_FALSE(Player->OnStateChange || Player->OnTrackChange || Player->OnPlaylistChange ||
                 Player->OnTrackEnd);
    FreeStartupObjects();
    EXPECT_TRUE(hooks.Boxes().empty());
}

} // namespace
