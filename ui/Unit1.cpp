// The main window's frame: menus, panels and their layout, start-up content,
// the splitter and the info window. The tree, the list and the transport
// have files of their own (Unit1Tree, Unit1List, Unit1Transport).
#include "ui/Unit1.h"

#include "library/AudioLibraryExt.h"
#include "library/FileExt.h"
#include "platform/Clock.h"
#include "platform/Hooks.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "ui/AlignLayout.h"
#include "ui/Assets.h"
#include "ui/Fonts.h"
#include "ui/FormInfo.h"
#include "ui/ImageButton.h"
#include "ui/TrackBar.h"
#include "ui/VirtualTree.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

TForm1 *Form1 = nullptr;

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Klangdeck"));
    setFont(SansFont(11));
    resize(796, 545);
    setMinimumSize(342, 223);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    CreateMenus();
    CreateClientArea();
    CreatePlayPanel();
    NameControls();

    OpenDialog = new QFileDialog(this, QStringLiteral("Audiodateien auswählen"));
    // Qt's own dialog, not the desktop's: it speaks German whatever the
    // system's language, and keeps no recent-files list in the user's home.
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog->setFileMode(QFileDialog::ExistingFiles);
    PlayingTimer = new QTimer(this);
    PlayingTimer->setInterval(platform::EffectiveTimerInterval(1));
    RowSlices = new QTimer(this);
    connect(RowSlices, &QTimer::timeout, this, [this] { AddListRows(); });
    ConnectTransport();
}

TForm1::~TForm1()
{
    FormDestroy();
}

void TForm1::CreateMenus()
{
    auto item = [this](QMenu *menu, const char *caption, QKeySequence shortcut, int image) {
        QAction *action = menu->addAction(QString::fromUtf8(caption));
        action->setShortcut(shortcut);
        if (image >= 0)
            action->setIcon(MenuIcon(image));
        return action;
    };
    const QKeySequence none;
    const QKeySequence ctrlEnter(Qt::CTRL | Qt::Key_Return);
    // Ctrl with either Enter key plays and pauses: the main one (Return) and
    // the keypad's (Enter) are one key to the user. The menu shows the first.
    const QList<QKeySequence> ctrlEitherEnter = {ctrlEnter, QKeySequence(Qt::CTRL | Qt::Key_Enter)};

    FileMenu = menuBar()->addMenu(QStringLiteral("Datei"));
    OpenItem = item(FileMenu, "&Öffnen...", QKeySequence(Qt::CTRL | Qt::Key_O), 10);
    connect(OpenItem, &QAction::triggered, this, &TForm1::OpenItemClick);
    N2 = FileMenu->addSeparator();
    PlayItem = item(FileMenu, "&Wiedergeben", ctrlEnter, 0);
    PauseItem = item(FileMenu, "&Pause", ctrlEnter, 1);
    PlayItem->setShortcuts(ctrlEitherEnter);
    PauseItem->setShortcuts(ctrlEitherEnter);
    StopItem = item(FileMenu, "&Stop", QKeySequence(Qt::CTRL | Qt::Key_S), 2);
    N1 = FileMenu->addSeparator();
    BackItem = item(FileMenu, "&Zurück", QKeySequence(Qt::ALT | Qt::Key_Left), 4);
    NextItem = item(FileMenu, "W&eiter", QKeySequence(Qt::ALT | Qt::Key_Right), 3);
    N7 = FileMenu->addSeparator();
    QuitItem = item(FileMenu, "&Beenden", QKeySequence(Qt::ALT | Qt::Key_F4), -1);
    connect(QuitItem, &QAction::triggered, this, &TForm1::QuitItemClick);

    PlaymodeMenu = menuBar()->addMenu(QStringLiteral("Wiedergabemodus"));
    PlayModeGroup = new QActionGroup(this);
    PlayModeGroup->setExclusive(true);
    auto modeItem = [&](const char *caption, QKeySequence shortcut, TPlayMode mode) {
        QAction *action = item(PlaymodeMenu, caption, shortcut, 5 + mode);
        action->setCheckable(true);
        action->setData(int(mode)); // the mode this item selects
        PlayModeGroup->addAction(action);
        return action;
    };
    PlayModeDefaultItem = modeItem("&Wiedergeben", QKeySequence(Qt::Key_F9), pmDefault);
    PlayModeTrackItem = modeItem("Diesen Track wiedergeben", none, pmTrack);
    PlayModeRepeatItem = modeItem("&Track wiederholen", QKeySequence(Qt::Key_F10), pmRepeat);
    PlayModeRepeatAllItem = modeItem("&Alle wiederholen", QKeySequence(Qt::Key_F11), pmRepeatAll);
    PlayModeRandomItem = modeItem("&Zufällige Wiedergabe", QKeySequence(Qt::Key_F12), pmRandom);
    PlayModeDefaultItem->setChecked(true);

    HelpMenu = menuBar()->addMenu(QStringLiteral("Hilfe"));
    InfoItem = item(HelpMenu, "&Info", none, -1);
    connect(InfoItem, &QAction::triggered, this, &TForm1::InfoItemClick);
}

