# libdeflate, compiled from Debian's source package of the version the machine has (fetched into
# build/deps/libdeflate by scripts/install-deps.sh), with refusals added where libdeflate would
# accept a stream that zlib refuses. The library inflates with libdeflate and lets zlib decide
# whatever libdeflate refuses, so with these the containers accept and refuse exactly what they
# did with zlib alone (the inflate_engines fuzz target holds the two to that):
#  - a block with static codes, whose symbols 286 and 287 libdeflate reads as length 258 and whose
#    distance symbols 30 and 31 as the largest distance;
#  - more than 286 length or 30 distance code lengths;
#  - code lengths whose last repeat runs past their count, and a block without an end code;
#  - an incomplete code (libdeflate reads an empty one as symbol 0, a single one on both bits).
# Only these source lines change; each is looked for, and a source of another version is refused.
# (The machine's own libdeflate has none of them, so every build compiles the sources.)
set(KARV_LIBDEFLATE_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/libdeflate" CACHE PATH
    "libdeflate sources (Debian's source package, unpacked)")
set(KARV_LIBDEFLATE_PATCHED ${CMAKE_BINARY_DIR}/libdeflate)

# karv_libdeflate_patch(FILE OLD NEW): FILE of the sources, copied with its text OLD replaced by
# NEW (the texts hold semicolons: they stay quoted and are never treated as lists).
function(karv_libdeflate_patch file old new)
    set(out ${KARV_LIBDEFLATE_PATCHED}/${file})
    set(source ${KARV_LIBDEFLATE_SOURCE}/${file})
    if(DEFINED KARV_LIBDEFLATE_DONE_${file})
        set(source ${out}.new)
    endif()
    file(READ ${source} text)
    string(FIND "${text}" "${old}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "libdeflate ${file}: not the source this build knows (${old})")
    endif()
    string(REPLACE "${old}" "${new}" text "${text}")
    file(WRITE ${out}.new "${text}")
    set(KARV_LIBDEFLATE_DONE_${file} TRUE PARENT_SCOPE)
endfunction()

# Puts a patched file in place, touching it only when it changed.
function(karv_libdeflate_finish file)
    set(out ${KARV_LIBDEFLATE_PATCHED}/${file})
    configure_file(${out}.new ${out} COPYONLY)
    file(REMOVE ${out}.new)
endfunction()

if(NOT EXISTS ${KARV_LIBDEFLATE_SOURCE}/lib/decompress_template.h)
    message(FATAL_ERROR "libdeflate sources not found in ${KARV_LIBDEFLATE_SOURCE}"
                        " (scripts/install-deps.sh build fetches them)")
endif()
file(GLOB_RECURSE KARV_LIBDEFLATE_FILES RELATIVE ${KARV_LIBDEFLATE_SOURCE}
     ${KARV_LIBDEFLATE_SOURCE}/libdeflate.h ${KARV_LIBDEFLATE_SOURCE}/common_defs.h
     ${KARV_LIBDEFLATE_SOURCE}/lib/*)
foreach(file ${KARV_LIBDEFLATE_FILES})
    if(NOT file STREQUAL "lib/decompress_template.h" AND NOT file STREQUAL "lib/deflate_decompress.c")
        configure_file(${KARV_LIBDEFLATE_SOURCE}/${file} ${KARV_LIBDEFLATE_PATCHED}/${file} COPYONLY)
    endif()
endforeach()
karv_libdeflate_patch(lib/decompress_template.h
    "num_offset_syms = 1 + ((bitbuf >> 8) & BITMASK(5));"
    "num_offset_syms = 1 + ((bitbuf >> 8) & BITMASK(5));
		SAFETY_CHECK(num_litlen_syms <= 286 && num_offset_syms <= 30); /* as zlib */")
karv_libdeflate_patch(lib/decompress_template.h
    "		} while (i < num_litlen_syms + num_offset_syms);
"
    "		} while (i < num_litlen_syms + num_offset_syms);
		SAFETY_CHECK(i == num_litlen_syms + num_offset_syms); /* as zlib */
		SAFETY_CHECK(d->u.l.lens[256] != 0); /* as zlib */
")
karv_libdeflate_patch(lib/decompress_template.h
    "SAFETY_CHECK(block_type == DEFLATE_BLOCKTYPE_STATIC_HUFFMAN);"
    "SAFETY_CHECK(block_type == DEFLATE_BLOCKTYPE_STATIC_HUFFMAN);
		SAFETY_CHECK(0); /* static codes: zlib decides */")
karv_libdeflate_finish(lib/decompress_template.h)
karv_libdeflate_patch(lib/deflate_decompress.c
    "	if (unlikely(codespace_used < (1U << max_codeword_len))) {
"
    "	if (unlikely(codespace_used < (1U << max_codeword_len))) {
		return false; /* zlib decides */
")
karv_libdeflate_finish(lib/deflate_decompress.c)

file(GLOB KARV_LIBDEFLATE_C ${KARV_LIBDEFLATE_PATCHED}/lib/*.c ${KARV_LIBDEFLATE_PATCHED}/lib/x86/*.c)
add_library(karvdeflate STATIC ${KARV_LIBDEFLATE_C})
set_target_properties(karvdeflate PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(karvdeflate SYSTEM PUBLIC ${KARV_LIBDEFLATE_PATCHED})
target_compile_definitions(karvdeflate PUBLIC LIBDEFLATE_STATIC)
# Third-party code: its own warnings are not ours to fix.
target_compile_options(karvdeflate PRIVATE -w)
set(KARV_LIBDEFLATE karvdeflate)
