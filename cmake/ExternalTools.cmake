# Places the external programs where the application looks for them: as 7z/7z and
# cdrtools/mkisofs in its tool folder, which is the executable's folder in the build folder and
# VEXLOR_LIBEXEC_DIR in an installation (never bin/, where 7z is the name of a system program).
find_program(VEXLOR_7Z_PROGRAM NAMES 7z 7zz REQUIRED)

set(VEXLOR_TOOL_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
file(MAKE_DIRECTORY ${VEXLOR_TOOL_DIR}/7z ${VEXLOR_TOOL_DIR}/cdrtools)
file(CREATE_LINK ${VEXLOR_7Z_PROGRAM} ${VEXLOR_TOOL_DIR}/7z/7z SYMBOLIC)

# A folder made at install time, readable by all and writable by its owner alone whatever the
# installing process's file-creation mask.
set(VEXLOR_INSTALL_MAKE_DIR "
    macro(vexlor_make_dir dir)
        file(MAKE_DIRECTORY \${dir})
        file(CHMOD \${dir} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
             GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endmacro()
")
install(CODE "${VEXLOR_INSTALL_MAKE_DIR}
    vexlor_make_dir(\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEXLOR_LIBEXEC_DIR})
    vexlor_make_dir(\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEXLOR_LIBEXEC_DIR}/7z)
    file(CREATE_LINK ${VEXLOR_7Z_PROGRAM} \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEXLOR_LIBEXEC_DIR}/7z/7z SYMBOLIC)
")

# mkisofs: the launcher in tools/mkisofs when the project ships one, else the system's program.
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/mkisofs/mkisofs)
    set(VEXLOR_MKISOFS_PROGRAM ${CMAKE_SOURCE_DIR}/tools/mkisofs/mkisofs)
    configure_file(${VEXLOR_MKISOFS_PROGRAM} ${VEXLOR_TOOL_DIR}/cdrtools/mkisofs COPYONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    install(PROGRAMS ${VEXLOR_MKISOFS_PROGRAM} DESTINATION ${VEXLOR_LIBEXEC_DIR}/cdrtools)
else()
    find_program(VEXLOR_MKISOFS_PROGRAM NAMES mkisofs genisoimage REQUIRED)
    file(CREATE_LINK ${VEXLOR_MKISOFS_PROGRAM} ${VEXLOR_TOOL_DIR}/cdrtools/mkisofs SYMBOLIC)
    install(CODE "${VEXLOR_INSTALL_MAKE_DIR}
        vexlor_make_dir(\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEXLOR_LIBEXEC_DIR}/cdrtools)
        file(CREATE_LINK ${VEXLOR_MKISOFS_PROGRAM} \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEXLOR_LIBEXEC_DIR}/cdrtools/mkisofs SYMBOLIC)
    ")
endif()
