#include "Probe.h"

#include <gtest/gtest.h>

// The real engine with the plug-ins the build puts into bass/: both formats
// come after the six built-in ones, in the order the folder lists them.
TEST(ProbeFormats, BuiltInFormatsThenThePlugins)
{
    const std::string json = ProbeFormats();
    const std::string a = "*.wav; *.mp3; *.mp2; *.mp1; *.ogg; *.ogv; *.oga; *.ogx; *.ogm; *.aif; *.aiff";
    const std::string f =
        "|RIFF WAVE (*.wav)|*.wav|MPEG Audio Layer (*.mp3; *.mp2; *.mp1)|*.mp3; *.mp2; *.mp1"
        "|Ogg (*.ogg; *.ogv; *.oga; *.ogx; *.ogm)|*.ogg; *.ogv; *.oga; *.ogx; *.ogm"
        "|Audio Interchange File Format (*.aif; *.aiff)|*.aif; *.aiff";
    auto expected = [&](const std::string &first, const std::string &firstName, const std::string &second,
                        const std::string &secondName) {
        const std::string all = a + "; *" + first + "; *" + second;
        return "{\"extensions\": [\".mp3\", \".mp2\", \".mp1\", \".ogg\", \".wav\", \".aif\", \"" + first +
               "\", \"" + second + "\"], \"filter\": \"Alle unterstützten Dateien (" + all + ")|" + all +
               "|Alle Dateien (*.*)|*.*" + f + "|" + firstName + " (*" + first + ")|*" + first + "|" +
               secondName + " (*" + second + ")|*" + second + "\"}\n";
    };
    const std::string flacFirst = expected(".flac", "FLAC", ".opus", "Opus");
    const std::string opusFirst = expected(".opus", "Opus", ".flac", "FLAC");
    EXPECT_TRUE(json == flacFirst || json == opusFirst) << json;
}
