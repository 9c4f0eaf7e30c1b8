/* Stands for the desktop (win64) build of Kelbrun.EXE copied onto a card by mistake: an x86-64
   PE32+ program importing from KERNEL32, as every desktop program does, so that a unit's loader
   meets what it meets in the real one. It only ends. */
#include <windows.h>

void __stdcall DesktopEntry(void) {
    ExitProcess(0);
}
