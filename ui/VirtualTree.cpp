#include "ui/VirtualTree.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <algorithm>

// The model only translates between the control's nodes and model indexes;
// every text comes from the control's callbacks at the moment it is asked.
class TVirtualTreeModel : public QAbstractItemModel {
public:
    TVirtualTreeModel(TVirtualTree *tree, TVirtualNode *root)
        : QAbstractItemModel(tree), Tree(tree), Root(root)
    {
    }

    TVirtualNode *Node(const QModelIndex &index) const
    {
        return index.isValid() ? static_cast<TVirtualNode *>(index.internalPointer()) : Root;
    }
    QModelIndex Make(const TVirtualNode *node, int column) const
    {
        if (!node || node == Root)
            return {};
        return createIndex(node->Row, column, const_cast<TVirtualNode *>(node));
    }

    QModelIndex index(int row, int column, const QModelIndex &parent) const override
    {
        if (parent.column() > 0 || column < 0 || column >= columnCount())
            return {};
        const TVirtualNode *node = Node(parent);
        if (row < 0 || row >= int(node->Children.size()))
            return {};
        return createIndex(row, column, node->Children[row]);
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        return child.isValid() ? Make(Node(child)->ParentNode, 0) : QModelIndex();
    }
    int rowCount(const QModelIndex &parent) const override
    {
        return parent.column() > 0 ? 0 : int(Node(parent)->Children.size());
    }
    int columnCount(const QModelIndex & = {}) const override { return std::max(1, Tree->ColumnCount()); }
    bool hasChildren(const QModelIndex &parent) const override
    {
        if (parent.column() > 0)
            return false;
        const TVirtualNode *node = Node(parent);
        return !node->Children.empty() || node->HasChildrenFlag;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (Tree->Mode() == TVTMode::vmList)
            flags |= Qt::ItemNeverHasChildren;
        return flags;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        switch (role) {
        case Qt::DisplayRole:
            if (Tree->OnGetText)
                return Tree->OnGetText(Node(index), TextColumn(index.column()));
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Tree->ColumnAlignment(index.column()) | Qt::AlignVCenter);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section >= Tree->ColumnCount())
            return {};
        if (role == Qt::DisplayRole)
            return Tree->ColumnCaption(section);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Tree->ColumnAlignment(section) | Qt::AlignVCenter);
        return {};
    }

    int TextColumn(int column) const { return Tree->ColumnCount() == 0 ? -1 : column; }

    using QAbstractItemModel::beginInsertColumns;
    using QAbstractItemModel::beginInsertRows;
    using QAbstractItemModel::beginRemoveColumns;
    using QAbstractItemModel::beginRemoveRows;
    using QAbstractItemModel::beginResetModel;
    using QAbstractItemModel::endInsertColumns;
    using QAbstractItemModel::endInsertRows;
    using QAbstractItemModel::endRemoveColumns;
    using QAbstractItemModel::endRemoveRows;
    using QAbstractItemModel::endResetModel;

private:
    TVirtualTree *Tree;
    TVirtualNode *Root;
};

// Paints a cell: image, text margin, the owner's text colour, no focus frame.
class TVirtualTreeDelegate : public QStyledItemDelegate {
public:
    explicit TVirtualTreeDelegate(TVirtualTree *tree) : QStyledItemDelegate(tree), Tree(tree) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.state &= ~QStyle::State_HasFocus;
        const bool selected = opt.state & QStyle::State_Selected;
        TVirtualNode *node = Tree->NodeOf(index);
        const int column = Tree->Model->TextColumn(index.column());

        QIcon icon;
        if (Tree->OnGetImageIndex) {
            const int image = Tree->OnGetImageIndex(
                node, selected ? TVTImageKind::ikSelected : TVTImageKind::ikNormal, column);
            if (image >= 0 && image < Tree->ImageList.size())
                icon = Tree->ImageList[image];
        }
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                                : QPalette::Inactive;
        QColor color = opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
        if (Tree->OnPaintText)
            Tree->OnPaintText(node, column, color);

        const QString text = opt.text;
        opt.text.clear();
        opt.icon = QIcon();
        opt.features &= ~QStyleOptionViewItem::HasDecoration;
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        const int margin = Tree->Margin;

