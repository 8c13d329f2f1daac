# Installation and the Debian package: the two programs, a menu entry for each, the icon they
# share, their manual pages, and the copyright file and changelog Debian asks of a package.
# Included at the end of the top-level CMakeLists.txt.
#
#   cmake --install build --prefix ~/.local     # install without a package
#   cd build && cpack -G DEB                    # build/zq80415_<version>_<arch>.deb
#
# scripts/package does both and checks the result.

include(GNUInstallDirs)

install(TARGETS zq80415 zq80415-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES assets/zq80415.desktop assets/zq80415-sim.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Both desktop entries say Icon=zq80415: the file names here must match.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES assets/hicolor/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME zq80415.png)
endforeach()
install(FILES assets/hicolor/scalable.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME zq80415.svg)

# Manual pages and the changelog are installed compressed as Debian has them: gzip -9n, which
# leaves out the name and time that would make two builds differ.
function(zq_gzip source output)
    get_filename_component(name ${output} NAME_WLE)
    set(copy ${CMAKE_BINARY_DIR}/gz/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source} VERBATIM)
    set(zq_gzipped ${zq_gzipped} ${copy}.gz PARENT_SCOPE)
endfunction()
zq_gzip(docs/man/zq80415.1 zq80415.1.gz)
zq_gzip(docs/man/zq80415-sim.1 zq80415-sim.1.gz)
zq_gzip(cmake/debian/changelog changelog.Debian.gz)
add_custom_target(compressed_docs ALL DEPENDS ${zq_gzipped})
install(FILES ${CMAKE_BINARY_DIR}/gz/zq80415.1.gz ${CMAKE_BINARY_DIR}/gz/zq80415-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES cmake/debian/copyright ${CMAKE_BINARY_DIR}/gz/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zq80415)
install(FILES cmake/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME zq80415)

# The service template that runs the panel headless on one board, and its starter. Both name
# installed paths, so they are written when installing, under the prefix installed to (the
# package's /usr, or the one given to cmake --install).
install(CODE "
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(libexecdir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/zq80415\")
    foreach(file zq80415@.service start-headless)
        configure_file(${PROJECT_SOURCE_DIR}/service/\${file}.in
                       ${CMAKE_BINARY_DIR}/service/\${file} @ONLY)
    endforeach()")
install(FILES ${CMAKE_BINARY_DIR}/service/zq80415@.service DESTINATION lib/systemd/system)
install(PROGRAMS ${CMAKE_BINARY_DIR}/service/start-headless
        DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/zq80415)
# The i2c and zq80415 groups the template names, created by the package's postinst when absent.
install(FILES service/zq80415.sysusers DESTINATION lib/sysusers.d RENAME zq80415.conf)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zq80415)
set(CPACK_PACKAGE_VERSION ${CMAKE_PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZQ80415 panel developers <panel@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for the ZQ80415 audio amplifier board")
# Debian wants the description's lines within 80 columns, the space dpkg puts before each
# included.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "One window sets every option and both volumes of the ZQ80415 audio\n"
    "amplifier on its evaluation board, each change written to the chip as\n"
    "one I2C write: bit-banged through a parallel port (/dev/parport0 by\n"
    "default, through the kernel's ppdev driver), or sent through any kernel\n"
    "I2C adapter (/dev/i2c-N, through i2c-dev), such as a USB-to-I2C bridge\n"
    "or the PC's SMBus controller.\n"
    "\n"
    "zq80415-sim runs the same panel on a simulated board, which prints each\n"
    "register write instead: for trying the panel and for demonstrations\n"
    "without a board.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The default preset builds with debug information; the package ships stripped programs, as
# Debian packages do (the unstripped ones stay in build/ for debugging).
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The Debian revision; cmake/debian/changelog's latest entry must name the same version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Cross-built, the package is for the machine built for, not this one: dpkg names its
# architecture from the compiler's GNU type (aarch64-linux-gnu is arm64).
if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
        OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()
# dpkg-shlibdeps finds the libraries the programs link to (Qt, libstdc++, libc). It cannot see
# what Qt loads at run time: the platform plugins (no GUI starts without one) and the font the
# panel asks for by name so that captions fit their controls.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
# Without it a Wayland session falls back to X11 (through Xwayland) with a warning; without
# avahi-daemon the SCPI port is not advertised with DNS-SD.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, avahi-daemon")
# --vxi11 registers with the portmapper.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS rpcbind)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/service/postinst)

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
