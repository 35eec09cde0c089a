// The main window: navigation tree, track list and play panel. Main thread.
#pragma once

#include "library/TypesExt.h"
#include "playback/PlaylistExt.h"

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QAction;
class QActionGroup;
class QFileDialog;
class QLabel;
class QMenu;
class QTimer;
class TAlignLayout;
class TAnchorLayout;
class TImageButton;
class TModeButton;
class TTrackBar;
class TTrackButton;
class TVirtualTree;
class TKlangdeck;
class TAudioLibrary;
class TVirtualNode;
enum class TVTImageKind;

// The record of a node of the navigation tree.
struct TTreeNodeData {
    TTreeNodeKind Kind = nkComputer;
    std::string Path; // nkFolder: the drive root or the folder's full path, ending in "/"
    std::string Caption;
    int ImageIndex = -1;
    int SelectedIndex = -1;
};

// The record of a row of the track list. Its texts are made when the row is
// painted, from the record or else from the name: a folder of 100,000 files
// makes 100,000 rows, of which a screenful is ever shown at once. The name is
// ViewPlaylist's own: rows live only from one change of ViewPlaylist to the
// next, which rebuilds them, and go before it does.
struct TListRowData {
    const TAudioInfo *Track = nullptr; // owned by the audio library
    std::string_view FileName;
};

enum class TColumnAlignment { Left, Right, Center };

// One header column as a column spec describes it.
struct TColumnDef {
    std::string Caption;
    int Width = 0;
    int Position = -1; // display position; -1 keeps the natural one
    TColumnAlignment Alignment = TColumnAlignment::Left;
};

// A width that is not a whole number in the middle of a column spec.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a column spec: entries "caption.position:width[?alignment]"
// separated by "&". The columns parsed before a conversion error are kept in
// columns; the error is returned (empty when the whole string was read).
std::string ParseColumnSpec(const std::string &spec, std::vector<TColumnDef> &columns);

// The open-file dialog's name filters from a filter of "|"-separated
// description and pattern pairs ("MPEG (*.mp3; *.mp2)|*.mp3; *.mp2|...").
QStringList FilterToNameFilters(const std::string &filter);

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Called once by the start-up, after the player, the audio library, the
    // engine controller and the info window exist.
    void InitContent();
    void ApplyColumnSpec(const std::string &Spec);
    void CheckWidths();

    // Form events.
    void FormShow();
    void FormResize();
    void FormDestroy();
    void QuitItemClick();
    void InfoItemClick();

    // The splitter drag; x in the splitter's own coordinates.
    void SplitterMouseDown(Qt::MouseButton button, int x);
    void SplitterMouseMove(int x);
    void SplitterMouseUp(Qt::MouseButton button);

    // Receivers of the player's, the library's and ViewPlaylist's notifications.
    void PlayerStateChange(TKlangdeck *Sender);
    void PlayerTrackChange(TKlangdeck *Sender);
    void PlayerPlaylistChange(TKlangdeck *Sender);
    void PlayerTrackEnd(TKlangdeck *Sender);
    void LibraryTrackInfo(TAudioLibrary *Sender, const TAudioInfo *Info);
    void ViewPlaylistChange(TPlaylist *Sender);
    void UpdateControls();

    // Navigation tree.
    QString TreeViewGetText(TVirtualNode *Node, int Column);
    int TreeViewGetImageIndex(TVirtualNode *Node, TVTImageKind Kind, int Column);
    void TreeViewChange(TVirtualNode *Node);
    void TreeViewExpanding(TVirtualNode *Node);
    void TreeViewFreeNode(TVirtualNode *Node);
    // Node, when given, receives the new node.
    TTreeNodeData *AddTreeNode(TVirtualNode *Parent, TVirtualNode **Node = nullptr);
    void FillNode(TVirtualNode *Node);

    // Track list.
    QString ListViewGetText(TVirtualNode *Node, int Column);
    void ListViewPaintText(TVirtualNode *Node, int Column, QColor &TextColor);
    void ListViewDblClick();
    // Key and the modifiers held with it; true when the key was handled here.
    bool ListViewKeyDown(int Key, Qt::KeyboardModifiers Modifiers);
    void ListViewChange(TVirtualNode *Node);
    void OpenItemClick();
    void PlayFocused();
    // Adds the next rows of ViewPlaylist, at most a slice of them; a large
    // folder's rows come in several, with the event loop running between.
    void AddListRows();

    // Transport controls, play modes and position display.
    void PlayBtnClick();
    void PauseBtnClick();
    void StopBtnClick();
    void BackBtnClick();
    void NextBtnClick();
    void PlayModeClick(int Tag);
    void UpdatePlayMode();
    void PlayingTimerTimer();
    void UpdatePosition();
    void ShowKnobTime();
    void TrackBarMouseDown(Qt::MouseButton Button, int X);
    void TrackBarMouseMove(int X);
    void TrackBarMouseUp(Qt::MouseButton Button);
    // Seeks to a fraction of the track as releasing the knob there does; 1 or
    // more ends the track.
    void SeekTo(double Fraction);
    // The knob's travel: the bar's width less the knob's and 4.
    int KnobTravel() const;
    // Connects the transport buttons, their menu items, the play modes, the
    // timer and the seek bar to their handlers.
    void ConnectTransport();
    // The mouse buttons held down at this moment, as the system knows them
    // (QGuiApplication::mouseButtons() while unassigned); tests replace it.
    std::function<Qt::MouseButtons()> MouseButtonsNow;

    // The client area's width (the width of the window without its frame)
    // and the window's outer width.
    int ClientWidth() const;
    int OuterWidth() const;

    // Menus.
    QMenu *FileMenu;
    QAction *OpenItem, *N2, *PlayItem, *PauseItem, *StopItem, *N1, *BackItem, *NextItem, *N7, *QuitItem;
    QMenu *PlaymodeMenu;
    QActionGroup *PlayModeGroup;
    QAction *PlayModeDefaultItem, *PlayModeTrackItem, *PlayModeRepeatItem, *PlayModeRepeatAllItem,
        *PlayModeRandomItem;
    QMenu *HelpMenu;
    QAction *InfoItem;

    // Client area, in the order of its alignment.
    QWidget *ClientArea;
    TAlignLayout *ClientLayout;
    QWidget *TopPnl, *PlayPnl, *LeftPnl;
    TVirtualTree *TreeView;
    QWidget *Splitter, *RightPnl;
    TVirtualTree *ListView;

    // Play panel.
    TAnchorLayout *PlayLayout;
    TImageButton *PlayBtn, *PauseBtn, *StopBtn, *BackBtn, *NextBtn;
    QLabel *TitleLbl, *TimeLbl;
    QWidget *PlayModeBox;
    TModeButton *PlayModeDefaultBtn, *PlayModeTrackBtn, *PlayModeRepeatBtn, *PlayModeRepeatAllBtn,
        *PlayModeRandomBtn;
    TTrackBar *TrackBar;
    TTrackButton *TrackButton;

    QFileDialog *OpenDialog;
    // The open-file step of OpenItemClick: the chosen files, none when the
    // user cancels. Runs OpenDialog unless replaced (tests).
    std::function<QStringList()> ChooseFiles = [this] { return RunOpenDialog(); };
    QTimer *PlayingTimer;

    // Fields.
    std::string ColumnSpec;
    std::string FileColumnSpec;
    bool SplitterDragging = false;
    int SplitterStartX = 0;
    int SplitterStartWidth = 0;
    std::unique_ptr<TPlaylist> ViewPlaylist;
    TPlayMode PlayMode = pmDefault;
    bool TrackDragging = false;
    int TrackStartX = 0;
    int TrackStartLeft = 0;
    double TrackPosition = 0;

