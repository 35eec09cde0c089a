// The virtual tree and list control of the main window. Main thread only.
//
// A QTreeView over a model of its own. The control holds the structure (nodes
// with their children, in the order added) and one record per node of a type
// that the owner chooses; it keeps no text. Whatever a cell shows is asked of
// the owner's callbacks when the cell is painted: its text, its image (an
// index into the control's image list) and its text colour.
//
// Two looks: tree mode (lines, shaded expand buttons, root decoration, no
// header, single selection) and list mode (flat rows, a visible header with
// movable and resizable columns, whole-row extended selection, right click
// selects, typing searches column 0). Neither mode ever sorts.
//
// Changes to the structure inside an update bracket (BeginUpdate/EndUpdate,
// nested) are announced to the view once, as one reset, when the outermost
// bracket closes; outside a bracket each change is announced on its own.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QString>
#include <QTreeView>
#include <functional>
#include <typeinfo>
#include <unordered_set>
#include <vector>

class TVirtualTreeModel;

// How the records of one type are made and destroyed.
struct TNodeDataType {
    const std::type_info *Type;
    void *(*Create)();
    void (*Destroy)(void *data);

    template <class T> static const TNodeDataType *Of()
    {
        static const TNodeDataType type{&typeid(T), [] { return static_cast<void *>(new T()); },
                                        [](void *data) { delete static_cast<T *>(data); }};
        return &type;
    }
};

// A node of the control. Only the control creates and frees nodes; a pointer
// stays valid until the node is deleted (DeleteChildren of an ancestor, Clear).
class TVirtualNode {
public:
    TVirtualNode(const TVirtualNode &) = delete;
    TVirtualNode &operator=(const TVirtualNode &) = delete;

private:
    friend class TVirtualTree;
    friend class TVirtualTreeModel;
    TVirtualNode() = default;

    TVirtualNode *ParentNode = nullptr;
    std::vector<TVirtualNode *> Children;
    int Row = 0;
    bool HasChildrenFlag = false;
    // Each node knows the type of its own record, so that a change of the
    // record type never destroys a record as another type.
    const TNodeDataType *DataType = nullptr;
    void *Data = nullptr;
};

enum class TVTMode { vmTree, vmList };
enum class TVTImageKind { ikNormal, ikSelected };

class TVirtualTree : public QTreeView {
    Q_OBJECT
public:
    explicit TVirtualTree(TVTMode mode, QWidget *parent = nullptr);
    ~TVirtualTree() override;

    TVTMode Mode() const { return ViewMode; }

    // The record type of every node added from now on: a value-initialised T
    // per node, destroyed with its node.
    template <class T> void SetNodeDataType() { DataType = TNodeDataType::Of<T>(); }
    // The node's record, or null when node is null or its record is no T.
    template <class T> T *GetNodeData(const TVirtualNode *node) const
    {
        if (!node || !node->DataType || *node->DataType->Type != typeid(T))
            return nullptr;
        return static_cast<T *>(node->Data);
    }

