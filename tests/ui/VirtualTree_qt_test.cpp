#include "ui/VirtualTree.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

// A record that counts its lives, so that tests see every record destroyed once.
struct TRecord {
    static inline int Alive = 0;
    TRecord() { ++Alive; }
    ~TRecord() { --Alive; }
    TRecord(const TRecord &) = delete;
    std::string Name;
};

struct TreeFixture : ::testing::Test {
    void SetUp() override { TRecord::Alive = 0; }

    TVirtualNode *Add(TVirtualTree &tree, TVirtualNode *parent, const std::string &name)
    {
        TVirtualNode *node = tree.AddChild(parent);
        tree.GetNodeData<TRecord>(node)->Name = name;
        return node;
    }
    static std::string NameOf(TVirtualTree &tree, TVirtualNode *node)
    {
        TRecord *record = tree.GetNodeData<TRecord>(node);
        return record ? record->Name : "(null)";
    }
    static std::vector<std::string> Children(TVirtualTree &tree, TVirtualNode *parent)
    {
        std::vector<std::string> names;
        for (TVirtualNode *n = tree.FirstChild(parent); n; n = tree.NextSibling(n))
            names.push_back(NameOf(tree, n));
        return names;
    }
    // A shown control of a fixed size with text from the records.
    void Show(TVirtualTree &tree, QSize size = {300, 200})
    {
        tree.OnGetText = [this, &tree](TVirtualNode *node, int column) {
            ++TextCalls;
            AskedNodes.insert(node);
            AskedColumns.insert(column);
            return QString::fromStdString(NameOf(tree, node));
        };
        tree.resize(size);
        tree.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    }
    void PaintNow(TVirtualTree &tree)
    {
        tree.viewport()->repaint();
        QApplication::processEvents();
    }
    void ForgetAsked()
    {
        TextCalls = 0;
        AskedNodes.clear();
        AskedColumns.clear();
    }
    QPoint RowCentre(TVirtualTree &tree, TVirtualNode *node)
    {
        return tree.visualRect(tree.IndexOf(node)).center();
    }

    int TextCalls = 0;
    std::set<TVirtualNode *> AskedNodes;
    std::set<int> AskedColumns;
};

using VirtualTree = TreeFixture;

TEST_F(VirtualTree, ChildrenKeepTheOrderTheyWereAddedIn)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    TVirtualNode *a = Add(tree, nullptr, "a");
    TVirtualNode *b = Add(tree, nullptr, "b");
    Add(tree, a, "a1");
    TVirtualNode *a2 = Add(tree, a, "a2");
    Add(tree, b, "b1");
    Add(tree, a, "a3");

    EXPECT_EQ(Children(tree, nullptr), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Children(tree, a), (std::vector<std::string>{"a1", "a2", "a3"}));
    EXPECT_EQ(Children(tree, b), (std::vector<std::string>{"b1"}));
    EXPECT_EQ(tree.Parent(a2), a);
    EXPECT_EQ(tree.Parent(a), nullptr);
    EXPECT_EQ(tree.Index(a2), 1);
    EXPECT_EQ(tree.ChildCount(a), 3);
    EXPECT_EQ(tree.ChildCount(nullptr), 2);
    EXPECT_EQ(tree.TotalCount(), 6);
    EXPECT_EQ(TRecord::Alive, 6);
    // The view sees the same structure.
    EXPECT_EQ(tree.model()->rowCount(tree.IndexOf(a)), 3);
    EXPECT_EQ(tree.NodeOf(tree.model()->index(1, 0, tree.IndexOf(a))), a2);
    EXPECT_EQ(tree.model()->parent(tree.IndexOf(a2)), tree.IndexOf(a));
    // Records are typed: asking for another type gives nothing.
    EXPECT_EQ(tree.GetNodeData<int>(a), nullptr);
    EXPECT_EQ(tree.GetNodeData<TRecord>(nullptr), nullptr);

    // Nodes added after a change of the record type get the new type; the
    // old records stay what they were and are destroyed as such.
    tree.SetNodeDataType<std::string>();
    TVirtualNode *text = tree.AddChild(nullptr);
    ASSERT_NE(tree.GetNodeData<std::string>(text), nullptr);
    EXPECT_EQ(tree.GetNodeData<TRecord>(text), nullptr);
    EXPECT_EQ(NameOf(tree, a2), "a2");
    tree.Clear();
    EXPECT_EQ(TRecord::Alive, 0);
}

