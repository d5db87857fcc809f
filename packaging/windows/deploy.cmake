# Run at install time, after the programs and every DLL they load are in
# bin/ (install(RUNTIME_DEPENDENCY_SET)): windeployqt adds Qt's plugins, and
# every DLL those plugins load is added from where Qt and the compiler live.
# SPIFFS_WINDEPLOYQT, SPIFFS_OBJDUMP and SPIFFS_RUNTIME_FOLDERS are set by
# the install rules before. Any step that fails stops the install.
set(bin "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
execute_process(COMMAND "${SPIFFS_WINDEPLOYQT}" --no-translations --no-opengl-sw --no-system-d3d-compiler
                        --dir "${bin}" "${bin}/spiffs-manager.exe" "${bin}/spiffs-cli.exe"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "windeployqt failed")
endif()

# The plugins' own needs: the image formats' libjpeg, libtiff, libwebp. The
# system loads them from the programs' folder, so that is searched first.
if(SPIFFS_OBJDUMP)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${SPIFFS_OBJDUMP}")
endif()
file(GLOB_RECURSE plugins "${bin}/*/*.dll")
if(NOT plugins)
    message(FATAL_ERROR "windeployqt put no plugin in ${bin}: the window would not start")
endif()
file(GET_RUNTIME_DEPENDENCIES
     LIBRARIES ${plugins}
     DIRECTORIES "${bin}" ${SPIFFS_RUNTIME_FOLDERS}
     PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
     POST_EXCLUDE_REGEXES "^[A-Za-z]:[/\\][Ww][Ii][Nn][Dd][Oo][Ww][Ss][/\\]"
     RESOLVED_DEPENDENCIES_VAR found
     UNRESOLVED_DEPENDENCIES_VAR missing)
if(missing)
    message(FATAL_ERROR "Qt's plugins need DLLs found neither beside the programs nor in ${SPIFFS_RUNTIME_FOLDERS}: "
                        "${missing}")
endif()
foreach(dll IN LISTS found)
    get_filename_component(name "${dll}" NAME)
    if(NOT EXISTS "${bin}/${name}")
        file(INSTALL "${dll}" DESTINATION "${bin}")
    endif()
endforeach()
