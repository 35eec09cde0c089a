// The per-thread error code of the last engine call (BASS_ErrorGetCode).
#pragma once

namespace klang {

void SetError(int code);
int LastError();

} // namespace klang