TEST_F(VirtualTree, DeleteChildrenFreesEveryRecordBelowOnce)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    TVirtualNode *root = Add(tree, nullptr, "root");
    TVirtualNode *keep = Add(tree, nullptr, "keep");
    TVirtualNode *x = Add(tree, root, "x");
    Add(tree, x, "x1");
    Add(tree, x, "x2");
    Add(tree, root, "y");
    Add(tree, keep, "k1");

    std::vector<std::string> freed;
    tree.OnFreeNode = [&](TVirtualNode *node) {
        // The record is still there while the owner is told.
        freed.push_back(NameOf(tree, node));
    };
    tree.DeleteChildren(root);

    std::multiset<std::string> once(freed.begin(), freed.end());
    EXPECT_EQ(once, (std::multiset<std::string>{"x", "x1", "x2", "y"}));
    // Deepest first: a node goes after its children.
    auto position = [&](const std::string &name) { return std::find(freed.begin(), freed.end(), name); };
    EXPECT_LT(position("x1"), position("x"));
    EXPECT_LT(position("x2"), position("x"));
    EXPECT_EQ(TRecord::Alive, 3);
    EXPECT_EQ(tree.TotalCount(), 3);
    EXPECT_EQ(tree.ChildCount(root), 0);
    EXPECT_EQ(tree.model()->rowCount(tree.IndexOf(root)), 0);
    EXPECT_EQ(Children(tree, keep), (std::vector<std::string>{"k1"}));

    // A second call has nothing left to free; Clear frees the rest.
    freed.clear();
    tree.DeleteChildren(root);
    EXPECT_TRUE(freed.empty());
    tree.Clear();
    EXPECT_EQ(freed.size(), 3u);
    EXPECT_EQ(TRecord::Alive, 0);
    EXPECT_EQ(tree.model()->rowCount({}), 0);
}

TEST_F(VirtualTree, DestroyingTheControlDestroysTheRecordsWithoutCallingBack)
{
    int freed = 0;
    {
        TVirtualTree tree(TVTMode::vmList);
        tree.SetNodeDataType<TRecord>();
        for (int i = 0; i < 5; ++i)
            Add(tree, nullptr, "r");
        tree.OnFreeNode = [&](TVirtualNode *) { ++freed; };
        EXPECT_EQ(TRecord::Alive, 5);
    }
    EXPECT_EQ(TRecord::Alive, 0);
    EXPECT_EQ(freed, 0);
}

