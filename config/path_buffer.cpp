#include "config/path_buffer.h"

DWORD PathLength(const WCHAR* text) {
    DWORD length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

DWORD PathCopy(PathBuffer target, const WCHAR* source, DWORD sourceLimit) {
    DWORD copied = 0;
    while (copied < sourceLimit && copied < kPathBufferChars - 1 && source[copied] != 0) {
        target[copied] = source[copied];
        ++copied;
    }
    target[copied] = 0;
    return copied;
}

int PathCompose(PathBuffer target, const WCHAR* folder, const WCHAR* suffix) {
    const DWORD folderLength = PathLength(folder);
    const DWORD suffixLength = PathLength(suffix);
    if (folderLength + suffixLength > kPathBufferChars - 1) {
        return 0;
    }
    memcpy(target, folder, folderLength * sizeof(WCHAR));
    memcpy(target + folderLength, suffix, (suffixLength + 1) * sizeof(WCHAR));
    return 1;
}
