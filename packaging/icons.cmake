# The program's icon for both, packed from the hicolor PNGs at build time.
# Made on every system, so that a test here checks what Windows and macOS get.
add_executable(spiffs-icon-pack ${PROJECT_SOURCE_DIR}/resources/icons/iconpack.cpp)
target_link_libraries(spiffs-icon-pack PRIVATE Qt::Gui)
spiffs_strict_warnings(spiffs-icon-pack)
set(spiffs_hicolor ${PROJECT_SOURCE_DIR}/resources/icons/hicolor)
file(GLOB spiffs_hicolor_pngs ${spiffs_hicolor}/*/apps/spiffs-manager.png)
set(SPIFFS_ICO ${PROJECT_BINARY_DIR}/packaging/spiffs-manager.ico)
set(SPIFFS_ICNS ${PROJECT_BINARY_DIR}/packaging/spiffs-manager.icns)
foreach(kind IN ITEMS ico icns)
    string(TOUPPER ${kind} upper)
    add_custom_command(OUTPUT ${SPIFFS_${upper}}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
        COMMAND spiffs-icon-pack ${kind} ${spiffs_hicolor} ${SPIFFS_${upper}}
        DEPENDS spiffs-icon-pack ${spiffs_hicolor_pngs}
        COMMENT "Packing the program's icon as spiffs-manager.${kind}" VERBATIM)
endforeach()
add_custom_target(spiffs-desktop-icons ALL DEPENDS ${SPIFFS_ICO} ${SPIFFS_ICNS})