    // Structure. A null parent stands for the top level.
    TVirtualNode *AddChild(TVirtualNode *parent);
    // Appends count children at once and returns the first of them (null
    // for none); the others follow it as its siblings.
    TVirtualNode *AddChildren(TVirtualNode *parent, int count);
    // Deletes the children of node (the top-level nodes for null), deepest first;
    // OnFreeNode is raised once for each before its record is destroyed.
    void DeleteChildren(TVirtualNode *node);
    void Clear();
    int ChildCount(const TVirtualNode *node) const;
    int TotalCount() const { return NodeCount; }
    TVirtualNode *FirstChild(const TVirtualNode *node) const;
    TVirtualNode *NextSibling(const TVirtualNode *node) const;
    // Null for a top-level node.
    TVirtualNode *Parent(const TVirtualNode *node) const;
    // Position among its siblings, from 0.
    int Index(const TVirtualNode *node) const;
    // Shows an expand button on a node that has no children yet.
    void SetHasChildren(TVirtualNode *node, bool hasChildren);
    bool HasChildren(const TVirtualNode *node) const;

    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return UpdateCount > 0; }

    // Row height of every node, in pixels (18 in tree mode, 15 in list mode
    // unless set).
    void SetNodeHeight(int height);
    int NodeHeight() const { return RowHeight; }
    // Space between a cell's edge or image and its text (1 tree, 6 list).
    void SetTextMargin(int margin);
    int TextMargin() const { return Margin; }
    void SetImages(const QList<QIcon> &images);
    const QList<QIcon> &Images() const { return ImageList; }

    // Focus and selection. FocusedNode is null until the user focuses a node
    // (or SelectNode is asked to focus it).
    TVirtualNode *FocusedNode() const;
    bool Selected(const TVirtualNode *node) const;
    // Makes node the selection (raising OnChange when that changes it); with
    // focus it also becomes the focused node.
    void SelectNode(TVirtualNode *node, bool focus = false);
    std::vector<TVirtualNode *> SelectedNodes() const;

    // Raises OnExpanding, then expands node. An expansion by the user raises
    // OnExpanding as the view expands, before the children are painted.
    void Expand(TVirtualNode *node);
    void Collapse(TVirtualNode *node);
    bool IsExpanded(const TVirtualNode *node) const;

    // Repaints one node's row (in the list at a cost that does not grow with
    // the number of rows) or the whole control.
    void InvalidateNode(const TVirtualNode *node);
    void Repaint();

    // Header columns (list mode shows them). Inside a header update bracket
    // the control redraws once, when the bracket closes.
    void BeginHeaderUpdate();
    void EndHeaderUpdate();
    int AddColumn(const QString &caption, int width, Qt::Alignment alignment = Qt::AlignLeft);
    void MoveColumn(int logical, int visualPosition);
    void ClearColumns();
    int ColumnCount() const { return int(Columns.size()); }
    QString ColumnCaption(int column) const;
    Qt::Alignment ColumnAlignment(int column) const;

    // Callbacks; each is skipped while unassigned. column is -1 while the
    // control has no header columns.
    std::function<QString(TVirtualNode *node, int column)> OnGetText;
    // An index into Images(); -1 for none.
    std::function<int(TVirtualNode *node, TVTImageKind kind, int column)> OnGetImageIndex;
    // color holds the colour the text would have; the owner may change it.
    std::function<void(TVirtualNode *node, int column, QColor &color)> OnPaintText;
    // The selection changed; node is the node now selected (the focused one
    // when it is selected), or null when nothing is selected any more.
    std::function<void(TVirtualNode *node)> OnChange;
    // node is about to be expanded; expansion is always allowed.
    std::function<void(TVirtualNode *node)> OnExpanding;
    // node goes; its record is destroyed right after. Not raised when the
    // control itself is destroyed (the records' destructors run then).
    std::function<void(TVirtualNode *node)> OnFreeNode;
    std::function<void()> OnDblClick;
    // Returns true when the key was handled and the control must not act on it.
    std::function<bool(int key, Qt::KeyboardModifiers modifiers)> OnKeyDown;

    // For the model and the delegate.
    TVirtualNode *NodeOf(const QModelIndex &index) const;
    QModelIndex IndexOf(const TVirtualNode *node, int column = 0) const;

    void keyboardSearch(const QString &search) override;

protected:
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void FreeNode(TVirtualNode *node, bool notify);
    void StructureChanging();
    void FinishReset();
    void SelectionChanged(const QItemSelection &selected);
    void CurrentChanged(const QModelIndex &current, const QModelIndex &previous);
    void RaiseChange();
    bool FocusUntold() const { return (FocusedNode() != nullptr) != FocusTold; }
    TVirtualNode *ChangedNode(const QItemSelection &selected) const;
    void NodeExpanded(const QModelIndex &index);
    void UpdatePainting();

    struct Column {
        QString Caption;
        Qt::Alignment Alignment;
    };

    TVTMode ViewMode;
    TVirtualTreeModel *Model;
    TVirtualNode Root;
    int NodeCount = 0;
    const TNodeDataType *DataType = nullptr;
    int UpdateCount = 0;
    bool ResetPending = false;
    int HeaderUpdateCount = 0;
    // While the structure changes, the selection model's own signals are not
    // passed on; the change is raised once afterwards.
    bool SuppressChange = false;
    // Whether a node was focused when OnChange was last raised. Qt moves the
    // focus before it reports the selection that moved with it, so a gain or
    // loss of the focus may have been told by the time Qt reports it.
    bool FocusTold = false;
    TVirtualNode *ExpandingNode = nullptr;
    bool RestoringExpansion = false;
    std::unordered_set<const TVirtualNode *> ExpandedNodes;
    // While a reset is pending the view's indexes may point at freed nodes:
    // selection, focus and expansion are kept here, less the nodes freed
    // meanwhile, and handed back to the view when the reset ends.
    std::unordered_set<TVirtualNode *> SavedSelection;
    TVirtualNode *SavedFocus = nullptr;
    bool SavedChanged = false;
    int RowHeight;
    int Margin;
    QList<QIcon> ImageList;
    std::vector<Column> Columns;
    QString SearchText;
    QElapsedTimer SearchClock;
    qint64 SearchTime = 0;

    friend class TVirtualTreeDelegate;
};
