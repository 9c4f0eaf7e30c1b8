// The program's entry point: the C run-time's start-up code calls it and ends the process with
// what it returns.
#include "launcher/startup_sequence.h"

#if defined(_WIN32_WCE)
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                   int showCommand)
#else
// Desktop Windows passes a wide command line only to wWinMain; the launcher ignores it anyway.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showCommand)
#endif
{
    return StartupSequence(instance, previousInstance, commandLine, showCommand);
}
