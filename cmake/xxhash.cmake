# xxHash, Debian's libxxhash-dev (0.8 in bookworm), for the mod packages' XXH3-128: used
# header-only (XXH_INLINE_ALL) in both builds, so the Windows build needs no library. The header
# is staged into the build tree, as cmake/json.cmake stages nlohmann-json, so the cross compiler
# never sees the system's include folder.
find_path(KARV_XXHASH_INCLUDE xxhash.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KARV_XXHASH_INCLUDE)
    message(FATAL_ERROR "xxhash.h not found: run scripts/install-deps.sh build")
endif()
file(STRINGS ${KARV_XXHASH_INCLUDE}/xxhash.h KARV_XXHASH_VERSION_LINES
     REGEX "#define XXH_VERSION_(MAJOR|MINOR) ")
string(REGEX MATCH "MAJOR +([0-9]+)" _ "${KARV_XXHASH_VERSION_LINES}")
set(KARV_XXHASH_MAJOR ${CMAKE_MATCH_1})
string(REGEX MATCH "MINOR +([0-9]+)" _ "${KARV_XXHASH_VERSION_LINES}")
set(KARV_XXHASH_MINOR ${CMAKE_MATCH_1})
if("${KARV_XXHASH_MAJOR}" STREQUAL "" OR "${KARV_XXHASH_MINOR}" STREQUAL "" OR
   (KARV_XXHASH_MAJOR EQUAL 0 AND KARV_XXHASH_MINOR LESS 8))
    message(FATAL_ERROR
            "xxHash ${KARV_XXHASH_MAJOR}.${KARV_XXHASH_MINOR} found, 0.8 or later needed")
endif()
set(KARV_XXHASH_STAGED ${CMAKE_BINARY_DIR}/staged/xxhash)
file(COPY ${KARV_XXHASH_INCLUDE}/xxhash.h DESTINATION ${KARV_XXHASH_STAGED})
add_library(karvxxhash INTERFACE)
target_include_directories(karvxxhash SYSTEM INTERFACE ${KARV_XXHASH_STAGED})
# Every function inline and static in the file that includes the header: nothing to link.
target_compile_definitions(karvxxhash INTERFACE XXH_INLINE_ALL)

# The AVX2 path (core/src/mods/xxh3_wide.c): that one file compiled for AVX2 on x86-64 and taken
# at run time where the processor has it. mingw-w64's GCC does not keep the stack aligned for
# 32-byte values it spills (a fault of its Windows target), so there the assembler turns every
# aligned vector move into an unaligned one; without that option the file stays baseline.
set(KARV_XXH3_WIDE_SOURCE ${CMAKE_SOURCE_DIR}/core/src/mods/xxh3_wide.c)
set(KARV_XXH3_WIDE_OPTIONS "")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND
   CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
    include(CheckCCompilerFlag)
    if(WIN32)
        check_c_compiler_flag(-Wa,-muse-unaligned-vector-move KARV_UNALIGNED_VECTOR_MOVES)
        if(KARV_UNALIGNED_VECTOR_MOVES)
            set(KARV_XXH3_WIDE_OPTIONS -mavx2 -Wa,-muse-unaligned-vector-move)
        endif()
    else()
        set(KARV_XXH3_WIDE_OPTIONS -mavx2)
    endif()
endif()
set_source_files_properties(${KARV_XXH3_WIDE_SOURCE} PROPERTIES
                            COMPILE_OPTIONS "${KARV_XXH3_WIDE_OPTIONS}")
