# The Windows release package: a ZIP of karvex.exe, karvcore.dll (zlib is linked into it), the
# sample game with its "游戏信息.txt" and a usage note. Build the target karv_package, then run
# `cpack` in the build folder under a UTF-8 locale (the file names are Chinese); `make package`
# does both.

# What ships carries no fault switch. A build with the switch (a test build) makes the program
# and the library a second time without it, into ship/, from the same sources and settings; the
# tests keep using their own. A build without tests ships its own program and library.
if(KARV_FAULT_INJECTION)
    karv_add_product(_ship OFF)
    set(KARV_SHIP_DIR ${CMAKE_BINARY_DIR}/ship)
    foreach(target karvplatform_ship karvcore_ship karvcli_ship karvex_ship)
        set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON
                              RUNTIME_OUTPUT_DIRECTORY ${KARV_SHIP_DIR}
                              LIBRARY_OUTPUT_DIRECTORY ${KARV_SHIP_DIR}
                              ARCHIVE_OUTPUT_DIRECTORY ${KARV_SHIP_DIR})
    endforeach()
    set(KARV_PACKAGE_TARGETS karvex_ship karvcore_ship)
else()
    set(KARV_PACKAGE_TARGETS karvex karvcore)
endif()

# The sample game is written by the Windows build of karvsample itself, run through the build's
# emulator, so its configuration names the folders the Windows way.
set(KARV_PACKAGE_SAMPLE_DIR ${CMAKE_BINARY_DIR}/package-sample)
set(KARV_PACKAGE_SAMPLE_STAMP ${CMAKE_BINARY_DIR}/package-sample.stamp)
add_custom_command(
    OUTPUT ${KARV_PACKAGE_SAMPLE_STAMP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${KARV_PACKAGE_SAMPLE_DIR}
    COMMAND karvsample package-sample
    COMMAND ${CMAKE_COMMAND} -E touch ${KARV_PACKAGE_SAMPLE_STAMP}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS karvsample karvcore
    COMMENT "Writing the sample game of the package"
    VERBATIM)
add_custom_target(karv_package_sample DEPENDS ${KARV_PACKAGE_SAMPLE_STAMP})
# Everything the package holds.
add_custom_target(karv_package DEPENDS karv_package_sample ${KARV_PACKAGE_TARGETS})

# The note uses CR LF and a UTF-8 mark, so every Notepad shows it right.
configure_file(${CMAKE_CURRENT_LIST_DIR}/usage-zh.txt.in ${CMAKE_BINARY_DIR}/usage-zh.txt @ONLY
               NEWLINE_STYLE CRLF)

# Everything in one flat folder: Windows finds the DLL beside the program.
install(TARGETS ${KARV_PACKAGE_TARGETS}
        RUNTIME DESTINATION . COMPONENT windows_package
        LIBRARY DESTINATION . COMPONENT windows_package
        ARCHIVE DESTINATION lib COMPONENT windows_package_sdk)
install(DIRECTORY ${KARV_PACKAGE_SAMPLE_DIR}/ DESTINATION . COMPONENT windows_package)
install(FILES ${CMAKE_BINARY_DIR}/usage-zh.txt DESTINATION . RENAME 使用说明.txt
        COMPONENT windows_package)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME karvex)
set(CPACK_PACKAGE_VENDOR karvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME karvex-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The build keeps its debugging information; the package does not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};karvex;windows_package;/")
include(CPack)
