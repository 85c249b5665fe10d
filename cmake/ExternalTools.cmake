# Places the external programs where the application looks for them: beside the executable as
# 7z/7z and cdrtools/mkisofs, both in the build folder and in an installation.
find_program(VEXLOR_7Z_PROGRAM NAMES 7z 7zz REQUIRED)

set(VEXLOR_TOOL_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
file(MAKE_DIRECTORY ${VEXLOR_TOOL_DIR}/7z ${VEXLOR_TOOL_DIR}/cdrtools)
file(CREATE_LINK ${VEXLOR_7Z_PROGRAM} ${VEXLOR_TOOL_DIR}/7z/7z SYMBOLIC)
install(CODE "
    file(MAKE_DIRECTORY \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/7z)
    file(CREATE_LINK ${VEXLOR_7Z_PROGRAM} \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/7z/7z SYMBOLIC)
")

# mkisofs: the launcher in tools/mkisofs when the project ships one, else the system's program.
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/mkisofs/mkisofs)
    set(VEXLOR_MKISOFS_PROGRAM ${CMAKE_SOURCE_DIR}/tools/mkisofs/mkisofs)
    configure_file(${VEXLOR_MKISOFS_PROGRAM} ${VEXLOR_TOOL_DIR}/cdrtools/mkisofs COPYONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    install(PROGRAMS ${VEXLOR_MKISOFS_PROGRAM} DESTINATION bin/cdrtools)
else()
    find_program(VEXLOR_MKISOFS_PROGRAM NAMES mkisofs genisoimage REQUIRED)
    file(CREATE_LINK ${VEXLOR_MKISOFS_PROGRAM} ${VEXLOR_TOOL_DIR}/cdrtools/mkisofs SYMBOLIC)
    install(CODE "
        file(MAKE_DIRECTORY \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/cdrtools)
        file(CREATE_LINK ${VEXLOR_MKISOFS_PROGRAM} \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/cdrtools/mkisofs SYMBOLIC)
    ")
endif()
