# Turns a module-definition file into a GNU ld version script that exports
# exactly the names after EXPORTS and hides everything else.
#   cmake -DDEF=<file.def> -DMAP=<file.map> -P DefToVersionScript.cmake
include(${CMAKE_CURRENT_LIST_DIR}/DefExports.cmake)
quarn_def_exports(${DEF} names)
if(names)
  list(JOIN names ";\n    " body)
  file(WRITE ${MAP} "{\n  global:\n    ${body};\n  local:\n    *;\n};\n")
else()
  file(WRITE ${MAP} "{\n  local:\n    *;\n};\n")
endif()
