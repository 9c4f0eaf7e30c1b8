# Warnings are errors in the project's own code.
function(kelbrun_warnings target)
    set(warnings -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wcast-qual
        -Werror)
    if(KELBRUN_ARM OR KELBRUN_DEVICE_BUILD)
        # ARMv4 and v5 rotate or trap on unaligned loads, and the emulator does neither: the
        # compiler's check stands in for the faults the tests cannot see.
        list(APPEND warnings -Wcast-align=strict)
    endif()
    # For C++ only: the device build also assembles.
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${warnings}>")
endfunction()