TEST_F(VirtualTree, UpdateBracketAnnouncesOneResetAndPaintsNothingMeanwhile)
{
    TVirtualTree tree(TVTMode::vmList);
    tree.SetNodeDataType<TRecord>();
    tree.AddColumn("Titel", 100);
    Show(tree);
    for (int i = 0; i < 20; ++i)
        Add(tree, nullptr, "old");
    PaintNow(tree);

    QSignalSpy resets(tree.model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(tree.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removes(tree.model(), &QAbstractItemModel::rowsRemoved);
    ForgetAsked();
    tree.BeginUpdate();
    tree.Clear();
    tree.BeginUpdate();
    for (int i = 0; i < 30; ++i)
        Add(tree, nullptr, "new" + std::to_string(i));
    tree.EndUpdate();
    EXPECT_TRUE(tree.IsUpdating());
    PaintNow(tree);
    EXPECT_EQ(TextCalls, 0);
    EXPECT_EQ(resets.count(), 0);
    tree.EndUpdate();

    EXPECT_FALSE(tree.IsUpdating());
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(inserts.count(), 0);
    EXPECT_EQ(removes.count(), 0);
    EXPECT_EQ(tree.model()->rowCount({}), 30);
    EXPECT_EQ(TRecord::Alive, 30);
    PaintNow(tree);
    EXPECT_TRUE(AskedNodes.count(tree.FirstChild(nullptr)));

    // A bracket without a change of structure resets nothing.
    tree.BeginUpdate();
    tree.EndUpdate();
    EXPECT_EQ(resets.count(), 1);
    // An unbalanced EndUpdate is ignored.
    tree.EndUpdate();
    EXPECT_FALSE(tree.IsUpdating());
}

TEST_F(VirtualTree, TenThousandRowsRebuildInOneResetAndPaintOnlyWhatIsVisible)
{
    TVirtualTree tree(TVTMode::vmList);
    tree.SetNodeDataType<TRecord>();
    for (const char *caption : {"Titel", "Interpret", "Album", "Länge", "Dateiname"})
        tree.AddColumn(caption, 60);
    Show(tree, {400, 300});
    QSignalSpy resets(tree.model(), &QAbstractItemModel::modelReset);

    for (int round = 0; round < 2; ++round) {
        ForgetAsked();
        tree.BeginUpdate();
        tree.Clear();
        for (int i = 0; i < 10000; ++i)
            Add(tree, nullptr, "row" + std::to_string(i));
        tree.EndUpdate();
        EXPECT_EQ(TextCalls, 0) << "a rebuild must not ask for text";
    }
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(TRecord::Alive, 10000);

    PaintNow(tree);
    ForgetAsked();
    tree.viewport()->repaint();
    const int visibleRows = tree.viewport()->height() / tree.NodeHeight() + 2;
    EXPECT_GT(TextCalls, 0);
    EXPECT_LE(int(AskedNodes.size()), visibleRows);
    EXPECT_LE(TextCalls, visibleRows * 5);
    EXPECT_EQ(AskedColumns, (std::set<int>{0, 1, 2, 3, 4}));

    // Announcing a change of one row repaints that row alone.
    TVirtualNode *third = tree.NextSibling(tree.NextSibling(tree.FirstChild(nullptr)));
    ForgetAsked();
    tree.InvalidateNode(third);
    QApplication::processEvents();
    EXPECT_EQ(AskedNodes, (std::set<TVirtualNode *>{third}));
    // A row out of sight costs no paint at all.
    TVirtualNode *last = tree.FirstChild(nullptr);
    for (int i = 0; i < 9999; ++i)
        last = tree.NextSibling(last);
    ForgetAsked();
    tree.InvalidateNode(last);
    QApplication::processEvents();
    EXPECT_EQ(TextCalls, 0);
}

TEST_F(VirtualTree, ExpandAsksTheOwnerBeforeTheChildrenShow)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    TVirtualNode *drive = Add(tree, nullptr, "drive");
    tree.SetHasChildren(drive, true);
    std::vector<std::string> expanding;
    bool expandedDuring = true;
    tree.OnExpanding = [&](TVirtualNode *node) {
        expanding.push_back(NameOf(tree, node));
        expandedDuring = tree.IsExpanded(node);
        if (tree.ChildCount(node) == 0) {
            Add(tree, node, "folder1");
            Add(tree, node, "folder2");
        }
    };
    EXPECT_TRUE(tree.model()->hasChildren(tree.IndexOf(drive)));

    tree.Expand(drive);
    EXPECT_EQ(expanding, (std::vector<std::string>{"drive"}));
    EXPECT_FALSE(expandedDuring);
    EXPECT_TRUE(tree.IsExpanded(drive));
    // The children are laid out right away, below their parent.
    const QModelIndex below = tree.indexBelow(tree.IndexOf(drive));
    EXPECT_EQ(NameOf(tree, tree.NodeOf(below)), "folder1");

    // Expanding an expanded node asks nothing; collapsing and expanding again asks again.
    tree.Expand(drive);
    EXPECT_EQ(expanding.size(), 1u);
    tree.Collapse(drive);
    EXPECT_FALSE(tree.IsExpanded(drive));
    tree.Expand(drive);
    EXPECT_EQ(expanding.size(), 2u);
    EXPECT_EQ(tree.ChildCount(drive), 2);
}

TEST_F(VirtualTree, UserExpansionReplacesAPlaceholderBeforeThePaint)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    TVirtualNode *floppy = Add(tree, nullptr, "floppy");
    Add(tree, floppy, "placeholder");
    int asked = 0;
    tree.OnExpanding = [&](TVirtualNode *node) {
        ++asked;
        if (NameOf(tree, tree.FirstChild(node)) == "placeholder") {
            tree.DeleteChildren(node);
            Add(tree, node, "A");
            Add(tree, node, "B");
        }
    };
    PaintNow(tree);
    tree.setFocus();
    tree.setCurrentIndex(tree.IndexOf(floppy));
    QTest::keyClick(&tree, Qt::Key_Right);

    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(tree.IsExpanded(floppy));
    EXPECT_EQ(Children(tree, floppy), (std::vector<std::string>{"A", "B"}));
    ForgetAsked();
    PaintNow(tree);
    std::set<std::string> painted;
    for (TVirtualNode *node : AskedNodes)
        painted.insert(NameOf(tree, node));
    EXPECT_EQ(painted, (std::set<std::string>{"floppy", "A", "B"}));

    // '*' expands one level only, however deep the owner keeps filling.
    TVirtualNode *loop = Add(tree, nullptr, "loop");
    tree.OnExpanding = [&](TVirtualNode *node) {
        if (++asked > 20)
            return;
        for (TVirtualNode *child = tree.FirstChild(node); child; child = tree.NextSibling(child))
            if (tree.ChildCount(child) == 0)
                Add(tree, child, "again");
    };
    Add(tree, loop, "again");
    tree.SelectNode(loop, true);
    asked = 0;
    QTest::keyClick(&tree, Qt::Key_Asterisk);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(tree.IsExpanded(loop));
    EXPECT_FALSE(tree.IsExpanded(tree.FirstChild(loop)));
}

