# The installation of a desktop program on Linux, and its Debian package.
#
#   bin/vexlor                                        the program, alone in bin/
#   libexec/vexlor/7z/7z, libexec/vexlor/cdrtools/mkisofs
#   libexec/vexlor/disktools/                         the disk tools (diskutil and mkbootable run
#                                                     as root through pkexec)
#   share/applications/APPID.desktop                  the menu entry
#   share/icons/hicolor/scalable/apps/APPID.svg       the icon
#   share/metainfo/APPID.metainfo.xml                 the AppStream data
#   share/polkit-1/actions/APPID.policy               one action per tool that needs root
#
# Everything is installed writable by its owner alone (root, when installed as root or by the
# package): the tools that run as root must never be replaceable by a user.
set(VEXLOR_APP_ID org.example.vexlor.Vexlor)
set(VEXLOR_ADMIN_TOOLS diskutil mkbootable)
set(VEXLOR_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(FILES ${VEXLOR_PACKAGING_DIR}/${VEXLOR_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${VEXLOR_PACKAGING_DIR}/${VEXLOR_APP_ID}.svg
        DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${VEXLOR_PACKAGING_DIR}/${VEXLOR_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(CODE "
    set(VEXLOR_POLICY_FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/polkit-1/actions/${VEXLOR_APP_ID}.policy\")
    set(VEXLOR_POLICY_ID \"${VEXLOR_APP_ID}\")
    get_filename_component(VEXLOR_POLICY_HELPER_DIR \"\${CMAKE_INSTALL_PREFIX}/${VEXLOR_LIBEXEC_DIR}/disktools\" ABSOLUTE)
    set(VEXLOR_POLICY_TOOLS \"${VEXLOR_ADMIN_TOOLS}\")
    include(\"${CMAKE_SOURCE_DIR}/cmake/WritePolicy.cmake\")
")

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME vexlor)
set(CPACK_PACKAGE_VENDOR Vexlor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Burn, extract, create and edit ISO images")
set(CPACK_PACKAGE_DESCRIPTION
    "Vexlor writes ISO images to USB sticks (made bootable) and to CD/DVD, extracts files from "
    "images, creates and edits images, and copies discs into images.")
set(CPACK_PACKAGE_CONTACT "Vexlor developers <dev@vexlor.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vexlor.example.org/)
# The Qt libraries from the program's own links; then every tool the program runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "p7zip-full, genisoimage, xorriso, syslinux, syslinux-common, mtools, dosfstools, fdisk, util-linux, fusefat, fuseiso, pkexec | policykit-1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "eject")
set(CPACK_GENERATOR DEB)
include(CPack)
