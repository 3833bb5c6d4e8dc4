# Fails the build when the export table of a module differs from the names
# after EXPORTS in its .def file (a decorated "Init@8" or a missing name
# would leave the assistant unable to bind it).
#   cmake -DMODULE=<file> -DDEF=<file.def> -DOBJDUMP=<objdump> -DPE=ON|OFF -P CheckExports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/DefExports.cmake)
quarn_def_exports(${DEF} expected)

if(PE)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
else()
  execute_process(COMMAND ${OBJDUMP} -T ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
endif()
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${MODULE}")
endif()

string(REPLACE "\n" ";" dump_lines "${dump}")
set(actual "")
set(in_names FALSE)
foreach(line IN LISTS dump_lines)
  if(PE)
    if(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
      set(in_names TRUE)
    elseif(in_names AND line MATCHES "^[ \t]*\\[[ 0-9]+\\] ([^ \t]+)")
      list(APPEND actual ${CMAKE_MATCH_1})
    elseif(in_names AND NOT line MATCHES "\\[")
      set(in_names FALSE)
    endif()
  elseif(line MATCHES "^[0-9a-f]+ g .*[ \t]\\.text[ \t]+[0-9a-f]+[ \t]+(.*[ \t])?([^ \t]+)$")
    list(APPEND actual ${CMAKE_MATCH_2})
  endif()
endforeach()

list(SORT expected)
list(SORT actual)
if(NOT expected STREQUAL actual)
  message(FATAL_ERROR "export table of ${MODULE}: [${actual}], its .def says [${expected}]")
endif()
