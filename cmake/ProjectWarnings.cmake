# Warnings are errors in the project's own code.
function(kelbrun_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wcast-qual -Werror)
    if(KELBRUN_ARM)
        # ARMv4 and v5 rotate or trap on unaligned loads, and the emulator does neither: the
        # compiler's check stands in for the faults the tests cannot see.
        target_compile_options(${target} PRIVATE -Wcast-align=strict)
    endif()
endfunction()
