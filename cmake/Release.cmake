# What a release holds. From the host build: kelbrun-sim and the example devices, for dry runs.
# From the win64 build: the launcher and debug-capture, with the README and the examples, which
# cpack packs into one ZIP archive for a unit's integrator.
if(WIN32 AND NOT KELBRUN_WINDOWS_CE)
    install(TARGETS Kelbrun debug-capture RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
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