TEST_F(VirtualTree, FocusedNodeStaysEmptyUntilTheUserFocusesOne)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    TVirtualNode *playback = Add(tree, nullptr, "Wiedergabe");
    TVirtualNode *computer = Add(tree, nullptr, "Arbeitsplatz");
    std::vector<TVirtualNode *> changes;
    tree.OnChange = [&](TVirtualNode *node) { changes.push_back(node); };

    tree.SelectNode(computer);
    EXPECT_EQ(changes, (std::vector<TVirtualNode *>{computer}));
    EXPECT_TRUE(tree.Selected(computer));
    EXPECT_EQ(tree.FocusedNode(), nullptr);
    // Selecting the selected node again is no change.
    tree.SelectNode(computer);
    EXPECT_EQ(changes.size(), 1u);

    // Gaining the keyboard focus does not focus a node by itself.
    tree.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tree));
    tree.clearFocus();
    tree.setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(tree.hasFocus());
    EXPECT_EQ(tree.FocusedNode(), nullptr);

    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, RowCentre(tree, playback));
    QApplication::processEvents();
    EXPECT_EQ(tree.FocusedNode(), playback);
    EXPECT_TRUE(tree.Selected(playback));
    EXPECT_FALSE(tree.Selected(computer));
    EXPECT_EQ(changes, (std::vector<TVirtualNode *>{computer, playback}));

    // Asked to, SelectNode focuses as well.
    tree.SelectNode(computer, true);
    EXPECT_EQ(tree.FocusedNode(), computer);
}

