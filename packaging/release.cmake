# The release this tree builds, from the latest entry of packaging/changelog:
# its Debian revision and its date. Everything that carries a date (the
# manual pages, the AppStream metadata) takes it from here, so they agree.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog spiffs_changelog_head LIMIT_COUNT 1)
if(NOT spiffs_changelog_head MATCHES "^spiffs-manager \\(([^-)]+)-([^)]+)\\) ")
    message(FATAL_ERROR "packaging/changelog does not start with a 'spiffs-manager (VERSION-REVISION)' entry")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/changelog's latest entry is ${CMAKE_MATCH_1}, the project is ${PROJECT_VERSION}")
endif()
set(SPIFFS_DEBIAN_REVISION ${CMAKE_MATCH_2})
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog spiffs_changelog_trailer
     REGEX "^ -- .*  [A-Z][a-z][a-z], [0-9][0-9] [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9] " LIMIT_COUNT 1)
if(NOT spiffs_changelog_trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/changelog's latest entry has no date")
endif()
set(spiffs_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND spiffs_months ${CMAKE_MATCH_2} spiffs_month)
math(EXPR spiffs_month "${spiffs_month} + 1")
if(spiffs_month LESS 10)
    set(spiffs_month 0${spiffs_month})
endif()
set(SPIFFS_RELEASE_DATE ${CMAKE_MATCH_3}-${spiffs_month}-${CMAKE_MATCH_1})

# The manual pages, with that date and the version in their headers, in
# generated/ beside what the generators make. spiffs-cli's and
# spiffs-emulator's pages are only sources there: spiffs-cli-generate fills
# in the synopsis, the commands, the options and the exit statuses at the
# lines "@SYNOPSIS@", "@COMMANDS@", "@OPTIONS@" and "@EXIT_STATUS@",
# spiffs-emulator-generate the options at "@OPTIONS@"; those lines are left
# as they are.
set(SPIFFS_MANUAL_DIR ${PROJECT_BINARY_DIR}/generated)
set(SYNOPSIS "@SYNOPSIS@")
set(COMMANDS "@COMMANDS@")
set(OPTIONS "@OPTIONS@")
set(EXIT_STATUS "@EXIT_STATUS@")
configure_file(${PROJECT_SOURCE_DIR}/docs/man/spiffs-manager.1.in ${SPIFFS_MANUAL_DIR}/spiffs-manager.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/man/spiffs-emulator.1.in ${SPIFFS_MANUAL_DIR}/spiffs-emulator.1.in @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/man/spiffs-cli.1.in ${SPIFFS_MANUAL_DIR}/spiffs-cli.1.in @ONLY)
unset(SYNOPSIS)
unset(COMMANDS)
unset(OPTIONS)
unset(EXIT_STATUS)
