# The window as Windows and macOS expect a program: a Windows GUI program
# with its icon and version resource, a macOS app bundle, Qt's libraries and
# every DLL they need deployed beside the programs at install time, the
# bundle signed again after that, and CPack's installers (NSIS and ZIP on
# Windows, a disk image on macOS). A step that cannot be done stops the
# configure or the install, rather than make a package that does not start.

# Where Qt's own tools live: windeployqt and macdeployqt sit beside qmake.
if(TARGET Qt${SPIFFS_QT_MAJOR}::qmake)
    get_target_property(spiffs_qmake Qt${SPIFFS_QT_MAJOR}::qmake IMPORTED_LOCATION)
    get_filename_component(spiffs_qt_bin "${spiffs_qmake}" DIRECTORY)
endif()

if(WIN32)
    if(CMAKE_VERSION VERSION_LESS 3.21)
        message(FATAL_ERROR "Packaging for Windows needs CMake 3.21 (install(RUNTIME_DEPENDENCY_SET))")
    endif()
    # A GUI program: no console window opens beside it. spiffs-cli stays a
    # console program.
    set_target_properties(spiffs-manager PROPERTIES WIN32_EXECUTABLE ON)
    set(spiffs_rc ${PROJECT_BINARY_DIR}/packaging/spiffs-manager.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/spiffs-manager.rc.in ${spiffs_rc} @ONLY)
    target_sources(spiffs-manager PRIVATE ${spiffs_rc})
    set_source_files_properties(${spiffs_rc} PROPERTIES OBJECT_DEPENDS ${SPIFFS_ICO})
    add_dependencies(spiffs-manager spiffs-desktop-icons)

    # MinGW's objdump reads the DLLs' imports (CMake would look for MSVC's
    # dumpbin first).
    if(MINGW)
        install(CODE "set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
                      set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
                      set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND [[${CMAKE_OBJDUMP}]])")
    endif()
    # Every DLL the two programs load, found where the compiler and Qt live
    # (MSYS2's bin folder): Qt's own, and what Qt needs beside them (zlib,
    # pcre2, ICU, harfbuzz, freetype, libpng, ...), which windeployqt does
    # not copy. Windows' own DLLs stay out.
    get_filename_component(spiffs_compiler_bin "${CMAKE_CXX_COMPILER}" DIRECTORY)
    set(SPIFFS_RUNTIME_FOLDERS ${spiffs_qt_bin} ${spiffs_compiler_bin})
    set(spiffs_system_dlls "^api-ms-" "^ext-ms-")
    # Windows' folder, with either slash.
    set(spiffs_windows_folder "^[A-Za-z]:[/\\\\][Ww][Ii][Nn][Dd][Oo][Ww][Ss][/\\\\]")
    install(TARGETS spiffs-manager spiffs-cli RUNTIME_DEPENDENCY_SET spiffs-runtime RUNTIME DESTINATION bin)
    install(RUNTIME_DEPENDENCY_SET spiffs-runtime
            DIRECTORIES ${SPIFFS_RUNTIME_FOLDERS}
            PRE_EXCLUDE_REGEXES ${spiffs_system_dlls}
            POST_EXCLUDE_REGEXES "${spiffs_windows_folder}"
            RUNTIME DESTINATION bin)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/troubleshooting.md
                  ${PROJECT_SOURCE_DIR}/LICENSE
            DESTINATION doc)
    # Qt's DLLs, its platform plugin and the compiler's runtime, beside the
    # two programs, which share them. Without windeployqt the package would
    # not start: no platform plugin.
    find_program(SPIFFS_WINDEPLOYQT windeployqt HINTS "${spiffs_qt_bin}")
    if(NOT SPIFFS_WINDEPLOYQT)
        message(FATAL_ERROR "windeployqt not found beside Qt (${spiffs_qt_bin}): an install or a package would lack "
                            "Qt's plugins. MSYS2: pacman -S mingw-w64-ucrt-x86_64-qt5-tools")
    endif()
    # windeployqt, then the DLLs its plugins need, at install time.
    install(CODE "set(SPIFFS_WINDEPLOYQT [[${SPIFFS_WINDEPLOYQT}]])
                  set(SPIFFS_OBJDUMP [[${CMAKE_OBJDUMP}]])
                  set(SPIFFS_RUNTIME_FOLDERS [[${SPIFFS_RUNTIME_FOLDERS}]])")
    install(SCRIPT ${PROJECT_SOURCE_DIR}/packaging/windows/deploy.cmake)
    if(MSVC)
        include(InstallRequiredSystemLibraries)
    endif()

    set(CPACK_GENERATOR NSIS ZIP)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "SPIFFS Manager")
    set(CPACK_PACKAGE_EXECUTABLES spiffs-manager "SPIFFS Manager")
    set(CPACK_NSIS_DISPLAY_NAME "SPIFFS Manager")
    set(CPACK_NSIS_PACKAGE_NAME "SPIFFS Manager")
    set(CPACK_NSIS_MUI_ICON ${SPIFFS_ICO})
    set(CPACK_NSIS_MUI_UNIICON ${SPIFFS_ICO})
    set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\spiffs-manager.exe")
    set(CPACK_NSIS_URL_INFO_ABOUT "${SPIFFS_HOMEPAGE}")
    # spiffs-cli on PATH, if the owner wants it there.
    set(CPACK_NSIS_MODIFY_PATH ON)
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
elseif(APPLE)
    # An app bundle whose id is the AppStream id made fit for macOS, with the
    # icon inside; Info.plist is made and checked by macos/bundle.cmake.
    target_sources(spiffs-manager PRIVATE ${SPIFFS_ICNS})
    set_source_files_properties(${SPIFFS_ICNS} PROPERTIES MACOSX_PACKAGE_LOCATION Resources GENERATED TRUE)
    set_target_properties(spiffs-manager PROPERTIES MACOSX_BUNDLE ON MACOSX_BUNDLE_INFO_PLIST ${SPIFFS_INFO_PLIST})

    # Homebrew's Qt is built for the macOS it was built on: a program
    # claiming an older one would not start there.
    get_target_property(spiffs_qtcore Qt${SPIFFS_QT_MAJOR}::Core LOCATION)
    find_program(SPIFFS_OTOOL otool)
    if(SPIFFS_OTOOL AND spiffs_qtcore)
        execute_process(COMMAND ${SPIFFS_OTOOL} -l ${spiffs_qtcore} OUTPUT_VARIABLE spiffs_qtcore_loads)
        if(spiffs_qtcore_loads MATCHES "minos ([0-9.]+)" AND CMAKE_MATCH_1 VERSION_GREATER SPIFFS_MACOS_MINIMUM)
            message(FATAL_ERROR "Qt (${spiffs_qtcore}) needs macOS ${CMAKE_MATCH_1}, newer than the "
                                "${SPIFFS_MACOS_MINIMUM} the bundle claims: configure with "
                                "-DCMAKE_OSX_DEPLOYMENT_TARGET=${CMAKE_MATCH_1}")
        endif()
    endif()

    # spiffs-cli lives in the bundle beside the window's executable and uses
    # the same Qt frameworks; README says how to put it on PATH.
    set(spiffs_bundle spiffs-manager.app)
    install(TARGETS spiffs-manager BUNDLE DESTINATION .)
    install(TARGETS spiffs-cli RUNTIME DESTINATION ${spiffs_bundle}/Contents/MacOS)
    find_program(SPIFFS_MACDEPLOYQT macdeployqt HINTS "${spiffs_qt_bin}")
    if(NOT SPIFFS_MACDEPLOYQT)
        message(FATAL_ERROR "macdeployqt not found beside Qt (${spiffs_qt_bin}): the bundle would lack Qt's frameworks")
    endif()
    find_program(SPIFFS_CODESIGN codesign)
    if(NOT SPIFFS_CODESIGN)
        message(FATAL_ERROR "codesign not found: Apple silicon runs no unsigned program")
    endif()
    # macdeployqt, then the signature again, at install time.
    install(CODE "set(SPIFFS_BUNDLE [[${spiffs_bundle}]])
                  set(SPIFFS_MACDEPLOYQT [[${SPIFFS_MACDEPLOYQT}]])
                  set(SPIFFS_CODESIGN [[${SPIFFS_CODESIGN}]])")
    install(SCRIPT ${PROJECT_SOURCE_DIR}/packaging/macos/deploy.cmake)

    set(CPACK_GENERATOR DragNDrop)
    set(CPACK_DMG_VOLUME_NAME "SPIFFS Manager")
    set(CPACK_DMG_FORMAT UDZO)
    set(CPACK_PACKAGE_ICON ${SPIFFS_ICNS})
    # The licence is in the bundle's folder; no agreement to click through.
    set(CPACK_DMG_SLA_USE_RESOURCE_FILE_LICENSE OFF)
endif()