        QRect textRect = opt.rect;
        if (!icon.isNull()) {
            const QRect iconRect(opt.rect.left() + 2, opt.rect.top() + (opt.rect.height() - 16) / 2, 16, 16);
            icon.paint(painter, iconRect);
            textRect.setLeft(iconRect.right() + 1);
        }
        if (Tree->Mode() == TVTMode::vmTree) {
            // In the tree only the caption is highlighted, not the whole row.
            const int width = opt.fontMetrics.horizontalAdvance(text) + 2 * margin + 2;
            QStyleOptionViewItem background = opt;
            background.rect =
                QRect(textRect.left(), textRect.top(), std::min(width, textRect.width()), textRect.height());
            style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);
        } else {
            style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
        }
        textRect.adjust(margin + (Tree->Mode() == TVTMode::vmTree ? 1 : 0), 0, -margin, 0);
        painter->save();
        painter->setPen(color);
        painter->setFont(opt.font);
        painter->drawText(textRect, int(opt.displayAlignment) | Qt::TextSingleLine,
                          opt.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // Widths matter only when a column is sized to its contents.
        const QString text = index.data(Qt::DisplayRole).toString();
        int width = option.fontMetrics.horizontalAdvance(text) + 2 * Tree->Margin + 2;
        if (Tree->OnGetImageIndex && Tree->Mode() == TVTMode::vmTree)
            width += 18;
        return QSize(width, Tree->RowHeight);
    }

private:
    TVirtualTree *Tree;
};

namespace {

// In the tree a selected node's caption is highlighted, not the lines and
// buttons to its left.
class TTreeStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ItemView_ShowDecorationSelected)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TVirtualTree::TVirtualTree(TVTMode mode, QWidget *parent)
    : QTreeView(parent), ViewMode(mode), Model(new TVirtualTreeModel(this, &Root)),
      RowHeight(mode == TVTMode::vmTree ? 18 : 15), Margin(mode == TVTMode::vmTree ? 1 : 6)
{
    setModel(Model);
    setItemDelegate(new TVirtualTreeDelegate(this));
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setVerticalScrollMode(ScrollPerPixel);
    setEditTriggers(NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(false);
    setSelectionBehavior(SelectRows);
    header()->setSectionsClickable(false);
    header()->setSortIndicatorShown(false);
    if (mode == TVTMode::vmTree) {
        auto *style = new TTreeStyle;
        style->setParent(this);
        setStyle(style);
        setHeaderHidden(true);
        setRootIsDecorated(true);
        setItemsExpandable(true);
        setExpandsOnDoubleClick(true);
        setIndentation(18);
        setSelectionMode(SingleSelection);
    } else {
        setHeaderHidden(false);
        setRootIsDecorated(false);
        setItemsExpandable(false);
        setExpandsOnDoubleClick(false);
        setIndentation(0);
        setSelectionMode(ExtendedSelection);
        setAllColumnsShowFocus(true);
        header()->setSectionsMovable(true);
        header()->setFirstSectionMovable(true);
        header()->setStretchLastSection(false);
        header()->setSectionResizeMode(QHeaderView::Interactive);
        // A column is as wide as its definition says: the Windows style's
        // minimum (its caption's width) would widen the narrow ones.
        header()->setMinimumSectionSize(0);
    }
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected, const QItemSelection &) { SelectionChanged(selected); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &TVirtualTree::CurrentChanged);
    connect(this, &QTreeView::expanded, this, &TVirtualTree::NodeExpanded);
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex &index) { ExpandedNodes.erase(NodeOf(index)); });
}

TVirtualTree::~TVirtualTree()
{
    // The owner may be half destroyed by now: no callback runs any more.
    OnGetText = nullptr;
    OnGetImageIndex = nullptr;
    OnPaintText = nullptr;
    OnChange = nullptr;
    OnExpanding = nullptr;
    OnFreeNode = nullptr;
    OnDblClick = nullptr;
    OnKeyDown = nullptr;
    setModel(nullptr);
    for (TVirtualNode *child : Root.Children)
        FreeNode(child, false);
    Root.Children.clear();
}

TVirtualNode *TVirtualTree::NodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != Model)
        return nullptr;
    return static_cast<TVirtualNode *>(index.internalPointer());
}

QModelIndex TVirtualTree::IndexOf(const TVirtualNode *node, int column) const
{
    return Model->Make(node, column);
}

// ---- structure -------------------------------------------------------------

TVirtualNode *TVirtualTree::AddChild(TVirtualNode *parent)
{
    return AddChildren(parent, 1);
}

