#include "Probe.h"

#include "library/FileExt.h"

std::string ProbeDrives()
{
    std::string out = "[";
    for (const auto &drive : GetDrives()) {
        if (out.size() > 1)
            out += ", ";
        out += "{\"letter\": " + JsonString(drive->Letter ? std::string(1, drive->Letter) : std::string()) +
               ", \"root\": " + JsonString(drive->Root) + ", \"name\": " + JsonString(drive->Name) +
               ", \"kind\": " + std::to_string(static_cast<int>(drive->Kind)) +
               ", \"kind_name\": " + JsonString(drive->KindName) + "}";
    }
    return out + "]\n";
}
