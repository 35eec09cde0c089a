/* Queries of Klangdeck's audio engine for its tests and benchmarks; the
 * program itself does not use them. */
#ifndef KLANG_BASS_TEST_H
#define KLANG_BASS_TEST_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    BOOL open;    /* the output device is open (or the no-sound clock runs) */
    DWORD opens;  /* times it was opened since BASS_Init */
    QWORD frames; /* frames of playing channels handed to it since BASS_Init */
    DWORD queued; /* frames of the mix it holds that are not heard yet */
} KLANG_OUTPUTSTATE;

/* FALSE with BASS_ERROR_INIT when the engine is not initialised. */
BASSDEF(BOOL) KLANG_GetOutputState(KLANG_OUTPUTSTATE *state);

#ifdef __cplusplus
}
#endif

#endif
