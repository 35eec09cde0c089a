/* The interface between the engine and its format plug-ins (bass/bass*.so).
 *
 * A plug-in exports one function, KlangPluginEntry, that returns a pointer to
 * a static KLANG_PLUGIN record: the format information that
 * BASS_PluginGetInfo hands out, and a decoder. A shared library without this
 * symbol is not a plug-in, and BASS_PluginLoad gives 0 for it.
 *
 * Threads: the engine calls a decoder instance from one thread at a time
 * (never concurrently), but different instances may run on different threads
 * at once; a decoder keeps no global mutable state.
 */
#ifndef KLANG_BASS_PLUGIN_H
#define KLANG_BASS_PLUGIN_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KLANG_PLUGIN_API 1
#define KLANG_PLUGIN_ENTRY_NAME "KlangPluginEntry"

/* How a plug-in exports its entry point. */
#if defined(_WIN32)
#define KLANG_PLUGIN_EXPORT __declspec(dllexport)
#else
#define KLANG_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

typedef struct KLANG_STREAM_FORMAT {
    DWORD rate;     /* frames per second */
    DWORD channels; /* 1 .. 8 */
    QWORD frames;   /* exact length in frames */
} KLANG_STREAM_FORMAT;

typedef struct KLANG_DECODER {
    /* Opens the file at path (UTF-8). Returns the decoder's state and fills
     * format, or returns NULL when the file is not of this plug-in's format
     * or cannot be read. Must decide by content, not by the file name. */
    void *(*open)(const char *path, KLANG_STREAM_FORMAT *format);
    /* Decodes up to frames frames of interleaved float samples (-1 .. 1)
     * into pcm. Returns the frames delivered, 0 at the end of the stream,
     * -1 on an error that ends the stream. */
    long (*read)(void *state, float *pcm, DWORD frames);
    /* Moves to the given frame; the next read starts exactly there.
     * Returns 0 on success. */
    int (*seek)(void *state, QWORD frame);
    /* The exact length in frames (the same as format->frames from open). */
    QWORD (*length)(void *state);
    void (*close)(void *state);
} KLANG_DECODER;

typedef struct KLANG_PLUGIN {
    DWORD api;            /* KLANG_PLUGIN_API */
    BASS_PLUGININFO info; /* what BASS_PluginGetInfo returns */
    KLANG_DECODER decoder;
} KLANG_PLUGIN;

typedef const KLANG_PLUGIN *(*KLANG_PLUGIN_ENTRY)(void);

#ifdef __cplusplus
}
#endif

#endif
