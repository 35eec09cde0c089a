// The probe's modes. Each returns the text to print (lines end in "\n").
#pragma once

#include <string>

// {"extensions": [...], "filter": "..."} from a real engine controller.
std::string ProbeFormats();
// The drives as a JSON array of {"letter", "root", "name", "kind", "kind_name"}.
std::string ProbeDrives();
// One JSON object for one file: "file", "id3" and "mpeg" (".mp3" only),
// "record" (through the audio library's ReadInfo and the real engine).
std::string ProbeFile(const std::string &path);

// JSON string literal of UTF-8 text, quotes included.
std::string JsonString(const std::string &text);
