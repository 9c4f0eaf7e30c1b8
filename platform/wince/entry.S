// The process's entry point. Windows CE starts a process's primary thread here, in ARM state,
// with hInstance, hPrevInstance, the command line and nCmdShow in r0-r3, and ends the process
// with what it returns in r0: WinMain's own arguments and result. So the entry only jumps to
// WinMain, leaving r0-r3 and lr as the kernel set them. bx, because WinMain is Thumb code in
// the Thumb build: the linker sets bit 0 of a Thumb function's address, and bx switches state.
// (A call from C++ would not do: with interworking, the compiler makes no tail calls.)

// WinMain as the C++ compiler names it: int WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) with
// platform/coredll.h's types. A program without it fails to link, naming this symbol.
#define WINMAIN _Z7WinMainP14OpaqueInstanceS0_PDsi

    .section .text.kelbrun_entry, "ax", %progbits
    .arm
    .balign 4
    .globl KelbrunEntry
    .type KelbrunEntry, %function
KelbrunEntry:
    ldr ip, 1f
    bx ip
1:  .word WINMAIN
    .size KelbrunEntry, . - KelbrunEntry

    .section .note.GNU-stack, "", %progbits
