// The navigation tree on Windows, over the drives Wine shows: each drive is
// captioned with its name and letter, "Lokaler Datenträger (C:)", its path
// is its root "C:\", and a floppy drive gets its expand button from a
// placeholder, without being read until it is expanded. With
// KLANG_WINE_TEST_DRIVES set (scripts/test-windows) the labelled disk K:,
// the floppy A: and the CD drive R: are there too.
#include "tests/support/QtWindowFixture.h"
#include "ui/Unit1.h"
#include "ui/VirtualTree.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <vector>
#include <windows.h>

namespace {

class WindowsTree : public QtWindowFixture {
protected:
    // The drive under "Arbeitsplatz" captioned caption, or null.
    TVirtualNode *Drive(const std::string &caption) const
    {
        TVirtualTree *tree = Form->TreeView;
        TVirtualNode *n = tree->FirstChild(tree->NextSibling(tree->FirstChild(nullptr)));
        while (n && tree->GetNodeData<TTreeNodeData>(n)->Caption != caption)
            n = tree->NextSibling(n);
        return n;
    }
};

TEST_F(WindowsTree, DrivesShowTheirNameAndLetterAndAFloppyIsNotRead)
{
    TVirtualTree *tree = Form->TreeView;
    TVirtualNode *computer = tree->NextSibling(tree->FirstChild(nullptr));
    std::map<std::string, const TTreeNodeData *> drives;
    std::map<std::string, int> children;
    for (TVirtualNode *n = tree->FirstChild(computer); n; n = tree->NextSibling(n)) {
        const auto *data = tree->GetNodeData<TTreeNodeData>(n);
        drives[data->Caption] = data;
        children[data->Caption] = tree->ChildCount(n);
        EXPECT_EQ(data->Kind, nkFolder);
        EXPECT_EQ(data->Path.size(), 3u) << data->Caption;
        EXPECT_EQ(data->Path.substr(1), ":\\") << data->Caption;
        EXPECT_EQ(data->Caption.substr(data->Caption.size() - 5), " (" + data->Path.substr(0, 2) + ")");
    }
    ASSERT_TRUE(drives.count("Lokaler Datenträger (C:)"));
    EXPECT_EQ(drives["Lokaler Datenträger (C:)"]->Path, "C:\\");
    EXPECT_EQ(drives["Lokaler Datenträger (C:)"]->ImageIndex, 4);
    if (!std::getenv("KLANG_WINE_TEST_DRIVES"))
        return;
    struct Expected {
        std::string Caption;
        int Image;
    } const expected[] = {{"KLANGTEST (K:)", 4}, {"3½-Diskette (A:)", 3}, {"CD (R:)", 5}};
    for (const auto &e : expected) {
        ASSERT_TRUE(drives.count(e.Caption)) << e.Caption;
        EXPECT_EQ(drives[e.Caption]->ImageIndex, e.Image) << e.Caption;
    }
    // The floppy's one child is the placeholder, not a listing of its folder.
    ASSERT_EQ(children["3½-Diskette (A:)"], 1);
    TVirtualNode *floppy = Drive("3½-Diskette (A:)");
    EXPECT_EQ(tree->GetNodeData<TTreeNodeData>(tree->FirstChild(floppy))->Kind, nkPlaceholder);

    // Expanded, the drive is read: its folders replace the placeholder, with
    // Windows' separator after each name.
    std::filesystem::create_directory(u8"A:\\Lieder für Anna");
    tree->Expand(floppy);
    ASSERT_EQ(tree->ChildCount(floppy), 1);
    const auto *folder = tree->GetNodeData<TTreeNodeData>(tree->FirstChild(floppy));
    EXPECT_EQ(folder->Kind, nkFolder);
    EXPECT_EQ(folder->Caption, "Lieder für Anna");
    EXPECT_EQ(folder->Path, "A:\\Lieder für Anna\\");
}

// Expanding a drive reads its folders' sub-folders under Windows' own
// hourglass, and the cursor before it comes back.
TEST_F(WindowsTree, FoldersAreReadUnderTheSystemHourglass)
{
    TVirtualTree *tree = Form->TreeView;
    TVirtualNode *drive = Drive("Lokaler Datenträger (C:)");
    ASSERT_NE(drive, nullptr);
    ASSERT_FALSE(tree->IsExpanded(drive));
    ASSERT_GT(tree->ChildCount(drive), 0);

    const HCURSOR hourglass = LoadCursorW(nullptr, IDC_WAIT);
    // The arrow, as over the window before the click.
    const HCURSOR before = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(before);
    std::vector<HCURSOR> shown;
    WhileWaitCursor([&] { shown.push_back(GetCursor()); });
    tree->Expand(drive);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(std::count(shown.begin(), shown.end(), hourglass), std::ptrdiff_t(shown.size()));
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_EQ(GetCursor(), before);
}

} // namespace
