// The main window's track list: its columns, its rows as the library fills
// them, playing a row, and the open dialog that adds files to the playback.
#include "ui/Unit1.h"

#include "library/AudioLibraryExt.h"
#include "platform/Names.h"
#include "playback/PlayerExt.h"
#include "ui/ImageButton.h"
#include "ui/VirtualTree.h"

#include <QAction>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>
#include <bit>
#include <charconv>

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

void TForm1::ViewPlaylistChange(TPlaylist *)
{
    RowSlices->stop();
    ListView->BeginUpdate();
    try {
        RowNodes.clear();
        ListView->DeleteChildren(nullptr);
        const size_t count = size_t(ViewPlaylist->Count());
        RowTable.assign(std::bit_ceil(2 * count + 1), -1);
        RowSlots.assign(count, TRowSlot{-1, -1});
        RowNodes.reserve(count);
        NextSameName.assign(count, -1);
        AddListRows();
    } catch (...) {
        ListView->EndUpdate();
        throw;
    }
    ListView->EndUpdate();
}

void TForm1::AddListRows()
{
    // Small enough for the window to answer input between two slices on a
    // slow machine, large enough to fill the visible rows at once.
    constexpr int SliceRows = 4096;
    const int first = int(RowNodes.size());
    const int count = std::min(ViewPlaylist->Count() - first, SliceRows);
    TVirtualNode *node = ListView->AddChildren(nullptr, count);
    for (int i = first; i < first + count; ++i, node = ListView->NextSibling(node)) {
        TListRowData *row = ListView->GetNodeData<TListRowData>(node);
        row->FileName = ViewPlaylist->Items(i);
        RowNodes.push_back(node);
        int &firstOfName = RowTableEntry(row->FileName);
        if (firstOfName < 0) {
            firstOfName = i;
            RowSlots[size_t(i)] = TRowSlot{i, i};
        } else {
            TRowSlot &same = RowSlots[size_t(firstOfName)];
            NextSameName[size_t(same.Last)] = i;
            same.Last = i;
            if (same.Next < 0)
                same.Next = i;
        }
        if (auto early = Unplaced.find(row->FileName); early != Unplaced.end()) {
            row->Track = early->second.front();
            early->second.erase(early->second.begin());
            if (early->second.empty())
                Unplaced.erase(early);
            // The row is filled; the next of its name waits for the next announcement.
            RowSlots[size_t(firstOfName)].Next = -1;
        }
    }
    if (int(RowNodes.size()) < ViewPlaylist->Count()) {
        RowSlices->start();
    } else {
        RowSlices->stop();
        // While the next folder is listed, what waits is for its rows.
        if (!ViewPlaylist->Loading())
            Unplaced.clear();
    }
}

int &TForm1::RowTableEntry(std::string_view name)
{
    const size_t mask = RowTable.size() - 1;
    for (size_t i = std::hash<std::string_view>()(name) & mask;; i = (i + 1) & mask) {
        int &entry = RowTable[i];
        if (entry < 0 || ListView->GetNodeData<TListRowData>(RowNodes[size_t(entry)])->FileName == name)
            return entry;
    }
}

void TForm1::LibraryTrackInfo(TAudioLibrary *, const TAudioInfo *Info)
{
    if (!Info)
        return;
    // The rows of a folder being listed are still to come, and they are what
    // the announcement is for: the listing queued the files after handing
    // over the names, but an announcement may catch up with them.
    if (ViewPlaylist->Loading()) {
        Unplaced[Info->FileName].push_back(Info);
        return;
    }
    const int firstOfName = RowTableEntry(Info->FileName);
    TRowSlot *slot = firstOfName < 0 ? nullptr : &RowSlots[size_t(firstOfName)];
    if (!slot || slot->Next < 0) {
        if (RowSlices->isActive())
            Unplaced[Info->FileName].push_back(Info);
        return;
    }
    TVirtualNode *node = RowNodes[size_t(slot->Next)];
    slot->Next = NextSameName[size_t(slot->Next)];
    ListView->GetNodeData<TListRowData>(node)->Track = Info;
    ListView->InvalidateNode(node);
}

QString TForm1::ListViewGetText(TVirtualNode *Node, int Column)
{
    const TListRowData *row = ListView->GetNodeData<TListRowData>(Node);
    if (!row)
        return {};
    const TAudioInfo *track = row->Track;
    switch (Column) {
    case 0:
        return QString::fromStdString(track ? track->Title
                                            : platform::NameWithoutFolderAndExt(std::string(row->FileName)));
    case 1:
        return track ? QString::fromStdString(track->Artist) : QString();
    case 2:
        return track ? QString::fromStdString(track->Album) : QString();
    case 3:
        return track && track->Length >= 0 ? QString::fromStdString(platform::FormatMinSec(track->Length))
                                           : QString();
    case 4:
        return QString::fromUtf8(row->FileName.data(), qsizetype(row->FileName.size()));
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