TVirtualNode *TVirtualTree::AddChildren(TVirtualNode *parent, int count)
{
    TVirtualNode *owner = parent ? parent : &Root;
    if (count <= 0)
        return nullptr;
    const int first = int(owner->Children.size());
    // Outside an update bracket the view hears of one appended range, which
    // keeps its scroll position, selection and focus as they are.
    if (UpdateCount > 0)
        StructureChanging();
    else
        Model->beginInsertRows(IndexOf(owner), first, first + count - 1);
    for (int i = 0; i < count; ++i) {
        auto *node = new TVirtualNode;
        node->ParentNode = owner;
        node->Row = first + i;
        if (DataType) {
            node->DataType = DataType;
            node->Data = DataType->Create();
        }
        owner->Children.push_back(node);
    }
    NodeCount += count;
    if (UpdateCount == 0)
        Model->endInsertRows();
    return owner->Children[size_t(first)];
}

void TVirtualTree::DeleteChildren(TVirtualNode *node)
{
    TVirtualNode *owner = node ? node : &Root;
    if (owner->Children.empty())
        return;
    if (UpdateCount > 0) {
        StructureChanging();
        std::vector<TVirtualNode *> children;
        children.swap(owner->Children);
        for (TVirtualNode *child : children)
            FreeNode(child, true);
        return;
    }
    const TVirtualNode *focusBefore = FocusedNode();
    const bool hadSelection = selectionModel()->hasSelection();
    std::vector<TVirtualNode *> children;
    SuppressChange = true;
    Model->beginRemoveRows(IndexOf(owner), 0, int(owner->Children.size()) - 1);
    children.swap(owner->Children);
    Model->endRemoveRows();
    SuppressChange = false;
    // The view lets go of the rows first; the owner's records go afterwards.
    for (TVirtualNode *child : children)
        FreeNode(child, true);
    if ((hadSelection && !selectionModel()->hasSelection()) || (focusBefore && !FocusedNode()))
        RaiseChange();
}

void TVirtualTree::Clear()
{
    BeginUpdate();
    DeleteChildren(nullptr);
    EndUpdate();
}

void TVirtualTree::FreeNode(TVirtualNode *node, bool notify)
{
    for (TVirtualNode *child : node->Children)
        FreeNode(child, notify);
    if (notify && OnFreeNode)
        OnFreeNode(node);
    ExpandedNodes.erase(node);
    if (SavedSelection.erase(node))
        SavedChanged = true;
    if (SavedFocus == node) {
        SavedFocus = nullptr;
        SavedChanged = true;
    }
    if (node->DataType)
        node->DataType->Destroy(node->Data);
    delete node;
    --NodeCount;
}

int TVirtualTree::ChildCount(const TVirtualNode *node) const
{
    return int((node ? node : &Root)->Children.size());
}

TVirtualNode *TVirtualTree::FirstChild(const TVirtualNode *node) const
{
    const TVirtualNode *owner = node ? node : &Root;
    return owner->Children.empty() ? nullptr : owner->Children.front();
}

TVirtualNode *TVirtualTree::NextSibling(const TVirtualNode *node) const
{
    if (!node)
        return nullptr;
    const auto &siblings = node->ParentNode->Children;
    return node->Row + 1 < int(siblings.size()) ? siblings[node->Row + 1] : nullptr;
}

TVirtualNode *TVirtualTree::Parent(const TVirtualNode *node) const
{
    return node && node->ParentNode != &Root ? node->ParentNode : nullptr;
}

int TVirtualTree::Index(const TVirtualNode *node) const
{
    return node ? node->Row : -1;
}

void TVirtualTree::SetHasChildren(TVirtualNode *node, bool hasChildren)
{
    if (!node || node->HasChildrenFlag == hasChildren)
        return;
    node->HasChildrenFlag = hasChildren;
    // The view remembers per row whether it shows an expand button.
    if (node->Children.empty() && UpdateCount == 0)
        scheduleDelayedItemsLayout();
}

bool TVirtualTree::HasChildren(const TVirtualNode *node) const
{
    const TVirtualNode *owner = node ? node : &Root;
    return !owner->Children.empty() || owner->HasChildrenFlag;
}

// ---- update brackets -------------------------------------------------------

void TVirtualTree::BeginUpdate()
{
    if (UpdateCount++ == 0)
        UpdatePainting();
}