TEST_F(VirtualTree, RightClickSelectsInTheListOnly)
{
    TVirtualTree list(TVTMode::vmList);
    list.SetNodeDataType<TRecord>();
    list.AddColumn("Titel", 100);
    Show(list);
    TVirtualNode *first = Add(list, nullptr, "first");
    TVirtualNode *second = Add(list, nullptr, "second");
    int changes = 0;
    list.OnChange = [&](TVirtualNode *) { ++changes; };

    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, RowCentre(list, second));
    EXPECT_TRUE(list.Selected(second));
    EXPECT_EQ(list.FocusedNode(), second);
    EXPECT_EQ(changes, 1);
    QTest::mouseClick(list.viewport(), Qt::MiddleButton, {}, RowCentre(list, first));
    EXPECT_FALSE(list.Selected(first));

    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    TVirtualNode *node = Add(tree, nullptr, "node");
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, RowCentre(tree, node));
    EXPECT_FALSE(tree.Selected(node));
    EXPECT_EQ(tree.FocusedNode(), nullptr);
}

TEST_F(VirtualTree, ColumnsAreMovableAndResizableButNeverSort)
{
    TVirtualTree list(TVTMode::vmList);
    list.SetNodeDataType<TRecord>();
    Show(list, {600, 200});
    std::vector<TVirtualNode *> rows{Add(list, nullptr, "b"), Add(list, nullptr, "a")};
    EXPECT_EQ(list.ColumnCount(), 0);
    PaintNow(list);
    EXPECT_EQ(AskedColumns, (std::set<int>{-1}));

    list.BeginHeaderUpdate();
    list.ClearColumns();
    list.AddColumn("Titel", 150);
    list.AddColumn("Länge", 100, Qt::AlignRight);
    list.AddColumn("Dateiname", 250);
    list.MoveColumn(2, 0);
    ForgetAsked();
    PaintNow(list);
    EXPECT_EQ(TextCalls, 0) << "no paint inside the header bracket";
    list.EndHeaderUpdate();

    QHeaderView *header = list.header();
    EXPECT_FALSE(header->isHidden());
    EXPECT_EQ(list.ColumnCount(), 3);
    EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal).toString(), "Länge");
    EXPECT_EQ(header->sectionSize(0), 150);
    EXPECT_EQ(header->sectionSize(2), 250);
    EXPECT_EQ(header->visualIndex(2), 0);
    EXPECT_EQ(header->visualIndex(0), 1);
    EXPECT_TRUE(list.ColumnAlignment(1) & Qt::AlignRight);
    EXPECT_TRUE(list.model()->data(list.IndexOf(rows[0], 1), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignRight);
    EXPECT_TRUE(header->sectionsMovable());
    EXPECT_EQ(header->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_FALSE(list.isSortingEnabled());

    // The text callback gets column numbers, not display positions.
    ForgetAsked();
    PaintNow(list);
    EXPECT_EQ(AskedColumns, (std::set<int>{0, 1, 2}));

    // A click on a caption leaves the rows in their order.
    const int x = header->sectionViewportPosition(0) + 10;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(Children(list, nullptr), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(list.NodeOf(list.model()->index(0, 0, {})), rows[0]);

    // Clearing leaves one unnamed column again.
    list.ClearColumns();
    EXPECT_EQ(list.ColumnCount(), 0);
    EXPECT_EQ(list.model()->columnCount({}), 1);
    EXPECT_EQ(list.AddColumn("Titel", 120), 0);
    EXPECT_EQ(header->sectionSize(0), 120);
}

TEST_F(VirtualTree, TypingSearchesTheFirstColumnOfTheList)
{
    TVirtualTree list(TVTMode::vmList);
    list.SetNodeDataType<TRecord>();
    list.AddColumn("Titel", 100);
    list.AddColumn("Dateiname", 100);
    Show(list);
    std::vector<TVirtualNode *> rows;
    for (const char *name : {"Alpha", "Beta", "bravo", "Charlie"})
        rows.push_back(Add(list, nullptr, name));
    // Column 1 would match "c" on every row: only column 0 counts.
    list.OnGetText = [&](TVirtualNode *node, int column) {
        return column == 0 ? QString::fromStdString(NameOf(list, node)) : QStringLiteral("c-file");
    };
    int changes = 0;
    list.OnChange = [&](TVirtualNode *) { ++changes; };
    list.setFocus();

    QTest::keyClicks(&list, "br");
    EXPECT_EQ(list.FocusedNode(), rows[2]);
    EXPECT_TRUE(list.Selected(rows[2]));
    EXPECT_GE(changes, 1);

    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(&list, "c");
    EXPECT_EQ(list.FocusedNode(), rows[3]);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(&list, "bb");
    EXPECT_EQ(list.FocusedNode(), rows[2]) << "the same letter again goes on to the next match";

    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    Add(tree, nullptr, "Arbeitsplatz");
    tree.setFocus();
    QTest::keyClicks(&tree, "a");
    EXPECT_EQ(tree.FocusedNode(), nullptr);
}

TEST_F(VirtualTree, KeysTheOwnerHandlesAreNotActedOn)
{
    TVirtualTree list(TVTMode::vmList);
    list.SetNodeDataType<TRecord>();
    list.AddColumn("Titel", 100);
    Show(list);
    TVirtualNode *first = Add(list, nullptr, "first");
    Add(list, nullptr, "second");
    std::vector<int> keys;
    list.OnKeyDown = [&](int key, Qt::KeyboardModifiers) {
        keys.push_back(key);
        return key == Qt::Key_Return || key == Qt::Key_Down;
    };
    list.SelectNode(first, true);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.FocusedNode(), first);
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_NE(list.FocusedNode(), first);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Down, Qt::Key_End}));

    int doubleClicks = 0;
    list.OnDblClick = [&] { ++doubleClicks; };
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, RowCentre(list, first));
    EXPECT_EQ(doubleClicks, 1);
}

