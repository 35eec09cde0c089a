#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int OpenRegularFile(const char *path, int &error)
{
    error = 0;
    if (!path) {
        error = EINVAL;
        return -1;
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer and a tape or
    // serial device may wait for ever; what it is only shows after the open.
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = ENXIO;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::FILE *OpenRegularFileStream(const char *path)
{
    int error = 0;
    int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return nullptr;
    std::FILE *file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

void CloseFile(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace platform
