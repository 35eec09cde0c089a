// The probe's modes. Each returns the text to print (lines end in "\n").
#pragma once

#include "library/Mp3FileUtils.h"
#include "library/TypesExt.h"

#include <string>

// {"extensions": [...], "filter": "..."} from a real engine controller.
std::string ProbeFormats();
// The drives as a JSON array of {"letter", "root", "name", "kind", "kind_name"}.
std::string ProbeDrives();
// One JSON object for one file: "file", "id3" and "mpeg" (".mp3" only),
// "record" (through the audio library's ReadInfo and the real engine).
std::string ProbeFile(const std::string &path);
// Decodes a file through the engine and its plug-ins to 16-bit samples,
// written raw (interleaved, little-endian) to outPath; the line tells
// "rate", "channels", "frames" and the engine's error code at the end
// ("end"), or "error" when the file does not open.
std::string ProbeDecode(const std::string &path, const std::string &outPath);
// The engine on the no-sound device with the plug-ins of the bass/ folder
// beside the probe, set up once.
void ProbeEngine();

// JSON string literal of 8-bit text, quotes included; always valid UTF-8:
// bytes that are not UTF-8 become \udc80..\udcff (U+DC00 + the byte).
std::string JsonString(const std::string &text);

// The line of ProbeFile from what the readers and the library produced. tag
// and mpeg are null for files other than ".mp3" (their keys are left out);
// record null, or recordHasLength false, prints "length": null.
std::string ProbeFileJson(const std::string &path, const TID3v2Tag *tag, TMp3Result tagResult,
                          const TMpegInfo *mpeg, TMp3Result mpegResult, const TAudioInfo *record,
                          bool recordHasLength = true);
// ReadMpegInfo's reading steps: the tag, then the scan from TagSize when a tag
// exists, else from 0. Raises EFOpenError when the file cannot be opened.
void ProbeReadMpeg(const std::string &path, TID3v2Tag &tag, TMp3Result &tagResult, TMpegInfo &mpeg,
                   TMp3Result &mpegResult);
