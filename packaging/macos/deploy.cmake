# Run at install time, after the bundle and spiffs-cli are in place:
# macdeployqt copies Qt's frameworks into the bundle and points the programs
# at them, which, like stripping, changes binaries the linker had signed ad
# hoc; Apple silicon refuses those as damaged. So the bundle is signed again,
# last, and the signature checked. SPIFFS_BUNDLE, SPIFFS_MACDEPLOYQT and
# SPIFFS_CODESIGN are set by the install rules before. Any step that fails
# stops the install.
set(bundle "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${SPIFFS_BUNDLE}")
execute_process(COMMAND "${SPIFFS_MACDEPLOYQT}" "${bundle}" "-executable=${bundle}/Contents/MacOS/spiffs-cli"
                        -always-overwrite
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "macdeployqt failed")
endif()
foreach(step "--force;--sign;-;${bundle}/Contents/MacOS/spiffs-cli"
             "--force;--deep;--sign;-;${bundle}"
             "--verify;--deep;--strict;--verbose=2;${bundle}")
    execute_process(COMMAND "${SPIFFS_CODESIGN}" ${step} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " shown "${step}")
        message(FATAL_ERROR "codesign ${shown} failed")
    endif()
endforeach()
