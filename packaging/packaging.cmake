# What `cmake --install` puts in the prefix, and the packages CPack makes of
# it: a Debian package (scripts/package), an NSIS installer and a ZIP on
# Windows, a disk image on macOS.
include(GNUInstallDirs)

# Where the project lives. The AppStream id is derived from it and must never
# change once released: software centres know the program by it.
set(SPIFFS_HOMEPAGE "https://github.com/spiffs-manager/spiffs-manager")
set(SPIFFS_SCREENSHOT_URL
    "https://raw.githubusercontent.com/spiffs-manager/spiffs-manager/v${PROJECT_VERSION}/docs/screenshot.png")
set(SPIFFS_APPSTREAM_ID io.github.spiffs_manager.spiffs_manager)
# macOS allows only letters, digits, "-" and "." in a bundle id: the
# AppStream id with its "_" made "-" is the bundle's.
string(REPLACE "_" "-" SPIFFS_BUNDLE_ID "${SPIFFS_APPSTREAM_ID}")
set(SPIFFS_MAINTAINER "SPIFFS manager developers <noreply@spiffs-manager.invalid>"
    CACHE STRING "The Debian package's Maintainer field")
# The program's icon as Windows and macOS want it, made everywhere so that a
# test here checks it.
include(${CMAKE_CURRENT_LIST_DIR}/icons.cmake)
# Info.plist is made and checked on every system, so that a mistake in it
# shows here and not on a Mac.
include(${CMAKE_CURRENT_LIST_DIR}/macos/bundle.cmake)
if(WIN32 OR APPLE)
    include(${CMAKE_CURRENT_LIST_DIR}/desktops.cmake)
else()
    include(${CMAKE_CURRENT_LIST_DIR}/freedesktop.cmake)
endif()

set(CPACK_PACKAGE_NAME spiffs-manager)
set(CPACK_PACKAGE_VENDOR "SPIFFS manager developers")
set(CPACK_PACKAGE_CONTACT "${SPIFFS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop file manager for the SPIFFS flash file system of an ESP32-based
SI473X radio receiver, reached over its USB serial port: shows the capacity,
the free space and the files, downloads, uploads, removes and executes files,
formats the file system and reboots the receiver. spiffs-cli does the same
from a shell or a script, with no display needed. Comes with spiffs-emulator,
a stand-in receiver on a pseudo-terminal.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SPIFFS_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SPIFFS_HOMEPAGE}")
# dpkg-shlibdeps names the Qt runtime packages the programs link against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# bash loads the completion only through bash-completion; zsh and fish need nothing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
include(CPack)
