# What a release holds. From the host build: kelbrun-sim and the example devices, for dry runs.
# From the win64 build: the launcher and debug-capture, with the README, its pages and the
# examples, which cpack packs into one ZIP archive for trials on desktop Windows. From the wince
# build: the device's Kelbrun.EXE with its SHA-256, the list of its COREDLL imports, the README,
# its pages, the examples and the fragments that put it into a unit's OS image, packed the same
# way for the unit's integrator. The pages go along so that the README's links into docs/ hold
# in the archive too.
file(GLOB KELBRUN_DOC_PAGES ${PROJECT_SOURCE_DIR}/docs/*.md)
if(KELBRUN_DEVICE_BUILD)
    if(NOT KELBRUN_THUMB)
        # IMPORTS.txt: what of COREDLL the OS image must hold for the launcher to start, from
        # the build's own import generator.
        install(FILES ${PROJECT_BINARY_DIR}/Kelbrun.EXE ${PROJECT_BINARY_DIR}/IMPORTS.txt
                DESTINATION .)
        # sha256sum's own format, so that `sha256sum -c Kelbrun.EXE.sha256` checks a copy.
        install(CODE "
            file(SHA256 \"${PROJECT_BINARY_DIR}/Kelbrun.EXE\" hash)
            file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/Kelbrun.EXE.sha256\"
                 \"\${hash}  Kelbrun.EXE\\n\")")
        install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
        install(FILES ${KELBRUN_DOC_PAGES} DESTINATION docs)
        install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)
        install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/platform-builder/ DESTINATION platform-builder)

        set(CPACK_GENERATOR ZIP)
        set(CPACK_PACKAGE_NAME Kelbrun)
        set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
        set(CPACK_PACKAGE_FILE_NAME Kelbrun-${PROJECT_VERSION}-wince-armv4i)
        set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
        set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/release)
        include(CPack)
    endif()
elseif(WIN32 AND NOT KELBRUN_WINDOWS_CE)
    install(TARGETS Kelbrun debug-capture RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
    install(FILES ${KELBRUN_DOC_PAGES} DESTINATION docs)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME Kelbrun)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_FILE_NAME Kelbrun-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/release)
    include(CPack)
elseif(NOT WIN32 AND NOT KELBRUN_FUZZ AND NOT KELBRUN_DEVICE_BUILD)
    install(TARGETS kelbrun-sim RUNTIME DESTINATION bin)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION share/kelbrun/examples)
endif()
