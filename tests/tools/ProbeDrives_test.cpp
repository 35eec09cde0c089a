#include "Probe.h"

#include "platform/Drives.h"

#include "tests/support/PosixOnly.h"

#include <gtest/gtest.h>

TEST(ProbeDrives, OneLineOfJson)
{
    KLANG_POSIX_ONLY(); // the mount table
    platform::DriveSource source;
    source.mounts = "/dev/sda1 / ext4 rw 0 0\n"
                    "/dev/sdb1 /media/anna/\"Q\"\\040\\134 vfat rw 0 0\n"
                    "/dev/sr0 /media/cd iso9660 ro 0 0\n";
    source.labels = {{"\"Q\"\\x20\\x5c", "../../sdb1"}};
    platform::SetDriveSourceForTesting(source);
    const std::string json = ProbeDrives();
    platform::SetDriveSourceForTesting(std::nullopt);
    EXPECT_EQ(json,
              "[{\"letter\": \"\", \"root\": \"/\", \"name\": \"Lokaler Datenträger\", \"kind\": 3, "
              "\"kind_name\": \"Lokaler Datenträger\"}, "
              "{\"letter\": \"\", \"root\": \"/media/anna/\\\"Q\\\" \\\\/\", \"name\": \"\\\"Q\\\" \\\\\", "
              "\"kind\": 2, \"kind_name\": \"Wechseldatenträger\"}, "
              "{\"letter\": \"\", \"root\": \"/media/cd/\", \"name\": \"CD\", \"kind\": 4, "
              "\"kind_name\": \"CD\"}]\n");
}
