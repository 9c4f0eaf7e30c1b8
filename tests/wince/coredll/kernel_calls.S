// The calls into the kernel a unit's COREDLL makes on the launcher's path: each a jump to its
// trap address, 0xF0010000 - ((API set << 8) | method) * 4, with the caller's arguments in r0-r3
// and on its stack as they are, and its return address in lr, where the kernel returns to. ARM
// code, reached from Thumb callers through the linker's ARMv4T veneers.

.macro KERNEL_CALL name, set, method
    .section .text.\name, "ax", %progbits
    .arm
    .balign 4
    .globl \name
    .type \name, %function
\name:
    ldr ip, 1f
    bx ip
1:  .word 0xF0010000 - ((((\set) << 8) | (\method)) * 4)
    .size \name, . - \name
.endm

KERNEL_CALL KernelVirtualAlloc, 0, 3
KERNEL_CALL KernelVirtualQuery, 0, 6
KERNEL_CALL KernelThreadAttachOrDetach, 0, 11
KERNEL_CALL KernelRegisterDbgZones, 0, 22
KERNEL_CALL KernelDebugPrint, 0, 23
KERNEL_CALL KernelFindResource, 0, 25
KERNEL_CALL KernelLoadResource, 0, 26
KERNEL_CALL KernelProcessDetachAllDLLs, 0, 30
KERNEL_CALL KernelGetRomFileInfo, 0, 32
KERNEL_CALL KernelCloseProcOE, 0, 46
KERNEL_CALL KernelCreateProc, 0, 53
KERNEL_CALL KernelMapPtrUnsecure, 0, 60
KERNEL_CALL KernelOtherThreadsRunning, 0, 65
KERNEL_CALL KernelKillAllOtherThreads, 0, 66
KERNEL_CALL KernelIsPrimaryThread, 0, 71
KERNEL_CALL KernelCreateCrit, 0, 78
KERNEL_CALL KernelCreateMutex, 0, 80
KERNEL_CALL KernelSleep, 0, 82
KERNEL_CALL KernelTerminateThread, 0, 87
KERNEL_CALL KernelSetLastError, 0, 88
KERNEL_CALL KernelGetLastError, 0, 89
KERNEL_CALL KernelCloseAllHandles, 0, 92
KERNEL_CALL KernelCreateFileMapping, 0, 95
KERNEL_CALL KernelUpdateNLSInfo, 0, 103
KERNEL_CALL KernelDebugNotify, 0, 118
KERNEL_CALL KernelGetModuleFileName, 0, 125
KERNEL_CALL KernelLoadLibrary, 0, 148
KERNEL_CALL KernelProcGetIndex, 0, 152
KERNEL_CALL KernelCreateLocaleView, 0, 163
KERNEL_CALL KernelTerminateProcess, 2, 2
KERNEL_CALL KernelFindClose, 8, 0
KERNEL_CALL KernelMapViewOfFile, 14, 2
KERNEL_CALL KernelGetStockObject, 16, 35
KERNEL_CALL KernelRegisterClass, 17, 2
KERNEL_CALL KernelMessageBox, 17, 50
KERNEL_CALL KernelLoadCursor, 17, 209
KERNEL_CALL KernelSetCursor, 17, 210
KERNEL_CALL KernelGetFileAttributes, 20, 7
KERNEL_CALL KernelFindFirstFile, 20, 8
KERNEL_CALL KernelRegCloseKey, 20, 17
KERNEL_CALL KernelRegCreateKey, 20, 18
KERNEL_CALL KernelRegEnumValue, 20, 21
KERNEL_CALL KernelRegOpenKey, 20, 23
KERNEL_CALL KernelRegQueryValue, 20, 25
KERNEL_CALL KernelOpenFolder, 21, 9

// CloseHandle: method 0 of whatever the handle in r0 is.
    .section .text.KernelCloseHandle, "ax", %progbits
    .arm
    .balign 4
    .globl KernelCloseHandle
    .type KernelCloseHandle, %function
KernelCloseHandle:
    ldr ip, 1f
    bx ip
1:  .word 0xF0010000
    .size KernelCloseHandle, . - KernelCloseHandle

// KernelNotify(set, reason, process, thread): method 0 of the API set, which a set's server
// takes as news of a process or thread starting or ending.
    .section .text.KernelNotify, "ax", %progbits
    .arm
    .balign 4
    .globl KernelNotify
    .type KernelNotify, %function
KernelNotify:
    ldr ip, 1f
    sub ip, ip, r0, lsl #10
    mov r0, r1
    mov r1, r2
    mov r2, r3
    bx ip
1:  .word 0xF0010000
    .size KernelNotify, . - KernelNotify

// CallWinMain(entry, hInstance, command line, image base): the program's entry as WinMain,
// with the image's base and its COM descriptor's address and size (none) on the stack.
    .section .text.CallWinMain, "ax", %progbits
    .arm
    .balign 4
    .globl CallWinMain
    .type CallWinMain, %function
CallWinMain:
    push {r4, lr}
    sub sp, sp, #16
    str r3, [sp]
    mov r4, #0
    str r4, [sp, #4]
    str r4, [sp, #8]
    mov ip, r0
    mov r0, r1
    mov r1, #0
    mov r3, #5
    mov lr, pc
    bx ip
    add sp, sp, #16
    pop {r4, lr}
    bx lr
    .size CallWinMain, . - CallWinMain

    .section .note.GNU-stack, "", %progbits
