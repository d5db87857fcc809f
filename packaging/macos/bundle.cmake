# The app bundle's Info.plist, made from Info.plist.in, and checked against
# what the build says: the bundle id holds only what macOS allows, and the
# plist names the bundle id and the oldest macOS the build is made for.
set(SPIFFS_INFO_PLIST ${PROJECT_BINARY_DIR}/packaging/Info.plist)
configure_file(${PROJECT_SOURCE_DIR}/packaging/macos/Info.plist.in ${SPIFFS_INFO_PLIST} @ONLY)

if(NOT SPIFFS_BUNDLE_ID MATCHES "^[A-Za-z0-9.-]+$")
    message(FATAL_ERROR "The bundle id '${SPIFFS_BUNDLE_ID}' holds more than letters, digits, '-' and '.'")
endif()
file(READ ${SPIFFS_INFO_PLIST} spiffs_plist_text)
foreach(key_value IN ITEMS "CFBundleIdentifier|${SPIFFS_BUNDLE_ID}" "LSMinimumSystemVersion|${SPIFFS_MACOS_MINIMUM}"
                           "CFBundleExecutable|spiffs-manager" "CFBundleShortVersionString|${PROJECT_VERSION}")
    string(REPLACE "|" ";" key_value "${key_value}")
    list(GET key_value 0 key)
    list(GET key_value 1 value)
    if(NOT spiffs_plist_text MATCHES "<key>${key}</key>[ \t\r\n]*<string>([^<]*)</string>")
        message(FATAL_ERROR "Info.plist has no ${key}")
    endif()
    if(NOT CMAKE_MATCH_1 STREQUAL value)
        message(FATAL_ERROR "Info.plist's ${key} is '${CMAKE_MATCH_1}', the build's is '${value}'")
    endif()
endforeach()
if(APPLE AND NOT CMAKE_OSX_DEPLOYMENT_TARGET VERSION_EQUAL SPIFFS_MACOS_MINIMUM)
    message(FATAL_ERROR "The deployment target ${CMAKE_OSX_DEPLOYMENT_TARGET} is not Info.plist's ${SPIFFS_MACOS_MINIMUM}")
endif()
