#include "ui/Unit1.h"

#include "app/FormInfo.h"
#include "library/AudioLibraryExt.h"
#include "library/FileExt.h"
#include "platform/Clock.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "ui/AlignLayout.h"
#include "ui/Assets.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/TrackBar.h"
#include "ui/VirtualTree.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <climits>

TForm1 *Form1 = nullptr;

namespace {

// A whole decimal number with an optional sign, nothing else.
bool ParseDecimal(const std::string &text, int &value)
{
    const char *first = text.data(), *last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last || (*first == '-' && first + 1 == last))
        return false;
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

// To the nearest whole number, halves to the even neighbour (the default
// rounding mode). Values outside int, and NaN, cannot come from a fraction
// of a track; they give the nearest end instead of undefined behaviour.
int RoundHalfEven(double value)
{
    if (!(value > double(INT_MIN)))
        return value < 0 ? INT_MIN : 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    return int(std::nearbyint(value));
}

} // namespace

std::string ParseColumnSpec(const std::string &spec, std::vector<TColumnDef> &columns)
{
    std::string token;
    TColumnDef column;
    bool alignmentFollows = false;

    // Ends the entry being read; false when its width is not a number and the
    // entry is not the last.
    auto endEntry = [&](bool last) {
        if (alignmentFollows) {
            if (token == "right")
                column.Alignment = TColumnAlignment::Right;
            else if (token == "Center")
                column.Alignment = TColumnAlignment::Center;
        } else if (!ParseDecimal(token, column.Width)) {
            if (!last)
                return false;
            column.Width = 50;
        }
        token.clear();
        columns.push_back(column);
        return true;
    };

    for (char c : spec) {
        switch (c) {
        case '.':
            column.Caption = token;
            token.clear();
            break;
        case ':':
            if (!ParseDecimal(token, column.Position))
                column.Position = -1;
            token.clear();
            break;
        case '?':
            if (!ParseDecimal(token, column.Width))
                column.Width = 50;
            alignmentFollows = true;
            token.clear();
            break;
        case '&':
            if (!endEntry(false))
                return "'" + token + "' ist kein gültiger Integerwert";
            column = TColumnDef();
            alignmentFollows = false;
            break;
        default:
            token += c;
        }
    }
    endEntry(true);
    return {};
}

QStringList FilterToNameFilters(const std::string &filter)
{
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // The dialog reads its patterns from the last bracket of the entry,
        // separated by blanks.
        if (description.endsWith(QLatin1Char(')'))) {
            qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0)
                description = description.left(open).trimmed();
        }
        QStringList patterns;
        for (const QString &pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!pattern.trimmed().isEmpty())
                patterns << pattern.trimmed();
        result << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

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

