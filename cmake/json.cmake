# nlohmann-json, Debian's nlohmann-json3-dev (3.11 in bookworm): header-only. Both builds take
# the headers staged into the build tree, so the Windows build compiles them without the
# system's include folder on the cross compiler's path.
find_path(KARV_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT KARV_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: run scripts/install-deps.sh build")
endif()
file(STRINGS ${KARV_JSON_INCLUDE}/nlohmann/detail/abi_macros.hpp KARV_JSON_VERSION_LINES
     REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR) ")
string(REGEX MATCH "MAJOR ([0-9]+)" _ "${KARV_JSON_VERSION_LINES}")
set(KARV_JSON_MAJOR ${CMAKE_MATCH_1})
string(REGEX MATCH "MINOR ([0-9]+)" _ "${KARV_JSON_VERSION_LINES}")
set(KARV_JSON_MINOR ${CMAKE_MATCH_1})
if(NOT KARV_JSON_MAJOR EQUAL 3 OR KARV_JSON_MINOR LESS 11)
    message(FATAL_ERROR "nlohmann-json ${KARV_JSON_MAJOR}.${KARV_JSON_MINOR} found, 3.11 or later needed")
endif()
set(KARV_JSON_STAGED ${CMAKE_BINARY_DIR}/staged/json)
file(COPY ${KARV_JSON_INCLUDE}/nlohmann DESTINATION ${KARV_JSON_STAGED})
add_library(karvjson INTERFACE)
target_include_directories(karvjson SYSTEM INTERFACE ${KARV_JSON_STAGED})
