// The launcher's whole run, from the entry point to the end of the process.
#ifndef KELBRUN_LAUNCHER_STARTUP_SEQUENCE_H
#define KELBRUN_LAUNCHER_STARTUP_SEQUENCE_H

#include "config/folder_setting.h"

// The device's folders, read once at start-up.
extern FolderSetting SDMMCPath;
extern FolderSetting DataStorageDestPath;
extern FolderSetting ResidentFlashDestPath;

// Where the folders are read (under HKEY_LOCAL_MACHINE), and what the launcher looks for in
// them: its own update on the card, the navigation application in the resident flash.
extern const WCHAR kSettingsKey[];
extern const WCHAR kUpdateLauncherSuffix[];
extern const WCHAR kNavigatorSuffix[];
// The card's copy runs from its "UPDATE" folder and must never start itself again.
extern const WCHAR kUpdateMarker[];

// The two programs the launcher may hand over to, composed from those folders.
extern PathBuffer UpdateLauncherPath;
extern PathBuffer NavigatorPath;

// The program's WinMain. Only the instance is used; the command line and show command are not.
// Gives 0 once it has asked the shell to open a program; otherwise ends the process with 0.
int WINAPI StartupSequence(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                           int showCommand);

// Gives 1 when a directory search for path finds an entry, file or folder, else 0.
int FileProbe(LPCWSTR path);

// Asks the shell to open path; gives 1 when the shell accepted, else 0.
int LaunchProgram(LPCWSTR path);

#endif  // KELBRUN_LAUNCHER_STARTUP_SEQUENCE_H