void TVirtualTree::EndUpdate()
{
    if (UpdateCount == 0)
        return;
    if (--UpdateCount == 0) {
        if (ResetPending)
            FinishReset();
        UpdatePainting();
    }
}

void TVirtualTree::UpdatePainting()
{
    setUpdatesEnabled(UpdateCount == 0 && HeaderUpdateCount == 0);
}

void TVirtualTree::StructureChanging()
{
    if (ResetPending)
        return;
    SavedFocus = FocusedNode();
    SavedSelection.clear();
    for (TVirtualNode *node : SelectedNodes())
        SavedSelection.insert(node);
    SavedChanged = false;
    ResetPending = true;
    SuppressChange = true;
    Model->beginResetModel();
}

void TVirtualTree::FinishReset()
{
    ResetPending = false;
    Model->endResetModel();
    // A reset forgets what was expanded, selected and focused; the nodes that
    // are still there keep it.
    RestoringExpansion = true;
    const std::vector<const TVirtualNode *> expanded(ExpandedNodes.begin(), ExpandedNodes.end());
    for (const TVirtualNode *node : expanded)
        setExpanded(IndexOf(node), true);
    RestoringExpansion = false;
    QItemSelection selection;
    for (const TVirtualNode *node : SavedSelection)
        selection.select(IndexOf(node, 0), IndexOf(node, Model->columnCount() - 1));
    if (!selection.isEmpty())
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (SavedFocus)
        selectionModel()->setCurrentIndex(IndexOf(SavedFocus), QItemSelectionModel::NoUpdate);
    SavedSelection.clear();
    SavedFocus = nullptr;
    SuppressChange = false;
    if (SavedChanged || FocusUntold())
        RaiseChange();
}

// ---- look ------------------------------------------------------------------

void TVirtualTree::SetNodeHeight(int height)
{
    RowHeight = std::max(1, height);
    scheduleDelayedItemsLayout();
}

void TVirtualTree::SetTextMargin(int margin)
{
    Margin = std::max(0, margin);
    viewport()->update();
}

void TVirtualTree::SetImages(const QList<QIcon> &images)
{
    ImageList = images;
    viewport()->update();
}

void TVirtualTree::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    if (ViewMode == TVTMode::vmList)
        return;
    const TVirtualNode *node = NodeOf(index);
    if (!node)
        return;
    const int indent = indentation();
    const QColor line(0xa0, 0xa8, 0xb2);
    const int oy = verticalOffset(), ox = horizontalOffset();
    // Dotted lines, one dot every other pixel, in a pattern fixed to the content
    // so that the dots of neighbouring rows join up.
    auto vertical = [&](int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            if (((x + ox) + (y + oy)) % 2 == 0)
                painter->fillRect(x, y, 1, 1, line);
    };
    auto horizontal = [&](int x0, int x1, int y) {
        for (int x = x0; x <= x1; ++x)
            if (((x + ox) + (y + oy)) % 2 == 0)
                painter->fillRect(x, y, 1, 1, line);
    };
    const int right = rect.right() + 1;
    const int top = rect.top(), bottom = rect.bottom();
    const int cy = rect.top() + rect.height() / 2;
    const int cx = right - indent + indent / 2;

    const bool firstAtTop = node->ParentNode == &Root && node->Row == 0;
    if (!firstAtTop)
        vertical(cx, top, cy);
    if (NextSibling(node))
        vertical(cx, cy, bottom);
    horizontal(cx, right - 3, cy);
    // Lines of the ancestors that still have siblings below.
    int x = cx - indent;
    for (const TVirtualNode *a = node->ParentNode; a != &Root; a = a->ParentNode, x -= indent)
        if (NextSibling(a))
            vertical(x, top, bottom);

    if (!HasChildren(node))
        return;
    // The shaded expand button.
    const QRect box(cx - 4, cy - 4, 9, 9);
    QLinearGradient shade(box.topLeft(), box.bottomLeft());
    shade.setColorAt(0, Qt::white);
    shade.setColorAt(1, QColor(0xd8, 0xde, 0xe5));
    painter->fillRect(box, shade);
    painter->setPen(QColor(0x8d, 0x97, 0xa3));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    const QColor sign(0x3a, 0x46, 0x54);
    painter->fillRect(cx - 2, cy, 5, 1, sign);
    if (!isExpanded(index))
        painter->fillRect(cx, cy - 2, 1, 5, sign);
}

// ---- focus, selection, expansion ------------------------------------------

