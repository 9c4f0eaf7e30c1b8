# How a Windows CE executable is made from ELF objects (platform/wince/):
#  1. the program's C++ sources compile to objects, with the device flags of the toolchain file;
#  2. those objects, its libraries and the start-up code are linked into one relocatable object,
#     starting from the entry point, so that only what the program uses is in it;
#  3. make_imports.py writes the COREDLL import tables and call stubs for exactly the symbols
#     that object leaves undefined, refusing any that is not a known COREDLL function, with
#     each function's ordinal from platform/coredll.exports;
#  4. the PE header, the imports and that object are linked by link.ld into an ELF whose
#     addresses are the image's and whose load addresses are file offsets;
#  5. after a check that no blx (not in ARMv4T) came in, objcopy -O binary writes the PE file.
#
# kelbrun_wince_program(<target> OUTPUT <file> SOURCES <file>... [LIBRARIES <static library>...]
#                       [BINDING ordinal|name|cegcc] [IMPORTS_LIST <file>])
# builds <file> (relative to the current binary folder), with <target>.elf beside it. BINDING:
# how it imports from COREDLL (make_imports.py; by ordinal unless told). IMPORTS_LIST: also write
# the integrator's list of its imports there.
#
# kelbrun_wince_program_variant(<target> FROM <program target> OUTPUT <file> BINDING <binding>)
# links the code of a program built above into another executable with other import tables.
function(kelbrun_wince_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;BINDING;IMPORTS_LIST" "SOURCES;LIBRARIES")
    if(NOT arg_OUTPUT OR NOT arg_SOURCES)
        message(FATAL_ERROR "kelbrun_wince_program(${target}): OUTPUT and SOURCES are needed")
    endif()
    get_filename_component(output ${arg_OUTPUT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
    get_filename_component(output_name ${output} NAME)

    add_library(${target}_code OBJECT ${arg_SOURCES})
    target_include_directories(${target}_code PRIVATE ${PROJECT_SOURCE_DIR})
    kelbrun_warnings(${target}_code)

    set(libraries)
    foreach(library IN LISTS arg_LIBRARIES ITEMS kelbrun_wince_startup)
        list(APPEND libraries $<TARGET_FILE:${library}>)
    endforeach()

    set(program_object ${CMAKE_CURRENT_BINARY_DIR}/${target}.program.o)
    add_custom_command(
        OUTPUT ${program_object}
        COMMAND ${CMAKE_LINKER} -r --gc-sections -e KelbrunEntry -u KelbrunEntry
                -o ${program_object} $<TARGET_OBJECTS:${target}_code>
                --start-group ${libraries} --end-group
        DEPENDS ${target}_code $<TARGET_OBJECTS:${target}_code> ${arg_LIBRARIES}
                kelbrun_wince_startup ${libraries}
        COMMAND_EXPAND_LISTS
        COMMENT "Linking the code of ${output_name}")
    set_property(TARGET ${target}_code PROPERTY KELBRUN_PROGRAM_OBJECT ${program_object})

    if(NOT arg_BINDING)
        set(arg_BINDING ordinal)
    endif()
    kelbrun_wince_link(${target} ${program_object} ${output} ${arg_BINDING} "${arg_IMPORTS_LIST}")
endfunction()

function(kelbrun_wince_program_variant target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "FROM;OUTPUT;BINDING" "")
    if(NOT arg_FROM OR NOT arg_OUTPUT OR NOT arg_BINDING)
        message(FATAL_ERROR "kelbrun_wince_program_variant(${target}): FROM, OUTPUT and BINDING "
                            "are needed")
    endif()
    get_filename_component(output ${arg_OUTPUT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
    get_property(program_object TARGET ${arg_FROM}_code PROPERTY KELBRUN_PROGRAM_OBJECT)
    kelbrun_wince_link(${target} ${program_object} ${output} ${arg_BINDING} "")
    # One rule makes the program object; built after the program, this target finds it made.
    add_dependencies(${target} ${arg_FROM})
endfunction()

# Steps 3 to 5 for one program object and one binding.
function(kelbrun_wince_link target program_object output binding imports_list)
    get_filename_component(output_name ${output} NAME)
    set(wince_dir ${PROJECT_SOURCE_DIR}/platform/wince)
    set(exports ${PROJECT_SOURCE_DIR}/platform/coredll.exports)

    set(imports ${CMAKE_CURRENT_BINARY_DIR}/${target}.imports.S)
    set(list_option)
    if(imports_list)
        set(list_option --imports-list ${imports_list})
    endif()
    add_custom_command(
        OUTPUT ${imports} ${imports_list}
        COMMAND ${KELBRUN_PYTHON3} ${wince_dir}/make_imports.py --nm ${CMAKE_NM}
                --readelf ${CMAKE_READELF} --exports ${exports} --program ${output_name}
                --binding ${binding} --output ${imports} ${list_option} ${program_object}
        DEPENDS ${program_object} ${wince_dir}/make_imports.py ${exports}
        COMMENT "Writing the COREDLL imports of ${output_name}")

    set_source_files_properties(${program_object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    add_executable(${target} ${wince_dir}/pe_header.S ${imports} ${program_object})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX SUFFIX .elf
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                          LINK_DEPENDS ${wince_dir}/link.ld)
    # No library at all: a call the program cannot make through COREDLL stops the build.
    target_link_options(${target} PRIVATE -nostdlib -static -no-pie -Wl,--build-id=none
                        -Wl,-T,${wince_dir}/link.ld
                        -Wl,--gc-sections -Wl,--orphan-handling=error -Wl,--fatal-warnings
                        -Wl,--no-undefined)
    add_custom_command(
        TARGET ${target} POST_BUILD
        COMMAND ${KELBRUN_PYTHON3} ${wince_dir}/check_interworking.py ${CMAKE_OBJDUMP}
                $<TARGET_FILE:${target}>
        COMMAND ${CMAKE_OBJCOPY} -O binary $<TARGET_FILE:${target}> ${output}
        BYPRODUCTS ${output}
        COMMENT "Writing ${output_name}")
endfunction()
