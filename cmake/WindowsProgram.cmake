# How the launcher, and the empty program it is measured against, are built for Windows: no
# exceptions, no RTTI, nothing from the C++ run-time, unused sections dropped, symbols stripped.
function(kelbrun_windows_program target)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
    if(NOT KELBRUN_WINDOWS_CE)
        # -municode: the C run-time calls wWinMain, which takes the wide command line.
        target_link_options(${target} PRIVATE -municode -static-libgcc -static-libstdc++
                            -Wl,--gc-sections -s)
    endif()
endfunction()