void TForm1::CreatePlayPanel()
{
    PlayLayout = new TAnchorLayout(QSize(788, 50), PlayPnl);

    auto button = [this](const char *name, QRect rect) {
        auto *b = new TImageButton(name, rect.width(), PlayPnl);
        PlayLayout->AddWidget(b, rect);
        return b;
    };
    PlayBtn = button("play", {8, 5, 41, 41});
    PauseBtn = button("pause", {8, 5, 41, 41});
    PauseBtn->hide();
    StopBtn = button("stop", {50, 21, 25, 25});
    BackBtn = button("back", {82, 13, 33, 33});
    NextBtn = button("next", {115, 13, 33, 33});

    TitleLbl = new QLabel(QStringLiteral("[(Artist - )Title]"), PlayPnl);
    TitleLbl->setFont(SansFont(11));
    PlayLayout->AddWidget(TitleLbl, {168, 5, 553, 13}, akLeft | akTop | akRight);
    TimeLbl = new QLabel(QStringLiteral("[mm:ss]"), PlayPnl);
    TimeLbl->setFont(SansFont(11));
    TimeLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PlayLayout->AddWidget(TimeLbl, {726, 5, 35, 13}, akTop | akRight);

    PlayModeBox = new QWidget(PlayPnl);
    PlayLayout->AddWidget(PlayModeBox, {765, 5, 16, 16}, akTop | akRight);
    struct Mode {
        TModeButton **Button;
        const char *Hint;
    };
    const Mode modes[] = {{&PlayModeDefaultBtn, "Wiedergeben"},
                          {&PlayModeTrackBtn, "Diesen Track wiedergeben"},
                          {&PlayModeRepeatBtn, "Track wiederholen"},
                          {&PlayModeRepeatAllBtn, "Alle wiederholen"},
                          {&PlayModeRandomBtn, "Zufällige Wiedergabe"}};
    for (int mode = 0; mode < kPlayModeCount; ++mode) {
        auto *b = new TModeButton(ModeImage(mode), QString::fromUtf8(modes[mode].Hint), PlayModeBox);
        b->move(0, 0);
        b->Tag = (mode + 1) % kPlayModeCount; // the mode a click selects
        b->setVisible(mode == pmDefault);
        *modes[mode].Button = b;
    }

    TrackBar = new TTrackBar(PlayPnl);
    PlayLayout->AddWidget(TrackBar, {168, 24, 615, 17}, akLeft | akTop | akRight);
    TrackButton = TrackBar->TrackButton();
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
            // The mount point as the mount table lists it, without the
            // trailing "/" of the root (except "/" itself).
            const std::string mountPoint = drive->Root.size() > 1 && drive->Root.back() == '/'
                                               ? drive->Root.substr(0, drive->Root.size() - 1)
                                               : drive->Root;
            node->Caption = drive->Name + " (" + mountPoint + ")";
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

void TForm1::ApplyColumnSpec(const std::string &Spec)
{
    if (Spec == ColumnSpec)
        return;
    ColumnSpec = Spec;

    std::vector<TColumnDef> columns;
    const std::string error = ParseColumnSpec(Spec, columns);

    ListView->BeginHeaderUpdate();
    ListView->ClearColumns();
    for (const TColumnDef &column : columns) {
        const Qt::Alignment alignment = column.Alignment == TColumnAlignment::Right    ? Qt::AlignRight
                                        : column.Alignment == TColumnAlignment::Center ? Qt::AlignHCenter
                                                                                       : Qt::AlignLeft;
        const int index =
            ListView->AddColumn(QString::fromStdString(column.Caption), column.Width, alignment);
        // A position beyond the columns made so far puts the column last.
        if (column.Position >= 0)
            ListView->MoveColumn(index, std::min(column.Position, index));
    }
    ListView->EndHeaderUpdate();

    if (!error.empty())
        throw EConvertError(error);
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

// ---- navigation tree ---------------------------------------------------------

TTreeNodeData *TForm1::AddTreeNode(TVirtualNode *Parent, TVirtualNode **Node)
{
    TVirtualNode *node = TreeView->AddChild(Parent);
    if (Node)
        *Node = node;
    return TreeView->GetNodeData<TTreeNodeData>(node);
}

QString TForm1::TreeViewGetText(TVirtualNode *Node, int Column)
{
    const TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(Node);
    if (!data || Column != -1)
        return {};
    return QString::fromStdString(data->Caption);
}

int TForm1::TreeViewGetImageIndex(TVirtualNode *Node, TVTImageKind Kind, int Column)
{
    const TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(Node);
    if (!data || Column != -1)
        return -1;
    return Kind == TVTImageKind::ikSelected ? data->SelectedIndex : data->ImageIndex;
}

void TForm1::TreeViewChange(TVirtualNode *Node)
{
    const TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(Node);
    // Without ViewPlaylist the window is being destroyed.
    if (!data || !ViewPlaylist)
        return;
    switch (data->Kind) {
    case nkComputer:
        ViewPlaylist->Clear();
        break;
    case nkPlayback:
        ViewPlaylist->Assign(*Player->Playlist);
        break;
    case nkFolder:
        ViewPlaylist->LoadFolder(data->Path);
        break;
    case nkPlaceholder:
        break;
    }
}

void TForm1::TreeViewExpanding(TVirtualNode *Node)
{
    TVirtualNode *child = TreeView->FirstChild(Node);
    while (child) {
        const TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(child);
        if (data && data->Kind == nkPlaceholder) {
            // Filling the placeholder replaces it by the drive's folders; they
            // are filled ahead in turn, so that they show their expand buttons.
            FillNode(child);
            child = TreeView->FirstChild(Node);
            continue;
        }
        FillNode(child);
        child = TreeView->NextSibling(child);
    }
}

void TForm1::TreeViewFreeNode(TVirtualNode *Node)
{
    if (TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(Node)) {
        std::string().swap(data->Path);
        std::string().swap(data->Caption);
    }
}

void TForm1::FillNode(TVirtualNode *Node)
{
    TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(Node);
    if (!data)
        return;
    const bool empty = TreeView->ChildCount(Node) == 0;
    // A floppy drive gets a placeholder instead of being read: the drive is
    // touched only when the user expands it.
    if (data->Kind == nkFolder && empty && DriveRoots.count(data->Path) &&
        GetDriveKind(data->Path) == dkFloppy) {
        TTreeNodeData *placeholder = AddTreeNode(Node);
        placeholder->Kind = nkPlaceholder;
        placeholder->ImageIndex = -1;
        placeholder->SelectedIndex = -1;
        return;
    }
    if (data->Kind != nkPlaceholder && !(data->Kind == nkFolder && empty))
        return;

    std::string path = data->Path;
    if (data->Kind == nkPlaceholder) {
        Node = TreeView->Parent(Node);
        path = TreeView->GetNodeData<TTreeNodeData>(Node)->Path;
    }
    TreeView->DeleteChildren(Node);
    TStringArray folders;
    {
        platform::WaitCursor wait;
        folders = GetFolders(path);
    }
    for (const std::string &name : folders) {
        TTreeNodeData *folder = AddTreeNode(Node);
        folder->Kind = nkFolder;
        folder->Path = path + name + "/";
        folder->Caption = name;
        folder->ImageIndex = 7;
        folder->SelectedIndex = 8;
    }
}

TTreeNodeKind TForm1::FocusedTreeKind(bool &any) const
{
    const TTreeNodeData *data = TreeView->GetNodeData<TTreeNodeData>(TreeView->FocusedNode());
    any = data != nullptr;
    return data ? data->Kind : nkComputer;
}

// ---- track list --------------------------------------------------------------

TListRowData *TForm1::AddListRow(TVirtualNode **Node)
{
    TVirtualNode *node = ListView->AddChild(nullptr);
    if (Node)
        *Node = node;
    return ListView->GetNodeData<TListRowData>(node);
}

void TForm1::ViewPlaylistChange(TPlaylist *)
{
    ListView->BeginUpdate();
    try {
        RowIndex.clear();
        ListView->DeleteChildren(nullptr);
        const int count = ViewPlaylist->Count();
        RowIndex.reserve(size_t(count));
        for (int i = 0; i < count; ++i) {
            TVirtualNode *node = nullptr;
            TListRowData *row = AddListRow(&node);
            row->FileName = ViewPlaylist->Items(i);
            row->Title = platform::NameWithoutFolderAndExt(row->FileName);
            row->Track = nullptr;
            row->Length.clear();
            RowIndex[row->FileName].Rows.push_back(node);
        }
    } catch (...) {
        ListView->EndUpdate();
        throw;
    }
    ListView->EndUpdate();
}

void TForm1::LibraryTrackInfo(TAudioLibrary *, const TAudioInfo *Info)
{
    if (!Info)
        return;
    auto found = RowIndex.find(Info->FileName);
    if (found == RowIndex.end())
        return;
    TRowSlot &slot = found->second;
    if (slot.Filled == slot.Rows.size())
        return;
    TVirtualNode *node = slot.Rows[slot.Filled++];
    TListRowData *row = ListView->GetNodeData<TListRowData>(node);
    row->Track = Info;
    row->Title = Info->Title;
    if (Info->Length >= 0)
        row->Length = platform::FormatMinSec(Info->Length);
    ListView->InvalidateNode(node);
}

QString TForm1::ListViewGetText(TVirtualNode *Node, int Column)
{
    const TListRowData *row = ListView->GetNodeData<TListRowData>(Node);
    if (!row)
        return {};
    switch (Column) {
    case 0:
        return QString::fromStdString(row->Title);
    case 1:
        return row->Track ? QString::fromStdString(row->Track->Artist) : QString();
    case 2:
        return row->Track ? QString::fromStdString(row->Track->Album) : QString();
    case 3:
        return QString::fromStdString(row->Length);
    case 4:
        return QString::fromStdString(row->FileName);
    default:
        return {};
    }
}

void TForm1::ListViewPaintText(TVirtualNode *Node, int, QColor &TextColor)
{
    const TListRowData *row = ListView->GetNodeData<TListRowData>(Node);
    if (!row || Player->FileName.empty() || row->FileName != Player->FileName || Player->State() == psStopped)
        return;
    if (ListView->Selected(Node) && ListView->hasFocus())
        TextColor = QColor(0, 255, 0);
    else
        TextColor = QColor(0, 128, 0);
}

void TForm1::ListViewDblClick()
{
    PlayFocused();
}

bool TForm1::ListViewKeyDown(int Key, Qt::KeyboardModifiers Modifiers)
{
    if (Key != Qt::Key_Return && Key != Qt::Key_Enter)
        return false;
    // Ctrl with Enter is the shortcut of play and pause, which takes the key
    // first; when it reaches the list all the same (the item disabled), it
    // must not start the row again.
    if (!(Modifiers & Qt::ControlModifier))
        PlayFocused();
    return true;
}

void TForm1::ListViewChange(TVirtualNode *)
{
    if (Player->State() == psNone)
        PlayBtn->setEnabled(ListView->FocusedNode() != nullptr);
    PlayItem->setEnabled(PlayBtn->isEnabled());
}

void TForm1::PlayFocused()
{
    TVirtualNode *focused = ListView->FocusedNode();
    if (!focused)
        return;
    bool any = false;
    if (FocusedTreeKind(any) != nkPlayback || !any)
        Player->Playlist->Assign(*ViewPlaylist);
    Player->LoadTrack(ListView->Index(focused));
    Player->Play();
}

void TForm1::PlayerPlaylistChange(TKlangdeck *)
{
    bool any = false;
    if (FocusedTreeKind(any) == nkPlayback && any)
        ViewPlaylist->Assign(*Player->Playlist);
}

QStringList TForm1::RunOpenDialog()
{
    if (OpenDialog->exec() != QDialog::Accepted)
        return {};
    return OpenDialog->selectedFiles();
}

void TForm1::OpenItemClick()
{
    const QStringList files = ChooseFiles();
    if (files.isEmpty())
        return;
    bool any = false;
    const bool playback = FocusedTreeKind(any) == nkPlayback && any;
    if (!playback)
        Player->Playlist->Clear();
    for (const QString &file : files)
        Player->Playlist->Add(file.toStdString());
    if (!playback) {
        Player->LoadTrack(0);
        Player->Play();
    }
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

// Transport: play, pause, stop, back and next, the play modes, the title and
// time labels and the seek bar.
void TForm1::ConnectTransport()
{
    const std::pair<TImageButton *, void (TForm1::*)()> buttons[] = {{PlayBtn, &TForm1::PlayBtnClick},
                                                                     {PauseBtn, &TForm1::PauseBtnClick},
                                                                     {StopBtn, &TForm1::StopBtnClick},
                                                                     {BackBtn, &TForm1::BackBtnClick},
                                                                     {NextBtn, &TForm1::NextBtnClick}};
    for (auto [button, handler] : buttons)
        connect(button, &QAbstractButton::clicked, this, handler);
    const std::pair<QAction *, void (TForm1::*)()> items[] = {{PlayItem, &TForm1::PlayBtnClick},
                                                              {PauseItem, &TForm1::PauseBtnClick},
                                                              {StopItem, &TForm1::StopBtnClick},
                                                              {BackItem, &TForm1::BackBtnClick},
                                                              {NextItem, &TForm1::NextBtnClick}};
    for (auto [item, handler] : items)
        connect(item, &QAction::triggered, this, handler);

    for (TModeButton *button : ModeButtons())
        connect(button, &QAbstractButton::clicked, this, [this, button] { PlayModeClick(button->Tag); });
    for (QAction *item : ModeItems())
        connect(item, &QAction::triggered, this, [this, item] { PlayModeClick(item->data().toInt()); });

    connect(PlayingTimer, &QTimer::timeout, this, &TForm1::PlayingTimerTimer);

    TrackBar->OnMouseDown = [this](Qt::MouseButton button, int x) { TrackBarMouseDown(button, x); };
    TrackBar->OnMouseMove = [this](Qt::MouseButtons, int x) { TrackBarMouseMove(x); };
    TrackBar->OnMouseUp = [this](Qt::MouseButton button, int) { TrackBarMouseUp(button); };
}

void TForm1::PlayBtnClick()
{
    if (Player->State() != psNone)
        Player->Play();
    else
        PlayFocused();
}

void TForm1::PauseBtnClick()
{
    Player->Pause();
}

void TForm1::StopBtnClick()
{
    Player->Stop();
}

void TForm1::BackBtnClick()
{
    switch (PlayMode) {
    case pmRepeatAll:
        Player->Previous(true);
        break;
    case pmRandom:
        Player->PlayRandom();
        break;
    default:
        Player->Previous(false);
    }
}

void TForm1::NextBtnClick()
{
    switch (PlayMode) {
    case pmRepeatAll:
        Player->Next(true);
        break;
    case pmRandom:
        Player->PlayRandom();
        break;
    default:
        Player->Next(false);
    }
}

void TForm1::PlayModeClick(int Tag)
{
    PlayMode = TPlayMode(Tag & 0xFF);
    UpdatePlayMode();
}

std::array<TModeButton *, 5> TForm1::ModeButtons() const
{
    return {PlayModeDefaultBtn, PlayModeTrackBtn, PlayModeRepeatBtn, PlayModeRepeatAllBtn, PlayModeRandomBtn};
}

std::array<QAction *, 5> TForm1::ModeItems() const
{
    return {PlayModeDefaultItem, PlayModeTrackItem, PlayModeRepeatItem, PlayModeRepeatAllItem,
            PlayModeRandomItem};
}

void TForm1::UpdatePlayMode()
{
    for (TModeButton *button : ModeButtons())
        button->hide();
    const int mode = PlayMode < kPlayModeCount ? PlayMode : pmDefault;
    ModeButtons()[mode]->show();
    ModeItems()[mode]->setChecked(true);
}

void TForm1::UpdateControls()
{
    const TPlayerState state = Player->State();
    const int count = Player->Playlist->Count();
    const int index = Player->Playlist->IndexOf(Player->FileName);

    PlayBtn->setEnabled(state != psNone);
    PauseBtn->setEnabled(state == psPlaying);
    StopBtn->setEnabled(state == psPlaying || state == psPaused);
    BackBtn->setEnabled(0 < index && index < count);
    NextBtn->setEnabled(0 <= index && index < count - 1);
    PlayItem->setEnabled(PlayBtn->isEnabled());
    PauseItem->setEnabled(PauseBtn->isEnabled());
    StopItem->setEnabled(StopBtn->isEnabled());
    BackItem->setEnabled(BackBtn->isEnabled());
    NextItem->setEnabled(NextBtn->isEnabled());

    // One shortcut, carried by whichever of the two items is shown, plays
    // while nothing plays and pauses while playing.
    const bool playing = state == psPlaying;
    QAction *shown = playing ? PauseItem : PlayItem;
    QAction *hidden = playing ? PlayItem : PauseItem;
    PlayBtn->setVisible(!playing);
    PauseBtn->setVisible(playing);
    if (!hidden->shortcuts().isEmpty())
        shown->setShortcuts(hidden->shortcuts());
    hidden->setShortcuts({});
    shown->setVisible(true);
    hidden->setVisible(false);

    // The playing row's colour follows the state.
    ListView->viewport()->update();

    // A drag keeps the timer off, so that a state change meanwhile (the next
    // track starting) does not pull the knob from under the pointer.
    if (playing && !TrackDragging)
        PlayingTimer->start();
    else
        PlayingTimer->stop();
}

void TForm1::PlayerStateChange(TKlangdeck *)
{
    UpdateControls();
    emit PlayerStateChanged();
}

void TForm1::PlayerTrackChange(TKlangdeck *)
{
    TitleLbl->setText(Player->FileName.empty() ? QString() : QString::fromStdString(Player->Title));
    emit PlayerTrackChanged();
}

void TForm1::PlayerTrackEnd(TKlangdeck *)
{
    switch (PlayMode) {
    case pmDefault:
        Player->Next(false);
        break;
    case pmTrack:
        break;
    case pmRepeat:
        Player->Play();
        break;
    case pmRepeatAll:
        Player->Next(true);
        break;
    case pmRandom:
        Player->PlayRandom();
        break;
    }
}

void TForm1::PlayingTimerTimer()
{
    UpdatePosition();
}

void TForm1::ShowTime(int Seconds)
{
    // Formatting allocates; at a tick every 10 ms it happens only once a
    // second.
    if (Seconds == ShownSeconds)
        return;
    ShownSeconds = Seconds;
    TimeLbl->setText(QString::fromStdString(platform::FormatMinSec(Seconds)));
    TimeLbl->setAccessibleDescription(TimeLbl->text());
}

void TForm1::UpdatePosition()
{
    const double fraction = Player->Position();
    ShowTime(RoundHalfEven(fraction * Player->Duration));
    TrackPosition = Player->Position();
    TrackBar->SetKnobLeft(RoundHalfEven(KnobTravel() * TrackPosition));
}

int TForm1::KnobTravel() const
{
    return TrackBar->Travel();
}

void TForm1::ShowKnobTime()
{
    const int travel = KnobTravel();
    if (Player->FileName.empty() || travel <= 0)
        return;
    ShowTime(RoundHalfEven(double(TrackBar->KnobLeft()) / travel * Player->Duration));
}

void TForm1::TrackBarMouseDown(Qt::MouseButton Button, int X)
{
    if (Button == Qt::RightButton) {
        TrackDragging = false;
        PlayingTimer->start();
        return;
    }
    if (Button != Qt::LeftButton)
        return;
    TrackDragging = true;
    PlayingTimer->stop();
    const int p = X - TrackButton->width() / 2;
    TrackBar->SetKnobLeft(p < 0 ? 0 : std::min(p, KnobTravel()));
    TrackStartLeft = TrackBar->KnobLeft();
    TrackStartX = X;
    ShowKnobTime();
}

void TForm1::TrackBarMouseMove(int X)
{
    if (!TrackDragging)
        return;
    // The release may have happened where the bar did not see it; the event
    // carries the buttons as they were, the system knows them as they are.
    const Qt::MouseButtons held = MouseButtonsNow ? MouseButtonsNow() : QGuiApplication::mouseButtons();
    if (!(held & Qt::LeftButton)) {
        // Cancelled as by a right press: the knob follows playback again.
        TrackDragging = false;
        PlayingTimer->start();
        return;
    }
    TrackBar->SetKnobLeft(std::clamp(TrackStartLeft + X - TrackStartX, 0, std::max(KnobTravel(), 0)));
    ShowKnobTime();
}

void TForm1::TrackBarMouseUp(Qt::MouseButton Button)
{
    // A drag cancelled by a right press or a lost release seeks nothing.
    if (Button != Qt::LeftButton || !TrackDragging)
        return;
    TrackDragging = false;
    const int travel = KnobTravel();
    SeekTo(travel > 0 ? double(TrackBar->KnobLeft()) / travel : TrackPosition);
}

void TForm1::SeekTo(double Fraction)
{
    TrackPosition = Fraction;
    if (Player->State() != psNone) {
        Player->Seek(TrackPosition);
        emit PlayerSought();
    }
    // Also with nothing open: the next tick brings the knob back to the start.
    PlayingTimer->start();
}