signals:
    // Raised once the window has handled the player's notification, for an
    // observer besides the window (the desktop's media controls).
    void PlayerStateChanged();
    void PlayerTrackChanged();
    // The player was sought through SeekTo.
    void PlayerSought();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateMenus();
    void CreateClientArea();
    void CreatePlayPanel();
    QWidget *NewPanel(int width, int height);
    // The names by which screen readers and desktop automation tell the
    // controls apart; nothing visible.
    void NameControls();
    // TimeLbl shows the time only through this, so that it is set only when
    // the seconds it shows change.
    void ShowTime(int Seconds);
    int ShownSeconds = -1;
    // The mode buttons and the mode items, in the order of the modes.
    std::array<TModeButton *, 5> ModeButtons() const;
    std::array<QAction *, 5> ModeItems() const;
    bool Destroyed = false;

    QStringList RunOpenDialog();
    // The kind of the tree's focused node; any is false when none is focused.
    TTreeNodeKind FocusedTreeKind(bool &any) const;
    // The rows of each file name (exact, with case), by list position: a
    // name's rows are chained in list order through NextSameName (-1 ends);
    // the slot of its first row holds Next, the first of them without its
    // record (-1 when all have one), and Last. RowTable finds a name's first
    // row: open addressing over the names' hashes, -1 for a free place, at
    // least twice as many places as rows. Flat arrays rather than a map: a
    // folder of 100,000 names would take 100,000 map nodes.
    struct TRowSlot {
        int Next;
        int Last;
    };
    std::vector<int> RowTable = std::vector<int>(1, -1);
    std::vector<TRowSlot> RowSlots;
    std::vector<TVirtualNode *> RowNodes;
    std::vector<int> NextSameName;
    // The place of RowTable that holds the first row named name, or the free
    // place where it would go.
    int &RowTableEntry(std::string_view name);
    // Runs AddListRows until every row of ViewPlaylist is there.
    QTimer *RowSlices = nullptr;
    // Announcements that found no row left for their name while rows were
    // still to come (a folder being listed, or its rows coming in slices),
    // by name in the order announced: the first rows of that name added
    // later take them, as if they had been there.
    std::unordered_map<std::string_view, std::vector<const TAudioInfo *>> Unplaced;
    // The drive roots read at start-up: the nodes with one of these paths are
    // the drive nodes.
    std::unordered_set<std::string> DriveRoots;
};

extern TForm1 *Form1;
