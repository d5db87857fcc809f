# The oldest macOS the disk image serves, before project() as CMake wants it.
# The image is built on an Apple silicon runner (macos-14) against
# Homebrew's qt@5, whose libraries are built for the runner's own macOS: the
# program runs on no older one than they do, whatever it claims. Info.plist's
# LSMinimumSystemVersion is this value (packaging/desktops.cmake checks the
# Qt it links against does not need a newer one).
if(CMAKE_HOST_APPLE)
    set(CMAKE_OSX_DEPLOYMENT_TARGET 14.0 CACHE STRING "The oldest macOS the programs run on")
    set(SPIFFS_MACOS_MINIMUM ${CMAKE_OSX_DEPLOYMENT_TARGET})
else()
    set(SPIFFS_MACOS_MINIMUM 14.0)
endif()