TVirtualNode *TVirtualTree::FocusedNode() const
{
    return ResetPending ? SavedFocus : NodeOf(currentIndex());
}

bool TVirtualTree::Selected(const TVirtualNode *node) const
{
    if (ResetPending)
        return SavedSelection.count(const_cast<TVirtualNode *>(node)) > 0;
    return node && selectionModel()->isSelected(IndexOf(node));
}

void TVirtualTree::SelectNode(TVirtualNode *node, bool focus)
{
    if (!node)
        return;
    if (ResetPending) {
        if (SavedSelection.size() != 1 || !SavedSelection.count(node)) {
            SavedSelection = {node};
            SavedChanged = true;
        }
        if (focus)
            SavedFocus = node;
        return;
    }
    const QModelIndex index = IndexOf(node);
    const auto command = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    if (!focus) {
        selectionModel()->select(index, command);
        return;
    }
    selectionModel()->setCurrentIndex(index, command);
    // Focusing the node that was selected already changes no selection; the
    // caller is told before SelectNode returns all the same.
    if (FocusUntold())
        RaiseChange();
}

std::vector<TVirtualNode *> TVirtualTree::SelectedNodes() const
{
    if (ResetPending)
        return {SavedSelection.begin(), SavedSelection.end()};
    std::vector<TVirtualNode *> nodes;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        nodes.push_back(NodeOf(index));
    return nodes;
}

TVirtualNode *TVirtualTree::ChangedNode(const QItemSelection &selected) const
{
    TVirtualNode *focused = FocusedNode();
    if (focused && Selected(focused))
        return focused;
    if (!selected.isEmpty())
        return NodeOf(selected.first().topLeft());
    const QItemSelection all = selectionModel()->selection();
    return all.isEmpty() ? nullptr : NodeOf(all.first().topLeft());
}

void TVirtualTree::SelectionChanged(const QItemSelection &selected)
{
    if (SuppressChange)
        return;
    FocusTold = FocusedNode() != nullptr;
    if (OnChange)
        OnChange(ChangedNode(selected));
}

void TVirtualTree::RaiseChange()
{
    FocusTold = FocusedNode() != nullptr;
    if (OnChange)
        OnChange(ChangedNode({}));
}

void TVirtualTree::CurrentChanged(const QModelIndex &current, const QModelIndex &)
{
    // Gaining or losing the focused node without a change of the selection
    // (Ctrl with the arrow keys) is still a change for the owner. A selection
    // change that follows in the same event raises it instead; one that came
    // first (keys, SelectNode) has told it already.
    if (SuppressChange || current.isValid() == FocusTold)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!ResetPending && FocusUntold())
                RaiseChange();
        },
        Qt::QueuedConnection);
}

void TVirtualTree::Expand(TVirtualNode *node)
{
    if (!node || IsExpanded(node))
        return;
    ExpandingNode = node;
    if (OnExpanding)
        OnExpanding(node);
    if (ResetPending)
        ExpandedNodes.insert(node);
    else
        expand(IndexOf(node));
    ExpandingNode = nullptr;
}

void TVirtualTree::Collapse(TVirtualNode *node)
{
    if (!node)
        return;
    if (ResetPending)
        ExpandedNodes.erase(node);
    else
        collapse(IndexOf(node));
}

bool TVirtualTree::IsExpanded(const TVirtualNode *node) const
{
    if (ResetPending)
        return ExpandedNodes.count(node) > 0;
    return node && isExpanded(IndexOf(node));
}

void TVirtualTree::NodeExpanded(const QModelIndex &index)
{
    TVirtualNode *node = NodeOf(index);
    if (!node)
        return;
    ExpandedNodes.insert(node);
    // Expansions by the user (button, keys, double-click) arrive here; the
    // owner fills the node before the next paint shows its children.
    if (node != ExpandingNode && !RestoringExpansion && OnExpanding)
        OnExpanding(node);
}

void TVirtualTree::InvalidateNode(const TVirtualNode *node)
{
    if (!node || UpdateCount > 0)
        return;
    QRect row;
    if (ViewMode == TVTMode::vmList && node->ParentNode == &Root) {
        // Rows of the flat list have one height, so a row's place is known
        // without asking the view to look for it.
        row = QRect(0, node->Row * RowHeight - verticalOffset(), viewport()->width(), RowHeight);
    } else {
        const QRect cell = visualRect(IndexOf(node));
        row = QRect(0, cell.top(), viewport()->width(), cell.height());
    }
    row &= viewport()->rect();
    if (!row.isEmpty())
        viewport()->update(row);
}

