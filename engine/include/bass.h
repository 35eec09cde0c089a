/* Klangdeck's audio engine: the C interface of bass/bass.so.
 *
 * Threads: every function may be called from any thread at any time. A sync
 * callback runs on an engine thread, never inside the device callback and
 * never while an engine lock is held, so it may call back into the engine
 * (BASS_StreamFree of its own stream included). After BASS_StreamFree has
 * returned, no sync of that stream fires any more.
 *
 * Units: lengths and positions are bytes of 16-bit interleaved PCM at the
 * stream's own rate and channel count (bytes = frames * channels * 2).
 */
#ifndef KLANG_BASS_H
#define KLANG_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Functions and callbacks use the 32-bit Windows interface's calling
 * convention (stdcall); elsewhere both macros add nothing. */
#if defined(_WIN32)
#if defined(KLANG_BUILDING_ENGINE)
#define BASSDEF(f) __declspec(dllexport) f __stdcall
#else
#define BASSDEF(f) f __stdcall
#endif
#define BASS_CALLBACK __stdcall
#else
#define BASSDEF(f) __attribute__((visibility("default"))) f
#define BASS_CALLBACK
#endif

/* The integer types are those of <windows.h> there (DWORD is an unsigned
 * long), so both headers may be included together; elsewhere they have the
 * same widths. */
#if defined(_WIN32)
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef int BOOL;
#else
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int BOOL;
#endif
typedef uint64_t QWORD;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef DWORD HSTREAM;
typedef DWORD HSYNC;
typedef DWORD HPLUGIN;

/* Version 2.3 in the upper 16 bits, our own build number in the lower. */
#define BASSVERSION 0x0203

/* Error codes (BASS_ErrorGetCode). */
#define BASS_OK 0
#define BASS_ERROR_MEM 1        /* out of memory */
#define BASS_ERROR_FILEOPEN 2   /* the file could not be opened */
#define BASS_ERROR_DRIVER 3     /* no output device could be opened */
#define BASS_ERROR_HANDLE 5     /* not a valid handle */
#define BASS_ERROR_FORMAT 6     /* unsupported sample format */
#define BASS_ERROR_POSITION 7   /* position outside the stream */
#define BASS_ERROR_INIT 8       /* BASS_Init has not succeeded */
#define BASS_ERROR_ALREADY 14   /* already initialised */
#define BASS_ERROR_ILLTYPE 19   /* unknown sync type or attribute */
#define BASS_ERROR_ILLPARAM 20  /* an argument is out of range */
#define BASS_ERROR_DEVICE 23    /* no such device */
#define BASS_ERROR_NOPLAY 24    /* the channel is not playing */
#define BASS_ERROR_NOTDECODE 38 /* the call needs a decode-only channel */
#define BASS_ERROR_FILEFORM 41  /* the file holds no audio of a known format */
#define BASS_ERROR_ENDED 45     /* the channel has reached its end */
#define BASS_ERROR_UNKNOWN -1

/* BASS_ChannelIsActive */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* BASS_ChannelSetSync types */
#define BASS_SYNC_END 2

/* BASS_StreamCreateFile flags: a decode-only channel, never audible; its PCM
 * is read with BASS_ChannelGetData. */
#define BASS_STREAM_DECODE 0x200000

/* BASS_Init devices */
#define BASS_DEVICE_NOSOUND 0
#define BASS_DEVICE_DEFAULT (-1)

typedef void(BASS_CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data, void *user);

/* BASS_ChannelGetInfo: the stream's own rate, channel count and the flags
 * it was created with. */
typedef struct BASS_CHANNELINFO {
    DWORD freq;
    DWORD chans;
    DWORD flags;
} BASS_CHANNELINFO;

typedef struct BASS_PLUGINFORM {
    DWORD ctype;      /* channel type of the format */
    const char *name; /* display name, e.g. "FLAC" */
    const char *exts; /* file patterns separated by ';', e.g. "*.flac" */
} BASS_PLUGINFORM;

typedef struct BASS_PLUGININFO {
    DWORD version;
    DWORD formatc;
    const BASS_PLUGINFORM *formats;
} BASS_PLUGININFO;

BASSDEF(DWORD) BASS_GetVersion(void);
BASSDEF(BOOL) BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *clsid);
BASSDEF(BOOL) BASS_Free(void);
BASSDEF(int) BASS_ErrorGetCode(void);

BASSDEF(HPLUGIN) BASS_PluginLoad(const char *file, DWORD flags);
BASSDEF(const BASS_PLUGININFO *) BASS_PluginGetInfo(HPLUGIN handle);

BASSDEF(HSTREAM) BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
BASSDEF(BOOL) BASS_StreamFree(HSTREAM handle);

/* freq -1, volume -1 (0..100) and pan -101 leave that attribute as it is. */
BASSDEF(BOOL) BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
BASSDEF(HSYNC) BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user);
BASSDEF(BOOL) BASS_ChannelPlay(DWORD handle, BOOL restart);
BASSDEF(BOOL) BASS_ChannelPause(DWORD handle);
BASSDEF(BOOL) BASS_ChannelStop(DWORD handle);
BASSDEF(DWORD) BASS_ChannelIsActive(DWORD handle);
BASSDEF(BOOL) BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info);
/* Length and position give (QWORD)-1 on error. */
BASSDEF(QWORD) BASS_ChannelGetLength(DWORD handle);
BASSDEF(QWORD) BASS_ChannelGetPosition(DWORD handle);
BASSDEF(BOOL) BASS_ChannelSetPosition(DWORD handle, QWORD pos);
/* Negative on error. */
BASSDEF(float) BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
/* Reads up to length bytes of 16-bit interleaved PCM from a decode-only
 * channel; returns the bytes delivered, or (DWORD)-1 on error and once the
 * end has been reached (then with the error code BASS_ERROR_ENDED). */
BASSDEF(DWORD) BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);

/* For tests: the no-sound device opened by later BASS_Init calls writes its
 * mix to this file as raw 32-bit float stereo; NULL or "" stops that. */
BASSDEF(BOOL) KLANG_SetNoSoundCapture(const char *path);

#ifdef __cplusplus
}
#endif

#endif
