#if defined(_WIN32)
#include <gtest/gtest.h>

TEST(AppController, PosixSide)
{
    GTEST_SKIP() << "the configuration folder comes from the registry there, and fork is POSIX";
}
#else
#include "app/AppExt.h"

#include "platform/Clock.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TestHooks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class ConfigHome {
public:
    explicit ConfigHome(const std::string &value)
    {
        if (const char *old = std::getenv("XDG_CONFIG_HOME"))
            saved = old;
        setenv("XDG_CONFIG_HOME", value.c_str(), 1);
    }
    ~ConfigHome() { saved ? setenv("XDG_CONFIG_HOME", saved->c_str(), 1) : unsetenv("XDG_CONFIG_HOME"); }

private:
    std::optional<std::string> saved;
};

// The first draws after a controller was created in a fresh child process,
// as a program start would make them.
std::vector<int> DrawsOfAStart()
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const int count = 16;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        TAppController controller;
        int draws[count];
        for (int &d : draws)
            d = platform::Random(1 << 30);
        _exit(write(fds[1], draws, sizeof draws) == sizeof draws ? 0 : 1);
    }
    close(fds[1]);
    std::vector<int> draws(count);
    ssize_t got = -1;
    pollfd ready{fds[0], POLLIN, 0};
    if (poll(&ready, 1, 10000) == 1)
        got = read(fds[0], draws.data(), count * sizeof(int));
    else
        kill(child, SIGKILL); // a lock another thread held at the fork
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(count * sizeof(int)))
        return {};
    return draws;
}

} // namespace

TEST(AppController, SettingsPathUnderTheConfigurationFolder)
{
    fixtures::TempDir tmp;
    const std::string config = tmp.path() + "config";
    ConfigHome home(config);
    testing_hooks::TestMainThread mainThread;

    TAppController controller;
    EXPECT_EQ(mainThread.Title(), "Klangdeck");
    EXPECT_EQ(controller.SettingsFolder, config + "/Klangdeck");
    EXPECT_EQ(controller.SettingsFile, config + "/Klangdeck/settings.cfg");
    EXPECT_FALSE(std::filesystem::exists(config));
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST(AppController, SettingsPathWithoutDoubledSeparators)
{
    ConfigHome home("/srv/config/");
    EXPECT_EQ(TAppController().SettingsFile, "/srv/config/Klangdeck/settings.cfg");
    ConfigHome top("/");
    EXPECT_EQ(TAppController().SettingsFile, "/Klangdeck/settings.cfg");
}

// Each start seeds the generator from the clock, so two starts a moment
// apart play different random sequences.
TEST(AppController, TwoStartsDrawDifferentSequences)
{
    const auto first = DrawsOfAStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto second = DrawsOfAStart();
    ASSERT_EQ(first.size(), 16u);
    ASSERT_EQ(second.size(), 16u);
    EXPECT_NE(first, second);
}
#endif
