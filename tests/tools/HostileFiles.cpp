// hostile-files: the hostile corpus on disk, for scripts and fuzzing.
//   hostile-files --inputs FOLDER   every in-memory input as a file of its name
//   hostile-files --giant FILE      the sparse 4 GB file with the giant ID3v2 frame
//   hostile-files --zeros FILE      a sparse 4 GB file of zeros
// Exits 77 when the file system cannot hold sparse files (a 4 GB file there
// would take 4 GB of disk), 2 on wrong use, 1 on failure.
#include "platform/Arguments.h"
#include "tests/support/HostileCorpus.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char **argv)
{
    const std::vector<std::string> args = platform::Arguments(argc, argv);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: hostile-files --inputs FOLDER | --giant FILE | --zeros FILE\n");
        return 2;
    }
    const std::string &mode = args[0], &target = args[1];
    if (mode == "--inputs") {
        std::filesystem::create_directories(target);
        const int written = hostile::WriteInputs(target + "/");
        std::printf("%d hostile inputs in %s\n", written, target.c_str());
        return written > 0 ? 0 : 1;
    }
    if (mode != "--giant" && mode != "--zeros")
        return 2;
    const std::string folder = std::filesystem::path(target).parent_path().string() + "/";
    if (!hostile::SparseFilesWork(folder)) {
        std::fprintf(stderr, "hostile-files: no sparse files in %s\n", folder.c_str());
        return 77;
    }
    const std::string head = mode == "--giant" ? hostile::GiantFrameHead() : std::string();
    return hostile::WriteSparse(target, head, hostile::SparseFileSize) ? 0 : 1;
}
