# Installation and the Debian package: the two programs, a menu entry for each and the icon
# they share. Included at the end of the top-level CMakeLists.txt.
#
#   cmake --install build --prefix ~/.local     # install without a package
#   cd build && cpack -G DEB                    # build/zq80415_<version>_<arch>.deb
#
# scripts/package does both and checks the result.

include(GNUInstallDirs)

install(TARGETS zq80415 zq80415-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES assets/zq80415.desktop assets/zq80415-sim.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Both desktop entries say Icon=zq80415: the file name here must match.
install(FILES assets/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
        RENAME zq80415.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zq80415)
set(CPACK_PACKAGE_VERSION ${CMAKE_PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZQ80415 panel developers <panel@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for the ZQ80415 audio amplifier board")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "One window sets every option and both volumes of the ZQ80415 audio amplifier on its\n"
    "evaluation board, each change written to the chip as one I2C write bit-banged through\n"
    "the first parallel port (/dev/parport0, through the kernel's ppdev driver).\n"
    "\n"
    "zq80415-sim runs the same panel on a simulated board, which prints each register\n"
    "write instead: for trying the panel and for demonstrations without a board.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The default preset builds with debug information; the package ships stripped programs, as
# Debian packages do (the unstripped ones stay in build/ for debugging).
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps finds the libraries the programs link to (Qt, libstdc++, libc). It cannot see
# what Qt loads at run time: the platform plugins (no GUI starts without one) and the font the
# panel asks for by name so that captions fit their controls.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# `package_source` target: the sources without build trees or Git data. Its configuration
# inherits every CPACK_ variable, the /usr prefix too, which would put the sources under usr/
# in the archive: this file, read by cpack, drops the prefix there (only the source
# configuration lists installed directories).
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-[^/]*/" "\\\\.user$")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
     "if(CPACK_INSTALLED_DIRECTORIES)\n  unset(CPACK_PACKAGING_INSTALL_PREFIX)\nendif()\n")

include(CPack)
