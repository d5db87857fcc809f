# The window as Windows and macOS expect a program: a Windows GUI program
# with its icon and version resource, a macOS app bundle, Qt's libraries
# deployed beside the programs at install time, and CPack's installers (NSIS
# and ZIP on Windows, a disk image on macOS).

# Where Qt's own tools live: windeployqt and macdeployqt sit beside qmake.
if(TARGET Qt${SPIFFS_QT_MAJOR}::qmake)
    get_target_property(spiffs_qmake Qt${SPIFFS_QT_MAJOR}::qmake IMPORTED_LOCATION)
    get_filename_component(spiffs_qt_bin "${spiffs_qmake}" DIRECTORY)
endif()

if(WIN32)
    # A GUI program: no console window opens beside it. spiffs-cli stays a
    # console program.
    set_target_properties(spiffs-manager PROPERTIES WIN32_EXECUTABLE ON)
    set(spiffs_rc ${PROJECT_BINARY_DIR}/packaging/spiffs-manager.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/spiffs-manager.rc.in ${spiffs_rc} @ONLY)
    target_sources(spiffs-manager PRIVATE ${spiffs_rc})
    set_source_files_properties(${spiffs_rc} PROPERTIES OBJECT_DEPENDS ${SPIFFS_ICO})
    add_dependencies(spiffs-manager spiffs-desktop-icons)

    install(TARGETS spiffs-manager spiffs-cli RUNTIME DESTINATION bin)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/troubleshooting.md
                  ${PROJECT_SOURCE_DIR}/LICENSE
            DESTINATION doc)
    # Qt's DLLs, its platform plugin and the compiler's runtime, beside the
    # two programs, which share them.
    find_program(SPIFFS_WINDEPLOYQT windeployqt HINTS "${spiffs_qt_bin}")
    if(NOT SPIFFS_WINDEPLOYQT)
        message(WARNING "windeployqt not found: an install or a package will lack Qt's DLLs")
    else()
        install(CODE "
            set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
            execute_process(COMMAND \"${SPIFFS_WINDEPLOYQT}\" --no-translations --no-opengl-sw
                                    --no-system-d3d-compiler --dir \"\${bin}\"
                                    \"\${bin}/spiffs-manager.exe\" \"\${bin}/spiffs-cli.exe\"
                            RESULT_VARIABLE result)
            if(NOT result EQUAL 0)
                message(FATAL_ERROR \"windeployqt failed\")
            endif()")
    endif()
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
    # An app bundle whose id is the AppStream id, with the icon inside.
    set(spiffs_plist ${PROJECT_BINARY_DIR}/packaging/Info.plist)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/macos/Info.plist.in ${spiffs_plist} @ONLY)
    target_sources(spiffs-manager PRIVATE ${SPIFFS_ICNS})
    set_source_files_properties(${SPIFFS_ICNS} PROPERTIES MACOSX_PACKAGE_LOCATION Resources GENERATED TRUE)
    set_target_properties(spiffs-manager PROPERTIES MACOSX_BUNDLE ON MACOSX_BUNDLE_INFO_PLIST ${spiffs_plist})

    # spiffs-cli lives in the bundle beside the window's executable and uses
    # the same Qt frameworks; README says how to put it on PATH.
    set(spiffs_bundle spiffs-manager.app)
    install(TARGETS spiffs-manager BUNDLE DESTINATION .)
    install(TARGETS spiffs-cli RUNTIME DESTINATION ${spiffs_bundle}/Contents/MacOS)
    find_program(SPIFFS_MACDEPLOYQT macdeployqt HINTS "${spiffs_qt_bin}")
    if(NOT SPIFFS_MACDEPLOYQT)
        message(WARNING "macdeployqt not found: an install or a package will lack Qt's frameworks")
    else()
        install(CODE "
            set(bundle \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${spiffs_bundle}\")
            execute_process(COMMAND \"${SPIFFS_MACDEPLOYQT}\" \"\${bundle}\"
                                    \"-executable=\${bundle}/Contents/MacOS/spiffs-cli\" -always-overwrite
                            RESULT_VARIABLE result)
            if(NOT result EQUAL 0)
                message(FATAL_ERROR \"macdeployqt failed\")
            endif()")
    endif()

    set(CPACK_GENERATOR DragNDrop)
    set(CPACK_DMG_VOLUME_NAME "SPIFFS Manager")
    set(CPACK_DMG_FORMAT UDZO)
    set(CPACK_PACKAGE_ICON ${SPIFFS_ICNS})
    # The licence is in the bundle's folder; no agreement to click through.
    set(CPACK_DMG_SLA_USE_RESOURCE_FILE_LICENSE OFF)
endif()
