# The library's boundary: the program and the tools include the library's public headers
# (karvcore/...) and the platform layer (platform/...), never a private header of the library.
# Run as: cmake -DROOT=<source folder> -P check-includes.cmake
file(GLOB_RECURSE sources ${ROOT}/cli/*.cpp ${ROOT}/cli/*.h ${ROOT}/tools/*.cpp ${ROOT}/tools/*.h)
set(failures "")
foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^#include \"")
    foreach(line ${lines})
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
        if(NOT header MATCHES "^(platform|karvcore)/" AND EXISTS ${ROOT}/core/src/${header})
            list(APPEND failures "${source}: ${header}")
        endif()
    endforeach()
endforeach()
if(failures)
    list(JOIN failures "\n" text)
    message(FATAL_ERROR "private headers of the library included outside it:\n${text}")
endif()
