#include "library/Mp3FileUtils.h"
#include "platform/Text.h"
#include "tests/support/Fixtures.h"
#include "tests/support/PosixOnly.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

std::u16string U(const std::string &path)
{
    return platform::Utf8ToUtf16(path);
}

std::string OpenError(const std::string &path)
{
    try {
        TTntFileStream stream(U(path));
    } catch (const EFOpenError &e) {
        return e.what();
    }
    return "opened";
}

} // namespace

TEST(TntFileStream, ReadsSeeksAndReportsItsSize)
{
    fixtures::TempDir dir;
    std::string path = dir.Write("Grüße 東京.mp3", "0123456789");
    TTntFileStream stream(U(path));
    EXPECT_EQ(stream.GetSize(), 10);
    char buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(stream.Seek(2, soCurrent), 6);
    EXPECT_EQ(stream.Read(buffer, 16), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(stream.Seek(-3, soEnd), 7);
    stream.SetPosition(1);
    EXPECT_EQ(stream.GetPosition(), 1);
    stream.ReadBuffer(buffer, 9);
    stream.SetPosition(5);
    EXPECT_THROW(stream.ReadBuffer(buffer, 6), EReadError);
    stream.SetPosition(100);
    EXPECT_EQ(stream.Read(buffer, 4), 0);
}

TEST(TntFileStream, OpenErrorsNameTheFullPathAndTheReason)
{
    KLANG_POSIX_ONLY(); // the texts are strerror's
    fixtures::TempDir dir;
    EXPECT_EQ(OpenError(dir.path() + "fehlt.mp3"),
              "Datei " + dir.path() + "fehlt.mp3 kann nicht geöffnet werden. No such file or directory");

    std::string sub = dir.Mkdir("Ordner.mp3");
    EXPECT_EQ(OpenError(sub),
              "Datei " + sub.substr(0, sub.size() - 1) + " kann nicht geöffnet werden. Is a directory");

    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(sub.c_str()), 0);
    std::string relative = OpenError("./../weg/../nicht da.mp3");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(relative,
              "Datei " + dir.path() + "nicht da.mp3 kann nicht geöffnet werden. No such file or directory");

    if (geteuid() != 0) {
        std::string locked = dir.Write("gesperrt.mp3", "x");
        chmod(locked.c_str(), 0);
        EXPECT_EQ(OpenError(locked), "Datei " + locked + " kann nicht geöffnet werden. Permission denied");
    }
}

// A FIFO named like an audio file neither counts as a file nor blocks the reader.
TEST(TntFileStream, FifosAreRefusedWithoutWaiting)
{
    KLANG_POSIX_ONLY();
    fixtures::TempDir dir;
    std::string fifo = dir.path() + "pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenError(fifo), "Datei " + fifo + " kann nicht geöffnet werden. No such device or address");
    // Waiting for a writer would never end; a busy machine takes a moment.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(UnicodeFileExists(U(fifo)));
}

TEST(UnicodeFileExists, OnlyRegularFilesAfterFollowingLinks)
{
    KLANG_POSIX_ONLY();
    fixtures::TempDir dir;
    std::string file = dir.Write("Lied ä.mp3", "x");
    EXPECT_TRUE(UnicodeFileExists(U(file)));
    ASSERT_EQ(symlink(file.c_str(), (dir.path() + "link.mp3").c_str()), 0);
    EXPECT_TRUE(UnicodeFileExists(U(dir.path() + "link.mp3")));
    ASSERT_EQ(symlink((dir.path() + "nirgends").c_str(), (dir.path() + "dangling.mp3").c_str()), 0);
    EXPECT_FALSE(UnicodeFileExists(U(dir.path() + "dangling.mp3")));
    EXPECT_FALSE(UnicodeFileExists(U(dir.Mkdir("folder.mp3"))));
    EXPECT_FALSE(UnicodeFileExists(U(dir.path() + "missing.mp3")));
    EXPECT_FALSE(UnicodeFileExists(u"/dev/null"));
}
