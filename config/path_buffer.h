// One path in a fixed buffer, and the few bounded operations the device code needs on it.
#ifndef KELBRUN_CONFIG_PATH_BUFFER_H
#define KELBRUN_CONFIG_PATH_BUFFER_H

#include "platform/platform.h"

enum { kPathBufferChars = 256 };

// At most 255 characters and the terminating NUL.
typedef WCHAR PathBuffer[kPathBufferChars];

// Number of characters before the terminating NUL.
DWORD PathLength(const WCHAR* text);

// Copies source up to its first NUL or its first sourceLimit characters, whichever comes first,
// and terminates the copy. Gives the number of characters copied. sourceLimit must be below
// kPathBufferChars.
DWORD PathCopy(PathBuffer target, const WCHAR* source, DWORD sourceLimit);

// Writes folder followed by suffix into target and gives 1, but only when the whole of it fits;
// otherwise leaves target alone and gives 0. A cut path would name some other file.
int PathCompose(PathBuffer target, const WCHAR* folder, const WCHAR* suffix);

#endif  // KELBRUN_CONFIG_PATH_BUFFER_H
