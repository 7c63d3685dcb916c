// What the files of the Win32 backend share: the system headers in the
// order the GL headers need them, and the one-line failure record behind
// platform_last_error().
#ifndef BRINDLEC_WIN32_H
#define BRINDLEC_WIN32_H

#include "platform/gl_headers.h"  // <windows.h>, lean, before GL

#include <mmsystem.h>  // timeGetTime, timeBeginPeriod, wave-out

// Records that the Windows call `call` failed, with the thread's last
// error code, for platform_last_error().
void remember_error(const char* call);

#endif
