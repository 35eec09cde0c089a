// Test cases about POSIX file-system features (FIFOs, symbolic links,
// permission bits, other users) have no counterpart on Windows; they start
// with KLANG_POSIX_ONLY() and are skipped there. Their bodies still compile:
// the few calls Windows lacks are declared here to fail, and never run.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#if defined(_WIN32)
#define KLANG_POSIX_ONLY() GTEST_SKIP() << "POSIX file-system features"

inline int mkfifo(const char *, int)
{
    return -1;
}
inline int symlink(const char *, const char *)
{
    return -1;
}
inline int geteuid()
{
    return -1;
}
#else
#define KLANG_POSIX_ONLY() static_cast<void>(0)
#endif
