# cmake -DLICENSE=<LICENSE> -DOUTPUT=<copyright> -DNAME=<package> -DSOURCE=<url> -P copyright.cmake
#
# Writes the package's machine-readable copyright file (Debian's copyright
# format 1.0) from the LICENSE at the top of the source: its copyright line
# and, as the Expat licence's text, everything after that line.
foreach(variable LICENSE OUTPUT NAME SOURCE)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "copyright.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${LICENSE}" license)
string(REPLACE "\r\n" "\n" license "${license}")
if(NOT license MATCHES "^MIT License\n")
    message(FATAL_ERROR "${LICENSE} is not the MIT licence this file is written for")
endif()
if(NOT license MATCHES "\nCopyright \\(c\\) ([0-9]+(-[0-9]+)?) ([^\n]+)\n")
    message(FATAL_ERROR "${LICENSE} has no line 'Copyright (c) YEAR HOLDER'")
endif()
set(years "${CMAKE_MATCH_1}")
set(holder "${CMAKE_MATCH_3}")

# The licence's text: after the copyright line, blank lines at either end
# dropped, each line indented by one space and an empty line written " .".
string(REGEX REPLACE "^.*\nCopyright \\(c\\) [^\n]+\n" "" text "${license}")
string(REGEX REPLACE "^\n+" "" text "${text}")
string(REGEX REPLACE "[ \n]+$" "" text "${text}")
string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " text "${text}")

file(WRITE "${OUTPUT}.new"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${NAME}
Source: ${SOURCE}

Files: *
Copyright: ${years} ${holder}
License: Expat

License: Expat
 ${text}
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
