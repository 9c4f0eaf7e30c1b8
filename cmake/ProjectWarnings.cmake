# Warnings are errors in the project's own code.
function(kelbrun_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wcast-qual -Werror)
endfunction()
