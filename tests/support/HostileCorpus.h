// The named corpus of hostile inputs that every reader, the engine and every
// fuzz target are run over: empty, truncated, corrupt and crafted files in
// memory (Inputs), and what only a file system can hold (Files): FIFOs, a
// folder with an audio name, a name that is not UTF-8, and sparse 4 GB files
// (a giant ID3v2 frame, zeros without any MPEG frame). Main thread of a test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

struct Input {
    std::string name;
    std::string bytes;
    bool mayOpen; // decodes partly (truncated or damaged real audio)
};

// n bytes of noise, the same for the same seed.
std::string RandomBytes(size_t n, unsigned seed);

// The in-memory inputs, built from the generated fixtures.
std::vector<Input> Inputs();

// The title frame's declared size in the giant-frame file: just under 2 GiB.
constexpr uint32_t GiantFrameSize = 0x7FFFFF00u;
constexpr uint64_t SparseFileSize = uint64_t(4) << 30;

// The first bytes of the giant-frame file: an ID3v2.3 tag whose artist frame
// ("Riese") is followed by a title frame declaring GiantFrameSize, then at the
// tag's end real MPEG audio (about two seconds of a tone). Written at the
// start of a sparse file of SparseFileSize bytes, the title frame fits the file.
std::string GiantFrameHead();

// True when files in folder can be sparse: a 4 GB file with one byte written
// occupies almost nothing on disk (st_blocks).
bool SparseFilesWork(const std::string &folder);
// Writes head at the start of a sparse file of size bytes; false on failure.
bool WriteSparse(const std::string &path, const std::string &head, uint64_t size);

// Special files below folder (ends in "/"); each returns the full path, or an
// empty string when it cannot be made here.
std::string MakeFifo(const std::string &folder, const std::string &name);
// The tagged tone fixture under the Latin-1 name "M\xfcller.mp3".
std::string MakeLatin1Named(const std::string &folder);

// Writes every in-memory input into folder (ends in "/") as a file of its
// name: the seeds of a fuzz corpus. Returns the number written.
int WriteInputs(const std::string &folder);

} // namespace hostile
