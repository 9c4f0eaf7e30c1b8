// The device's storage folders, as its registry records them.
#ifndef KELBRUN_CONFIG_FOLDER_SETTING_H
#define KELBRUN_CONFIG_FOLDER_SETTING_H

#include "config/path_buffer.h"

// One configured folder. A length of 0 means the folder is not configured.
struct FolderSetting {
    PathBuffer path;
    LONG length;
};

// Reads the string value valueName of the key keyPath under HKEY_LOCAL_MACHINE into setting,
// reporting each step on the debug output. Gives 1 when the value was read; on 0 the setting
// has not been touched.
int ReadFolderSetting(LPCWSTR keyPath, LPCWSTR valueName, FolderSetting* setting);

#endif  // KELBRUN_CONFIG_FOLDER_SETTING_H