QWidget *TForm1::NewPanel(int width, int height)
{
    auto *panel = new QWidget(ClientArea);
    panel->resize(width, height);
    return panel;
}

void TForm1::CreateClientArea()
{
    ClientArea = new QWidget(this);
    setCentralWidget(ClientArea);
    ClientLayout = new TAlignLayout(ClientArea);

    TopPnl = NewPanel(0, 5);
    PlayPnl = NewPanel(788, 50);
    LeftPnl = NewPanel(8, 0);
    TreeView = new TVirtualTree(TVTMode::vmTree, ClientArea);
    TreeView->resize(225, 0);
    TreeView->SetImages(TreeIcons());
    Splitter = NewPanel(8, 0);
    Splitter->setCursor(Qt::SizeHorCursor);
    Splitter->installEventFilter(this);
    RightPnl = NewPanel(8, 0);
    ListView = new TVirtualTree(TVTMode::vmList, ClientArea);

    ClientLayout->AddWidget(TopPnl, TAlign::Top);
    ClientLayout->AddWidget(PlayPnl, TAlign::Bottom);
    ClientLayout->AddWidget(LeftPnl, TAlign::Left);
    ClientLayout->AddWidget(TreeView, TAlign::Left);
    ClientLayout->AddWidget(Splitter, TAlign::Left);
    ClientLayout->AddWidget(RightPnl, TAlign::Right);
    ClientLayout->AddWidget(ListView, TAlign::Client);
}

void TForm1::NameControls()
{
    // A button is named by its menu item's caption without the "&"; each
    // mode button by its mode, and only the current mode's is shown.
    const std::pair<TImageButton *, QAction *> transport[] = {{PlayBtn, PlayItem},
                                                              {PauseBtn, PauseItem},
                                                              {StopBtn, StopItem},
                                                              {BackBtn, BackItem},
                                                              {NextBtn, NextItem}};
    for (auto [button, item] : transport)
        button->setAccessibleName(item->iconText());
    for (int mode = 0; mode < kPlayModeCount; ++mode) {
        ModeButtons()[mode]->setAccessibleName(ModeItems()[mode]->iconText());
        ModeButtons()[mode]->setAccessibleDescription(PlaymodeMenu->title());
    }
    TreeView->setAccessibleName(QStringLiteral("Navigation"));
    ListView->setAccessibleName(QStringLiteral("Titelliste"));
    TrackBar->setAccessibleName(QStringLiteral("Wiedergabeposition"));
    // The label's name would otherwise be the time it shows; the time goes
    // into its description (ShowTime).
    TimeLbl->setAccessibleName(QStringLiteral("Verstrichene Zeit"));
}

int TForm1::ClientWidth() const
{
    return ClientArea->width();
}

int TForm1::OuterWidth() const
{
    return frameGeometry().width();
}

void TForm1::InitContent()
{
    TreeView->SetNodeDataType<TTreeNodeData>();
    TreeView->SetNodeHeight(18);
    TreeView->OnGetText = [this](TVirtualNode *node, int column) { return TreeViewGetText(node, column); };
    TreeView->OnGetImageIndex = [this](TVirtualNode *node, TVTImageKind kind, int column) {
        return TreeViewGetImageIndex(node, kind, column);
    };
    TreeView->OnChange = [this](TVirtualNode *node) { TreeViewChange(node); };
    TreeView->OnExpanding = [this](TVirtualNode *node) { TreeViewExpanding(node); };
    TreeView->OnFreeNode = [this](TVirtualNode *node) { TreeViewFreeNode(node); };
    ListView->SetNodeDataType<TListRowData>();
    ListView->SetNodeHeight(15);
    ListView->OnGetText = [this](TVirtualNode *node, int column) { return ListViewGetText(node, column); };
    ListView->OnPaintText = [this](TVirtualNode *node, int column, QColor &color) {
        ListViewPaintText(node, column, color);
    };
    ListView->OnDblClick = [this] { ListViewDblClick(); };
    ListView->OnKeyDown = [this](int key, Qt::KeyboardModifiers modifiers) {
        return ListViewKeyDown(key, modifiers);
    };
    ListView->OnChange = [this](TVirtualNode *node) { ListViewChange(node); };

    Player->OnStateChange = [this](TKlangdeck *sender) { PlayerStateChange(sender); };
    Player->OnTrackChange = [this](TKlangdeck *sender) { PlayerTrackChange(sender); };
    Player->OnPlaylistChange = [this](TKlangdeck *sender) { PlayerPlaylistChange(sender); };
    Player->OnTrackEnd = [this](TKlangdeck *sender) { PlayerTrackEnd(sender); };
    AudioLibrary->SetOnInfoReady(
        [this](TAudioLibrary *sender, const TAudioInfo *info) { LibraryTrackInfo(sender, info); });

    ViewPlaylist = std::make_unique<TPlaylist>();
    ViewPlaylist->OnChange = [this](TPlaylist *sender) { ViewPlaylistChange(sender); };

    SplitterDragging = false;
    TrackDragging = false;

    TTreeNodeData *playback = AddTreeNode(nullptr);
    playback->Kind = nkPlayback;
    playback->Caption = "Wiedergabe";
    playback->ImageIndex = 1;
    playback->SelectedIndex = 1;
    TVirtualNode *computerNode = nullptr;
    TTreeNodeData *computer = AddTreeNode(nullptr, &computerNode);
    computer->Kind = nkComputer;
    computer->Caption = "Arbeitsplatz";
    computer->ImageIndex = 0;
    computer->SelectedIndex = 0;
    {
        TDriveArray drives;
        {
            platform::WaitCursor wait;
            drives = GetDrives();
        }
        for (const auto &drive : drives) {
            TTreeNodeData *node = AddTreeNode(computerNode);
            node->Kind = nkFolder;
            node->Path = drive->Root;
            // Windows names a drive by its letter, "Name (C:)"; elsewhere the
            // mount point as the mount table lists it, without the trailing
            // "/" of the root (except "/" itself).
            std::string where;
            if (drive->Letter)
                where = std::string(1, drive->Letter) + ":";
            else if (drive->Root.size() > 1 && drive->Root.back() == '/')
                where = drive->Root.substr(0, drive->Root.size() - 1);
            else
                where = drive->Root;
            node->Caption = drive->Name + " (" + where + ")";
            node->ImageIndex = drive->Kind == dkFloppy      ? 3
                               : drive->Kind == dkRemovable ? 6
                               : drive->Kind == dkCdRom     ? 5
                                                            : 4;
            node->SelectedIndex = node->ImageIndex;
            DriveRoots.insert(drive->Root);
        }
    }
    TreeView->SelectNode(computerNode);
    TreeView->Expand(computerNode);

    ShowTime(0);
    TitleLbl->setText(QString());

    UpdateControls();

    FileColumnSpec = "Titel.0:150&Interpret.1:150&Album.2:100&Länge.3:100?right&Dateiname.4:250";

    OpenDialog->setNameFilters(FilterToNameFilters(BassController->Filter));
    if (!OpenDialog->nameFilters().isEmpty())
        OpenDialog->selectNameFilter(OpenDialog->nameFilters().front());
}

