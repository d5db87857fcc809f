# The programs as Linux and the other free desktops install them: under the
# prefix's bin/, with their manual pages, the menu entry, the hicolor icons,
# the AppStream metadata, the completions, the documents and the udev rule;
# the Debian package CPack makes of it (scripts/package).
option(SPIFFS_DEBIAN_PACKAGE "Install for the Debian package: the udev rule in the system's folder, lintian's overrides" OFF)
# udev reads /etc/udev/rules.d and the system's own folder, never a prefix's.
# The package puts the rule in the system's folder: where udev.pc says, else
# /lib/udev/rules.d as on Debian 12. `cmake --install` puts it under the
# prefix, to be copied to /etc/udev/rules.d.
if(SPIFFS_DEBIAN_PACKAGE)
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
        pkg_get_variable(spiffs_udev_dir udev udevdir)
    endif()
    if(NOT spiffs_udev_dir)
        set(spiffs_udev_dir /lib/udev)
    endif()
    set(spiffs_udev_rules_dir ${spiffs_udev_dir}/rules.d)
else()
    set(spiffs_udev_rules_dir lib/udev/rules.d)
endif()

install(TARGETS spiffs-manager spiffs-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(spiffs_programs spiffs-manager spiffs-cli)
if(SPIFFS_HAVE_EMULATOR)
    install(TARGETS spiffs-emulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND spiffs_programs spiffs-emulator)
    # The files a receiver might hold, which the manual pages' examples serve
    # with the emulator (from a copy: it changes the folder it serves).
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sample-store
            DESTINATION ${CMAKE_INSTALL_DATADIR}/spiffs-manager)
endif()
# A stripped install (CPack's, or `cmake --install --strip`) also drops the
# compiler's .comment section, as Debian's dh_strip does.
if(CMAKE_OBJCOPY AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    foreach(program IN LISTS spiffs_programs)
        install(CODE "
            if(CMAKE_INSTALL_DO_STRIP)
                execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}${CMAKE_EXECUTABLE_SUFFIX}\"
                                RESULT_VARIABLE result)
                if(NOT result EQUAL 0)
                    message(FATAL_ERROR \"objcopy failed on ${program}\")
                endif()
            endif()")
    endforeach()
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/spiffs-manager.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Drawn by spiffs-icon-art, one PNG a size.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)


# The AppStream metadata, the copyright file made from LICENSE, and the
# manual pages, changelog and documents compressed as Debian does.
set(spiffs_metainfo ${PROJECT_BINARY_DIR}/packaging/${SPIFFS_APPSTREAM_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/spiffs-manager.metainfo.xml.in ${spiffs_metainfo} @ONLY)
install(FILES ${spiffs_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(spiffs_copyright ${PROJECT_BINARY_DIR}/packaging/copyright)
add_custom_command(OUTPUT ${spiffs_copyright}
    COMMAND ${CMAKE_COMMAND} -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE -DOUTPUT=${spiffs_copyright}
            -DNAME=${PROJECT_NAME} -DSOURCE=${SPIFFS_HOMEPAGE} -P ${PROJECT_SOURCE_DIR}/packaging/copyright.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright.cmake
    COMMENT "Writing the copyright file from LICENSE" VERBATIM)
install(FILES ${spiffs_copyright} DESTINATION ${CMAKE_INSTALL_DOCDIR})

find_program(SPIFFS_GZIP gzip)
if(NOT SPIFFS_GZIP)
    message(FATAL_ERROR "gzip is needed to compress the manual pages and documents")
endif()
set(spiffs_packaging_files ${spiffs_copyright})
# spiffs_gzip(SOURCE INSTALLED_NAME DESTINATION)
function(spiffs_gzip source name destination)
    set(output ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DGZIP=${SPIFFS_GZIP} -DINPUT=${source} -DOUTPUT=${output}
                -P ${PROJECT_SOURCE_DIR}/packaging/gzip.cmake
        DEPENDS ${source} ${PROJECT_SOURCE_DIR}/packaging/gzip.cmake
        COMMENT "Compressing ${name}" VERBATIM)
    install(FILES ${output} DESTINATION ${destination})
    set(spiffs_packaging_files ${spiffs_packaging_files} ${output} PARENT_SCOPE)
endfunction()
spiffs_gzip(${SPIFFS_MANUAL_DIR}/spiffs-manager.1 spiffs-manager.1 ${CMAKE_INSTALL_MANDIR}/man1)
spiffs_gzip(${SPIFFS_CLI_MANUAL} spiffs-cli.1 ${CMAKE_INSTALL_MANDIR}/man1)
# Where Debian's shells look for completions; the same under a prefix.
install(FILES ${SPIFFS_BASH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${SPIFFS_ZSH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${SPIFFS_FISH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
if(SPIFFS_HAVE_EMULATOR)
    spiffs_gzip(${SPIFFS_EMULATOR_MANUAL} spiffs-emulator.1 ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# The version 1.0.0-1 has a Debian revision, so Debian looks for the
# packaging's changelog under this name.
spiffs_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog changelog.Debian ${CMAKE_INSTALL_DOCDIR})
spiffs_gzip(${PROJECT_SOURCE_DIR}/README.md README.md ${CMAKE_INSTALL_DOCDIR})
spiffs_gzip(${PROJECT_SOURCE_DIR}/docs/troubleshooting.md troubleshooting.md ${CMAKE_INSTALL_DOCDIR})
add_custom_target(spiffs-packaging-files ALL DEPENDS ${spiffs_packaging_files})
# spiffs-cli's page is made in cli/, spiffs-emulator's in emulator/: a
# Makefile here has no rule for them.
add_dependencies(spiffs-packaging-files spiffs-cli-generated)
if(SPIFFS_HAVE_EMULATOR)
    add_dependencies(spiffs-packaging-files spiffs-emulator-generated)
endif()

# The receiver's USB bridge: its port for the user at the computer, and
# ModemManager kept away from it. Linux only.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-spiffs-manager.rules DESTINATION ${spiffs_udev_rules_dir})
endif()
if(SPIFFS_DEBIAN_PACKAGE)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME spiffs-manager)
endif()