TEST_F(VirtualTree, OwnerColoursTheTextAndPicksTheImages)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    TVirtualNode *plain = Add(tree, nullptr, "plain WWWW");
    TVirtualNode *green = Add(tree, nullptr, "green WWWW");
    QPixmap red(16, 16), blue(16, 16);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    tree.SetImages({QIcon(red), QIcon(blue)});
    std::vector<std::pair<TVirtualNode *, TVTImageKind>> imageCalls;
    tree.OnGetImageIndex = [&](TVirtualNode *node, TVTImageKind kind, int column) {
        EXPECT_EQ(column, -1);
        imageCalls.emplace_back(node, kind);
        return kind == TVTImageKind::ikSelected ? 1 : 0;
    };
    tree.OnPaintText = [&](TVirtualNode *node, int, QColor &color) {
        if (node == green)
            color = QColor(0, 255, 0);
    };
    tree.SelectNode(plain);
    const QImage image = tree.viewport()->grab().toImage();

    auto rowHas = [&](TVirtualNode *node, QRgb colour) {
        const QRect row = tree.visualRect(tree.IndexOf(node)).adjusted(-40, 0, 0, 0) &
                          QRect(QPoint(0, 0), image.size() / image.devicePixelRatio());
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left(); x <= row.right(); ++x)
                if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                    return true;
        return false;
    };
    EXPECT_TRUE(rowHas(green, qRgb(0, 255, 0)));
    EXPECT_FALSE(rowHas(plain, qRgb(0, 255, 0)));
    EXPECT_TRUE(rowHas(plain, qRgb(0, 0, 255))) << "a selected node shows its selected image";
    EXPECT_TRUE(rowHas(green, qRgb(255, 0, 0)));
    EXPECT_NE(
        std::find(imageCalls.begin(), imageCalls.end(), std::make_pair(plain, TVTImageKind::ikSelected)),
        imageCalls.end());
}

