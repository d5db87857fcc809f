# What `cmake --install` puts in the prefix, and the Debian package CPack
# makes of it (scripts/package).
include(GNUInstallDirs)

install(TARGETS spiffs-manager spiffs-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(SPIFFS_HAVE_EMULATOR)
    install(TARGETS spiffs-emulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/spiffs-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/spiffs-manager.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Drawn by spiffs-icon-art, one PNG a size.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

set(CPACK_PACKAGE_NAME spiffs-manager)
set(CPACK_PACKAGE_VENDOR "SPIFFS manager developers")
set(CPACK_PACKAGE_CONTACT "SPIFFS manager developers <spiffs-manager@localhost>"
    CACHE STRING "The Debian package's Maintainer field")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop file manager for the SPIFFS flash file system of an ESP32-based
SI473X radio receiver, reached over its USB serial port: shows the capacity,
the free space and the files, downloads, uploads, removes and executes files,
formats the file system and reboots the receiver. spiffs-cli does the same
from a shell or a script, with no display needed. Comes with spiffs-emulator,
a stand-in receiver on a pseudo-terminal.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps names the Qt runtime packages the programs link against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