void TForm1::CheckWidths()
{
    ClientLayout->Realign();
    if (ListView->width() < 176) {
        TreeView->resize(ClientWidth() - 200, TreeView->height());
        ClientLayout->Realign();
    }
    if (TreeView->width() < 100) {
        TreeView->hide();
        LeftPnl->hide();
        ClientLayout->Realign();
    }
}

void TForm1::FormShow()
{
    ApplyColumnSpec(FileColumnSpec);
}

void TForm1::FormResize()
{
    CheckWidths();
}

void TForm1::FormDestroy()
{
    if (Destroyed)
        return;
    Destroyed = true;
    // The player and the library outlive the window; nothing of theirs may
    // reach it any more.
    if (Player) {
        Player->OnStateChange = nullptr;
        Player->OnTrackChange = nullptr;
        Player->OnPlaylistChange = nullptr;
        Player->OnTrackEnd = nullptr;
    }
    if (AudioLibrary)
        AudioLibrary->SetOnInfoReady(nullptr);
    RowSlices->stop();
    // The rows view the playlist's names.
    ListView->DeleteChildren(nullptr);
    RowTable.assign(1, -1);
    RowNodes.clear();
    Unplaced.clear();
    ViewPlaylist.reset();
}

void TForm1::QuitItemClick()
{
    close();
}

void TForm1::InfoItemClick()
{
    if (!InfoForm)
        return;
    InfoForm->show();
    InfoForm->raise();
    InfoForm->activateWindow();
}

void TForm1::SplitterMouseDown(Qt::MouseButton button, int x)
{
    if (button != Qt::LeftButton)
        return;
    SplitterStartX = x + Splitter->x();
    SplitterStartWidth = TreeView->isHidden() ? 0 : TreeView->width();
    TreeView->resize(std::min(SplitterStartWidth, OuterWidth() - 200), TreeView->height());
    ClientLayout->Realign();
    SplitterDragging = true;
}

void TForm1::SplitterMouseMove(int x)
{
    if (!SplitterDragging)
        return;
    const int p = x + Splitter->x();
    const int w = SplitterStartWidth + p - SplitterStartX;
    if (w < 100) {
        TreeView->hide();
    } else {
        TreeView->resize(std::min(w, ClientWidth() - 200), TreeView->height());
        TreeView->show();
    }
    LeftPnl->setHidden(TreeView->isHidden());
    CheckWidths();
}

void TForm1::SplitterMouseUp(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        SplitterDragging = false;
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Splitter) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            SplitterMouseDown(mouse->button(), mouse->position().toPoint().x());
            return true;
        }
        case QEvent::MouseMove:
            SplitterMouseMove(static_cast<QMouseEvent *>(event)->position().toPoint().x());
            return true;
        case QEvent::MouseButtonRelease:
            SplitterMouseUp(static_cast<QMouseEvent *>(event)->button());
            return true;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
