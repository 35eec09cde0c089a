// The Windows side of the system layer, run under Wine: folder attributes,
// the registry's shell folders, the file stream's share mode and open error,
// and names outside any ANSI code page from the folder listing to the engine.
#include "bass.h"
#include "library/AudioLibraryExt.h"
#include "library/FileExt.h"
#include "library/Mp3FileUtils.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "platform/Names.h"
#include "platform/Text.h"
#include "platform/WideText.h"
#include "tests/support/Fixtures.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::wstring W(const std::string &utf8)
{
    return platform::Utf8ToWide(utf8);
}

const platform::DirEntry *Find(const std::vector<platform::DirEntry> &entries, const std::string &name)
{
    auto it = std::find_if(entries.begin(), entries.end(), [&](const auto &e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
}

TEST(Win32Folders, AttributesComeFromTheSearch)
{
    fixtures::TempDir dir;
    const std::string plain = dir.Write("plain.mp3", "x");
    const std::string hidden = dir.Write("versteckt.mp3", "x");
    const std::string system = dir.Write("system.mp3", "x");
    const std::string locked = dir.Write("schreibgeschützt.mp3", "x");
    dir.Mkdir("Ordner");
    ASSERT_TRUE(SetFileAttributesW(W(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW(W(system).c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW(W(locked).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

    const auto entries = platform::ListFolder(dir.path());
    ASSERT_EQ(entries.size(), 5u);
    const auto *p = Find(entries, "plain.mp3"), *h = Find(entries, "versteckt.mp3"),
               *s = Find(entries, "system.mp3"), *r = Find(entries, "schreibgeschützt.mp3"),
               *f = Find(entries, "Ordner");
    ASSERT_TRUE(p && h && s && r && f);
    EXPECT_FALSE(p->hidden || p->system || p->readOnly || p->folder);
    EXPECT_TRUE(h->hidden);
    EXPECT_FALSE(h->system);
    EXPECT_TRUE(s->system);
    EXPECT_FALSE(s->hidden);
    EXPECT_TRUE(r->readOnly);
    EXPECT_TRUE(f->folder);
    EXPECT_FALSE(f->readOnly);
    SetFileAttributesW(W(locked).c_str(), FILE_ATTRIBUTE_NORMAL); // so that it can be removed

    EXPECT_TRUE(platform::ListFolder(dir.path() + "fehlt\\").empty());
}

// A value of its own under the current user's shell folders, removed again.
class ShellFolderValue {
public:
    ShellFolderValue()
    {
        RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0, nullptr,
                        0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    }
    ~ShellFolderValue()
    {
        RegDeleteValueW(key, L"KlangdeckTest");
        RegCloseKey(key);
    }
    bool Set(DWORD type, const void *data, DWORD bytes)
    {
        return RegSetValueExW(key, L"KlangdeckTest", 0, type, static_cast<const BYTE *>(data), bytes) ==
               ERROR_SUCCESS;
    }

private:
    HKEY key = nullptr;
};

TEST(Win32ShellFolder, ValuesOfTheCurrentUsersShellFolders)
{
    // Wine fills in AppData for every prefix.
    const std::string appData = platform::ShellFolder("AppData");
    EXPECT_FALSE(appData.empty());
    EXPECT_NE(appData.back(), '\\');

    ShellFolderValue value;
    EXPECT_EQ(platform::ShellFolder("KlangdeckTest"), "");
    const wchar_t text[] = L"C:\\Users\\Jürgen\\Музыка";
    ASSERT_TRUE(value.Set(REG_SZ, text, sizeof text));
    EXPECT_EQ(platform::ShellFolder("KlangdeckTest"), "C:\\Users\\Jürgen\\Музыка");
    // Stored as it is, without expanding references.
    const wchar_t expandable[] = L"%USERPROFILE%\\Musik";
    ASSERT_TRUE(value.Set(REG_EXPAND_SZ, expandable, sizeof expandable));
    EXPECT_EQ(platform::ShellFolder("KlangdeckTest"), "%USERPROFILE%\\Musik");
    const DWORD number = 7;
    ASSERT_TRUE(value.Set(REG_DWORD, &number, sizeof number));
    try {
        platform::ShellFolder("KlangdeckTest");
        ADD_FAILURE() << "a number is no folder";
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "Ungültiger Datentyp für 'KlangdeckTest'");
    }
}

TEST(Win32FileStream, OthersMayReadButNotWriteWhileItIsOpen)
{
    fixtures::TempDir dir;
    const std::string path = dir.Write("offen.mp3", "0123456789");
    {
        TTntFileStream stream(platform::Utf8ToUtf16(path));
        HANDLE writer = CreateFileW(W(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        HANDLE reader =
            CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        CloseHandle(reader);
        char bytes[4] = {};
        stream.Seek(6, soBeginning);
        EXPECT_EQ(stream.Read(bytes, 8), 4);
        EXPECT_EQ(std::string(bytes, 4), "6789");
    }
    // Closed with the stream: writing works again.
    HANDLE writer = CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
}

TEST(Win32FileStream, OpenErrorNamesTheFullPathAndTheSystemsReason)
{
    fixtures::TempDir dir;
    SetCurrentDirectoryW(W(dir.path()).c_str());
    std::string message;
    try {
        TTntFileStream stream(u"unter\\..\\fehlt.mp3");
    } catch (const EFOpenError &e) {
        message = e.what();
    }
    SetCurrentDirectoryW(L"C:\\");
    wchar_t full[MAX_PATH];
    GetFullPathNameW(W(dir.path() + "fehlt.mp3").c_str(), MAX_PATH, full, nullptr);
    const std::string prefix = "Datei " + platform::Utf16ToUtf8(std::u16string(full, full + wcslen(full))) +
                               " kann nicht geöffnet werden. ";
    ASSERT_EQ(message.substr(0, prefix.size()), prefix);
    const std::string reason = message.substr(prefix.size());
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << "the system's text is trimmed";
    EXPECT_NE(reason.back(), ' ');

    EXPECT_FALSE(UnicodeFileExists(platform::Utf8ToUtf16(dir.path() + "fehlt.mp3")));
    EXPECT_FALSE(UnicodeFileExists(platform::Utf8ToUtf16(dir.Mkdir("Ordner.mp3"))));
    dir.Write("da.mp3", "x");
    EXPECT_FALSE(UnicodeFileExists(platform::Utf8ToUtf16(dir.path() + "*.mp3"))) << "a pattern is no file";
}

// Names that no ANSI code page holds all of: listed, tested, read and played.
TEST(Win32Names, NamesOutsideTheCodePageReachTheEngine)
{
    ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
    fixtures::TempDir dir;
    const std::string folder = dir.Mkdir("Grüße");
    const std::string names[] = {"Größe.mp3", "Кино.mp3", "🎵 Lied.mp3"};
    for (const std::string &name : names)
        dir.Copy("tone-44100-cbr128.mp3", "Grüße/" + name);
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        bool listed = false;
        for (const auto &entry : platform::ListFolder(folder))
            listed |= entry.name == name;
        EXPECT_TRUE(listed);
        const std::string path = folder + name;
        EXPECT_TRUE(UnicodeFileExists(platform::Utf8ToUtf16(path)));
        // The library's record: frames read through the file stream.
        TAudioInfo info;
        TAudioLibrary::ReadInfo(path, info);
        EXPECT_GT(info.Length, 0);
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
        BASS_StreamFree(h);
    }
    BASS_Free();
}

TEST(Win32Program, TheProgramFolderEndsInABackslash)
{
    const std::string folder = platform::ProgramFolder();
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder[1], ':');
    EXPECT_EQ(folder.back(), '\\');
}

} // namespace

namespace {

// scripts/test-windows maps K: (a local disk labelled KLANGTEST), A: (a
// floppy drive) and R: (a CD drive) to folders of the build before the tests.
TEST(Win32Drives, LettersKindsAndLabelsOfWinesDrives)
{
    if (!std::getenv("KLANG_WINE_TEST_DRIVES"))
        GTEST_SKIP() << "the test drives of scripts/test-windows are not there";
    const TDriveArray drives = GetDrives();
    std::string letters;
    for (const auto &d : drives)
        letters += d->Letter;
    EXPECT_TRUE(std::is_sorted(letters.begin(), letters.end())) << letters;
    auto drive = [&](char letter) -> const TDrive * {
        for (const auto &d : drives)
            if (d->Letter == letter)
                return d.get();
        return nullptr;
    };
    const TDrive *k = drive('K'), *a = drive('A'), *r = drive('R'), *c = drive('C');
    ASSERT_TRUE(k && a && r && c) << letters;
    EXPECT_EQ(k->Kind, dkFixed);
    EXPECT_EQ(k->Name, "KLANGTEST");
    EXPECT_EQ(k->Root, "K:\\");
    // Neither floppy nor CD drives are asked for their labels.
    EXPECT_EQ(a->Kind, dkFloppy);
    EXPECT_EQ(a->Name, "3½-Diskette");
    EXPECT_EQ(r->Kind, dkCdRom);
    EXPECT_EQ(r->Name, "CD");
    EXPECT_EQ(c->Kind, dkFixed);

    EXPECT_EQ(GetDriveKind("K:\\"), dkFixed);
    EXPECT_EQ(GetDriveKind("a:\\"), dkFloppy);
    EXPECT_EQ(GetDriveKind("R:\\"), dkCdRom);
    EXPECT_EQ(GetDriveKind("K:\\Musik\\"), dkUnknown) << "only a drive root has a kind";
    EXPECT_EQ(GetDriveKind(""), dkUnknown);
}

} // namespace

namespace {

TEST(Win32Names, BackslashAndTheDrivesColonEndTheFolderPart)
{
    EXPECT_EQ(platform::ExtractFileExt("C:\\Musik.neu\\Lied"), "");
    EXPECT_EQ(platform::ExtractFileExt("C:\\Musik\\Lied.Live.mp3"), ".mp3");
    EXPECT_EQ(platform::ExtractFileExt("D:.mp3"), ".mp3");
    EXPECT_EQ(platform::NameWithoutFolderAndExt("C:\\Musik.neu\\Lied"), "Lied");
    EXPECT_EQ(platform::NameWithoutFolderAndExt("C:Lied.mp3"), "Lied");
    EXPECT_EQ(platform::NameWithoutFolderAndExt("Z:/tmp/Кино.ogg"), "Кино");
    EXPECT_EQ(platform::FolderPart("C:\\Musik\\a.mp3"), "C:\\Musik\\");
    EXPECT_EQ(platform::FolderPart("C:a.mp3"), "C:");
    EXPECT_EQ(platform::FolderPart("a.mp3"), "");
}

} // namespace