TEST_F(VirtualTree, ResetKeepsWhatSurvivesAndReportsWhatIsGone)
{
    TVirtualTree tree(TVTMode::vmTree);
    tree.SetNodeDataType<TRecord>();
    Show(tree);
    TVirtualNode *computer = Add(tree, nullptr, "computer");
    TVirtualNode *drive = Add(tree, computer, "drive");
    TVirtualNode *folder = Add(tree, drive, "folder");
    tree.Expand(computer);
    tree.SelectNode(drive, true);
    std::vector<TVirtualNode *> changes;
    tree.OnChange = [&](TVirtualNode *node) { changes.push_back(node); };
    int expanding = 0;
    tree.OnExpanding = [&](TVirtualNode *) { ++expanding; };

    tree.BeginUpdate();
    Add(tree, folder, "sub");
    tree.EndUpdate();
    EXPECT_TRUE(tree.IsExpanded(computer));
    EXPECT_TRUE(tree.Selected(drive));
    EXPECT_EQ(tree.FocusedNode(), drive);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(expanding, 0) << "restoring an expansion is no new expansion";

    tree.BeginUpdate();
    tree.DeleteChildren(computer);
    tree.EndUpdate();
    EXPECT_EQ(tree.FocusedNode(), nullptr);
    EXPECT_FALSE(tree.selectionModel()->hasSelection());
    EXPECT_EQ(changes, (std::vector<TVirtualNode *>{nullptr}));

    // Inside a bracket the control answers from what it will show.
    changes.clear();
    tree.BeginUpdate();
    TVirtualNode *fresh = Add(tree, computer, "fresh");
    Add(tree, fresh, "inner");
    tree.SelectNode(fresh, true);
    tree.Expand(fresh);
    EXPECT_EQ(tree.FocusedNode(), fresh);
    EXPECT_TRUE(tree.Selected(fresh));
    EXPECT_TRUE(tree.IsExpanded(fresh));
    EXPECT_TRUE(changes.empty()) << "the change is raised when the bracket closes";
    tree.EndUpdate();
    EXPECT_EQ(changes, (std::vector<TVirtualNode *>{fresh}));
    EXPECT_TRUE(tree.Selected(fresh));
    EXPECT_EQ(tree.FocusedNode(), fresh);
    EXPECT_TRUE(tree.IsExpanded(fresh));
    EXPECT_EQ(expanding, 1);
    tree.BeginUpdate();
    tree.DeleteChildren(computer);
    EXPECT_EQ(tree.FocusedNode(), nullptr) << "never a freed node";
    EXPECT_TRUE(tree.SelectedNodes().empty());
    tree.EndUpdate();

    // Outside a bracket the loss of the selection is reported as well.
    TVirtualNode *again = Add(tree, computer, "again");
    tree.SelectNode(again);
    changes.clear();
    tree.DeleteChildren(computer);
    EXPECT_EQ(changes, (std::vector<TVirtualNode *>{nullptr}));
}

// Each OnChange with the node it names and the node focused at that moment;
// events are pumped so that a change raised late is counted as well.
struct TChangeLog {
    explicit TChangeLog(TVirtualTree &tree) : Tree(tree)
    {
        tree.OnChange = [this](TVirtualNode *node) { Calls.emplace_back(node, Tree.FocusedNode()); };
    }
    using TCalls = std::vector<std::pair<TVirtualNode *, TVirtualNode *>>;
    TCalls Take()
    {
        QApplication::processEvents();
        TCalls calls;
        calls.swap(Calls);
        return calls;
    }
    TVirtualTree &Tree;
    TCalls Calls;
};

