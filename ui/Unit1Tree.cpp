// The main window's navigation tree: "Wiedergabe", "Arbeitsplatz", the drives
// and their folders, read when a node is expanded.
#include "ui/Unit1.h"

#include "library/FileExt.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "playback/PlayerExt.h"
#include "ui/VirtualTree.h"

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
        // The window keeps answering while a large folder is listed. What
        // waits for rows of the list shown now will find none in the next.
        Unplaced.clear();
        ViewPlaylist->LoadFolderInBackground(data->Path);
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
        folder->Path = path + name + platform::PathDelimiter;
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
