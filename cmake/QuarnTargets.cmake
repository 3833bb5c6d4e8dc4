# Shared settings of every target we build, and the helpers that make a
# module (a DLL with its export table and version resource).

# Sources are UTF-8; every message the agent produces is GBK.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # clang (the fuzz preset) has no GBK execution charset: its builds keep
  # literals in UTF-8, which the byte-level code they exercise does not mind.
  add_compile_options(-finput-charset=UTF-8)
else()
  add_compile_options(-finput-charset=UTF-8 -fexec-charset=GBK)
endif()

if(WIN32)
  set(QUARN_OS_BACKEND win32)
  enable_language(RC)
  # C and C++ runtimes linked in: our binaries depend on system DLLs only.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  set(QUARN_OS_BACKEND posix)
endif()

if(QUARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings as errors in our own code (not in third-party code we build).
function(quarn_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wformat=2
                         -Wshadow -Wnon-virtual-dtor -Wcast-align -Wnull-dereference
                         -Wdouble-promotion -Wimplicit-fallthrough)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

# quarn_version_info(<target> FILE_NAME <name> [DESCRIPTION <text>])
# The version information of a binary: a VERSIONINFO resource on Windows, a
# ".quarn_version" section on POSIX (read back by os::file_version_info).
function(quarn_version_info target)
  cmake_parse_arguments(V "" "FILE_NAME;DESCRIPTION" "" ${ARGN})
  set(QUARN_FILE_NAME "${V_FILE_NAME}")
  set(QUARN_DESCRIPTION "${V_DESCRIPTION}")
  if(NOT QUARN_DESCRIPTION)
    get_filename_component(QUARN_DESCRIPTION ${V_FILE_NAME} NAME_WE)
  endif()
  if(WIN32)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  else()
    # The texts become C string literals.
    foreach(text QUARN_FILE_NAME QUARN_DESCRIPTION)
      string(REPLACE "\\" "\\\\" ${text} "${${text}}")
      string(REPLACE "\"" "\\\"" ${text} "${${text}}")
    endforeach()
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version_section.cpp.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_section.cpp @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_section.cpp)
  endif()
endfunction()

# quarn_module(<target> FILE_NAME <name.dll> DEF <file.def>
#              SOURCES ... [LIBRARIES ...] [DESCRIPTION <text>])
# A module keeps its Windows file name on every platform: the file name is the
# contract by which its peers find it. The .def file is the one export list:
# on POSIX it becomes a version script that hides every other symbol.
function(quarn_module target)
  cmake_parse_arguments(M "" "FILE_NAME;DEF;DESCRIPTION" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${target} SHARED ${M_SOURCES})
  quarn_target_defaults(${target})
  get_filename_component(stem ${M_FILE_NAME} NAME_WE)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${stem} PREFIX "" SUFFIX ".dll")
  target_link_libraries(${target} PRIVATE ${M_LIBRARIES})
  if(NOT M_DESCRIPTION)
    set(M_DESCRIPTION ${stem})
  endif()
  if(WIN32)
    set(QUARN_FILE_NAME ${M_FILE_NAME})
    set(QUARN_DESCRIPTION ${M_DESCRIPTION})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${M_DEF} ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc
                                     ${CMAKE_SOURCE_DIR}/os/win32/entry/dll_main.cpp
                                     ${CMAKE_SOURCE_DIR}/os/win32/entry/terminate_handler.cpp)
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  else()
    quarn_version_info(${target} FILE_NAME ${M_FILE_NAME} DESCRIPTION ${M_DESCRIPTION})
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    add_custom_command(
      OUTPUT ${map}
      COMMAND ${CMAKE_COMMAND} -DDEF=${M_DEF} -DMAP=${map} -P ${CMAKE_SOURCE_DIR}/cmake/DefToVersionScript.cmake
      DEPENDS ${M_DEF} ${CMAKE_SOURCE_DIR}/cmake/DefToVersionScript.cmake
              ${CMAKE_SOURCE_DIR}/cmake/DefExports.cmake)
    add_custom_target(${target}_exports DEPENDS ${map})
    add_dependencies(${target} ${target}_exports)
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,-Bsymbolic)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()

# quarn_product_version(<target>): links quarn::product_version() (cutil/product_version.h),
# the text of VERSION, into a program that prints it.
function(quarn_product_version target)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/product_version.cpp.in
                 ${CMAKE_BINARY_DIR}/generated/product_version.cpp @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/product_version.cpp)
endfunction()

# quarn_program(<target> FILE_NAME <name.exe> SOURCES ... [LIBRARIES ...] [GUI])
function(quarn_program target)
  cmake_parse_arguments(P "GUI" "FILE_NAME;DESCRIPTION" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${target} ${P_SOURCES})
  quarn_target_defaults(${target})
  target_link_libraries(${target} PRIVATE ${P_LIBRARIES})
  get_filename_component(stem ${P_FILE_NAME} NAME_WE)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${stem})
  if(WIN32)
    if(NOT P_DESCRIPTION)
      set(P_DESCRIPTION ${stem})
    endif()
    set(QUARN_FILE_NAME ${P_FILE_NAME})
    set(QUARN_DESCRIPTION ${P_DESCRIPTION})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc
                                     ${CMAKE_SOURCE_DIR}/os/win32/entry/terminate_handler.cpp)
    if(P_GUI)
      target_link_options(${target} PRIVATE -mwindows)
    endif()
  else()
    quarn_version_info(${target} FILE_NAME ${P_FILE_NAME} DESCRIPTION "${P_DESCRIPTION}")
    # Keep the Windows file name (TarnHtmlDlg.exe) so launch paths agree.
    set_target_properties(${target} PROPERTIES SUFFIX ".exe")
  endif()
endfunction()