TEST_F(VirtualTree, OneSelectionOrFocusChangeRaisesOneChangeAndNoChangeRaisesNone)
{
    using TCalls = TChangeLog::TCalls;
    for (TVTMode mode : {TVTMode::vmTree, TVTMode::vmList}) {
        SCOPED_TRACE(mode == TVTMode::vmTree ? "tree" : "list");
        TVirtualTree tree(mode);
        tree.SetNodeDataType<TRecord>();
        if (mode == TVTMode::vmList)
            tree.AddColumn("Titel", 100);
        Show(tree);
        TVirtualNode *a = Add(tree, nullptr, "a");
        TVirtualNode *b = Add(tree, nullptr, "b");
        TVirtualNode *c = Add(tree, nullptr, "c");
        TChangeLog log(tree);
        tree.setFocus();

        // The first key focuses the first node; the owner sees it focused.
        QTest::keyClick(&tree, Qt::Key_Down);
        EXPECT_EQ(log.Take(), (TCalls{{a, a}}));
        QTest::keyClick(&tree, Qt::Key_Down);
        EXPECT_EQ(log.Take(), (TCalls{{b, b}}));
        QTest::keyClick(&tree, Qt::Key_Up);
        EXPECT_EQ(log.Take(), (TCalls{{a, a}}));
        QTest::keyClick(&tree, Qt::Key_Up);
        EXPECT_EQ(log.Take(), TCalls{}) << "already at the top";

        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, RowCentre(tree, c));
        EXPECT_EQ(log.Take(), (TCalls{{c, c}}));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, RowCentre(tree, c));
        EXPECT_EQ(log.Take(), TCalls{});
        tree.SelectNode(c, true);
        EXPECT_EQ(log.Take(), TCalls{});
        tree.SelectNode(b);
        EXPECT_EQ(log.Take(), (TCalls{{b, c}}));

        // A node selected without the focus gains it by a click: one change.
        TVirtualTree fresh(mode);
        fresh.SetNodeDataType<TRecord>();
        Show(fresh);
        Add(fresh, nullptr, "x");
        TVirtualNode *y = Add(fresh, nullptr, "y");
        TChangeLog freshLog(fresh);
        fresh.SelectNode(y);
        EXPECT_EQ(freshLog.Take(), (TCalls{{y, nullptr}}));
        QTest::mouseClick(fresh.viewport(), Qt::LeftButton, {}, RowCentre(fresh, y));
        EXPECT_EQ(freshLog.Take(), (TCalls{{y, y}}));
    }
}

TEST_F(VirtualTree, SelectNodeWithFocusRaisesOneChangeOnAFreshControl)
{
    using TCalls = TChangeLog::TCalls;
    for (TVTMode mode : {TVTMode::vmTree, TVTMode::vmList}) {
        SCOPED_TRACE(mode == TVTMode::vmTree ? "tree" : "list");
        TVirtualTree tree(mode);
        tree.SetNodeDataType<TRecord>();
        Add(tree, nullptr, "a");
        TVirtualNode *b = Add(tree, nullptr, "b");
        TChangeLog log(tree);
        tree.SelectNode(b, true);
        // Raised before SelectNode returns, with the focus already set.
        EXPECT_EQ(log.Calls, (TCalls{{b, b}}));
        EXPECT_EQ(log.Take(), (TCalls{{b, b}}));

        // Focusing the node that is selected already changes the focus alone.
        TVirtualTree other(mode);
        TVirtualNode *only = other.AddChild(nullptr);
        TChangeLog otherLog(other);
        other.SelectNode(only);
        EXPECT_EQ(otherLog.Take(), (TCalls{{only, nullptr}}));
        other.SelectNode(only, true);
        EXPECT_EQ(otherLog.Calls, (TCalls{{only, only}}));
        EXPECT_EQ(otherLog.Take(), (TCalls{{only, only}}));
        // Inside an update bracket it is raised when the bracket closes.
        other.Clear();
        TVirtualNode *again = other.AddChild(nullptr);
        other.SelectNode(again);
        EXPECT_EQ(otherLog.Take(), (TCalls{{nullptr, nullptr}, {again, nullptr}}));
        other.BeginUpdate();
        other.AddChild(nullptr);
        other.SelectNode(again, true);
        other.EndUpdate();
        EXPECT_EQ(otherLog.Take(), (TCalls{{again, again}}));
    }
}

TEST_F(VirtualTree, CtrlClickAddingARowToTheListRaisesOneChange)
{
    using TCalls = TChangeLog::TCalls;
    TVirtualTree list(TVTMode::vmList);
    list.SetNodeDataType<TRecord>();
    list.AddColumn("Titel", 100);
    Show(list);
    TVirtualNode *first = Add(list, nullptr, "first");
    Add(list, nullptr, "second");
    TVirtualNode *third = Add(list, nullptr, "third");
    TChangeLog log(list);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(list, first));
    EXPECT_EQ(log.Take(), (TCalls{{first, first}}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(list, third));
    EXPECT_EQ(log.Take(), (TCalls{{third, third}}));
    EXPECT_EQ(list.SelectedNodes().size(), 2u);
    EXPECT_TRUE(list.Selected(first));
}

} // namespace