void TVirtualTree::Repaint()
{
    viewport()->update();
}

// ---- header columns --------------------------------------------------------

void TVirtualTree::BeginHeaderUpdate()
{
    if (HeaderUpdateCount++ == 0)
        UpdatePainting();
}

void TVirtualTree::EndHeaderUpdate()
{
    if (HeaderUpdateCount == 0)
        return;
    if (--HeaderUpdateCount == 0)
        UpdatePainting();
}

int TVirtualTree::AddColumn(const QString &caption, int width, Qt::Alignment alignment)
{
    const int column = ColumnCount();
    if (column == 0) {
        // The one column the model always has becomes a real one.
        Columns.push_back({caption, alignment});
        emit Model->headerDataChanged(Qt::Horizontal, 0, 0);
        viewport()->update();
    } else {
        Model->beginInsertColumns({}, column, column);
        Columns.push_back({caption, alignment});
        Model->endInsertColumns();
    }
    header()->resizeSection(column, std::max(0, width));
    return column;
}

void TVirtualTree::MoveColumn(int logical, int visualPosition)
{
    if (logical < 0 || logical >= ColumnCount())
        return;
    visualPosition = std::clamp(visualPosition, 0, ColumnCount() - 1);
    header()->moveSection(header()->visualIndex(logical), visualPosition);
}

void TVirtualTree::ClearColumns()
{
    const int count = ColumnCount();
    if (count == 0)
        return;
    if (count > 1)
        Model->beginRemoveColumns({}, 1, count - 1);
    Columns.clear();
    if (count > 1)
        Model->endRemoveColumns();
    emit Model->headerDataChanged(Qt::Horizontal, 0, 0);
    viewport()->update();
}

QString TVirtualTree::ColumnCaption(int column) const
{
    return column >= 0 && column < ColumnCount() ? Columns[column].Caption : QString();
}

Qt::Alignment TVirtualTree::ColumnAlignment(int column) const
{
    return column >= 0 && column < ColumnCount() ? Columns[column].Alignment : Qt::AlignLeft;
}

// ---- input -----------------------------------------------------------------

void TVirtualTree::focusInEvent(QFocusEvent *event)
{
    // The item view would focus the first row when the control gains the
    // focus; here a node is focused only by the user's choice.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TVirtualTree::keyPressEvent(QKeyEvent *event)
{
    if (OnKeyDown && OnKeyDown(event->key(), event->modifiers())) {
        event->accept();
        return;
    }
    // '*' would expand the whole branch below the node, and every expansion
    // lets the owner read one more level: a folder tree with a link loop would
    // never end. It expands the focused node alone.
    if (event->key() == Qt::Key_Asterisk && ViewMode == TVTMode::vmTree) {
        Expand(FocusedNode());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TVirtualTree::mousePressEvent(QMouseEvent *event)
{
    // The middle button never selects; the right one only in the list.
    if (event->button() == Qt::MiddleButton ||
        (event->button() == Qt::RightButton && ViewMode == TVTMode::vmTree)) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TVirtualTree::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick();
}

void TVirtualTree::keyboardSearch(const QString &search)
{
    if (ViewMode != TVTMode::vmList || search.isEmpty() || !OnGetText || Root.Children.empty())
        return;
    if (!SearchClock.isValid())
        SearchClock.start();
    const qint64 now = SearchClock.elapsed();
    const bool extend = !SearchText.isEmpty() && now - SearchTime <= QApplication::keyboardInputInterval();
    SearchTime = now;
    SearchText = extend ? SearchText + search : search;
    // The same letter typed again goes on to the next row that starts with it.
    const bool repeated = SearchText.size() > 1 && SearchText.count(SearchText[0]) == SearchText.size();
    const QString needle = repeated ? SearchText.left(1) : SearchText;
    const TVirtualNode *focused = FocusedNode();
    const int rows = int(Root.Children.size());
    const int from = focused ? focused->Row + (extend && !repeated ? 0 : 1) : 0;
    const int column = Model->TextColumn(0);
    for (int i = 0; i < rows; ++i) {
        TVirtualNode *node = Root.Children[(from + i) % rows];
        if (OnGetText(node, column).startsWith(needle, Qt::CaseInsensitive)) {
            SelectNode(node, true);
            scrollTo(IndexOf(node));
            return;
        }
    }
}
