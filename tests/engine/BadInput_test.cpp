// Empty, truncated, corrupt and hostile files: they fail to open with an
// error code, or decode as far as they go and then end.
#include "EngineTest.h"
#include "tests/support/HostileCorpus.h"
#include "tests/support/PosixOnly.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace enginetest;
using namespace std::chrono;

namespace {

using hostile::Input;
using hostile::RandomBytes;

TEST_F(EngineTest, HostileFilesFailOrDecodeToAnEnd)
{
    fixtures::TempDir dir;
    for (const Input &in : hostile::Inputs()) {
        SCOPED_TRACE(in.name);
        std::string path = dir.Write(in.name, in.bytes);
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        if (!h) {
            int error = BASS_ErrorGetCode();
            EXPECT_TRUE(error == BASS_ERROR_FILEFORM || error == BASS_ERROR_FILEOPEN) << error;
            continue;
        }
        EXPECT_TRUE(in.mayOpen) << "opened as audio";
        if (in.name.find("ogg") == 0) {
            // The damaged page is lost, the pages around it are not.
            EXPECT_GT(BASS_ChannelGetLength(h), 44100u * 4);
        }
        QWORD length = BASS_ChannelGetLength(h);
        ASSERT_NE(length, QWORD(-1));
        // A decoder caught in a loop would never end; a busy machine under
        // a sanitizer takes a while.
        auto start = steady_clock::now();
        std::vector<int16_t> all = ReadAll(h);
        EXPECT_LT(duration<double>(steady_clock::now() - start).count(), 20.0);
        EXPECT_LE(all.size() * 2, length) << "decoded past the length";
        int16_t tail[64];
        EXPECT_EQ(BASS_ChannelGetData(h, tail, sizeof tail), DWORD(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
        std::printf("  %-22s opened: %llu bytes long, %zu decoded\n", in.name.c_str(),
                    static_cast<unsigned long long>(length), all.size() * 2);
        EXPECT_TRUE(BASS_ChannelSetPosition(h, 0) || BASS_ErrorGetCode() == BASS_ERROR_POSITION);
        EXPECT_TRUE(BASS_StreamFree(h));
    }
}

TEST_F(EngineTest, DamagedFilesPlayToTheirEndAndSync)
{
    fixtures::TempDir dir;
    for (const Input &in : hostile::Inputs()) {
        if (!in.mayOpen)
            continue;
        SCOPED_TRACE(in.name);
        HSTREAM h = BASS_StreamCreateFile(FALSE, dir.Write(in.name, in.bytes).c_str(), 0, 0, 0);
        if (!h)
            continue;
        std::atomic<int> ends{0};
        BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountEnd, &ends);
        QWORD length = BASS_ChannelGetLength(h);
        // The last half second, where truncated files break off.
        QWORD tail = QWORD(44100) * 4 / 2;
        if (length > tail)
            BASS_ChannelSetPosition(h, (length - tail) & ~QWORD(3));
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        // A 4 GiB claim ends where the data does, not hours later.
        EXPECT_TRUE(WaitFor([&] { return ends.load() == 1; }, seconds(10)));
        EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
        EXPECT_LE(BASS_ChannelGetPosition(h), length);
        BASS_StreamFree(h);
    }
}

TEST_F(EngineTest, RandomBytesNeverDecodeAsMpeg)
{
    fixtures::TempDir dir;
    for (unsigned seed = 10; seed < 60; ++seed) {
        std::string path =
            dir.Write("noise" + std::to_string(seed) + ".mp3", RandomBytes(20000 + seed * 97, seed));
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_EQ(h, 0u) << "seed " << seed;
        if (h)
            BASS_StreamFree(h);
    }
}

// Files that are no regular files are refused at once: opening a FIFO must
// not wait for a writer that never comes, nor a folder pass for a file.
TEST_F(EngineTest, FifosAndFoldersAreRefusedWithoutWaiting)
{
    KLANG_POSIX_ONLY();
    fixtures::TempDir dir;
    std::vector<std::string> paths = {dir.Mkdir("Ordner.mp3")};
    for (const char *name : {"fifo.mp3", "fifo.ogg", "fifo.wav", "fifo.flac", "fifo.opus"})
        paths.push_back(hostile::MakeFifo(dir.path(), name));
    for (std::string &path : paths) {
        if (path.back() == '/')
            path.pop_back();
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty());
        auto start = steady_clock::now();
        for (DWORD flags : {DWORD(0), DWORD(BASS_STREAM_DECODE)}) {
            EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags), 0u);
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
        }
        EXPECT_LT(duration<double>(steady_clock::now() - start).count(), 10.0) << "waited for a writer";
        EXPECT_EQ(BASS_PluginLoad(path.c_str(), 0), 0u);
    }
}

// An Ogg without a single sample could never reach its end: it does not open.
TEST_F(EngineTest, OggWithoutAudioDoesNotOpen)
{
    fixtures::TempDir dir;
    for (const Input &in : hostile::Inputs()) {
        if (in.name.rfind("ogg-", 0) != 0 || in.mayOpen)
            continue;
        SCOPED_TRACE(in.name);
        std::string path = dir.Write(in.name, in.bytes);
        for (DWORD flags : {DWORD(0), DWORD(BASS_STREAM_DECODE)}) {
            EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags), 0u);
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
            EXPECT_EQ(BASS_StreamCreateFile(TRUE, in.bytes.data(), 0, in.bytes.size(), flags), 0u);
        }
    }
}

TEST_F(EngineTest, ANameThatIsNotUtf8OpensLikeAnyOther)
{
    KLANG_POSIX_ONLY(); // Windows names are UTF-16: every one converts
    fixtures::TempDir dir;
    std::string latin1 = hostile::MakeLatin1Named(dir.path());
    ASSERT_FALSE(latin1.empty());
    HSTREAM h = BASS_StreamCreateFile(FALSE, latin1.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    EXPECT_GT(BASS_ChannelGetLength(h), 44100u * 4 / 2);
    BASS_StreamFree(h);
}

// The sparse 4 GB files: a giant ID3v2 frame in front of real audio, and
// zeros without any frame. Each opens or fails within seconds, and what
// opens decodes its real audio and ends.
TEST_F(EngineTest, SparseGiantFilesOpenOrFailQuickly)
{
    fixtures::TempDir dir;
    if (!hostile::SparseFilesWork(dir.path()))
        GTEST_SKIP() << "the file system of " << dir.path() << " has no sparse files";
    struct Big {
        const char *name;
        std::string head;
        bool opens;
    };
    for (const Big &big :
         {Big{"giant-frame.mp3", hostile::GiantFrameHead(), true}, Big{"zeros.mp3", "", false},
          Big{"zeros.ogg", "", false}, Big{"zeros.flac", "", false}, Big{"zeros.opus", "", false}}) {
        SCOPED_TRACE(big.name);
        std::string path = dir.path() + big.name;
        ASSERT_TRUE(hostile::WriteSparse(path, big.head, hostile::SparseFileSize));
        auto start = steady_clock::now();
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_LT(duration<double>(steady_clock::now() - start).count(), 10.0);
        EXPECT_EQ(h != 0, big.opens) << BASS_ErrorGetCode();
        if (h) {
            std::vector<int16_t> all = ReadAll(h);
            EXPECT_GT(all.size(), 44100u);
            EXPECT_LE(all.size() * 2, BASS_ChannelGetLength(h));
            BASS_StreamFree(h);
        }
        ::unlink(path.c_str());
    }
}

} // namespace
