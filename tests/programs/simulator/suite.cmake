# The access-server simulator (native only, as the program): its scenario
# loader, and the running program answering one UDP trade, one web request
# and one push, with the lines it records.
if(NOT WIN32 AND TARGET quarnsim)
  quarn_test_suite(programs/simulator LIBRARIES quarn_simulator DEPENDS quarnsim)
  target_compile_definitions(test_programs_simulator PRIVATE
    QUARNSIM_PATH="$<TARGET_FILE:quarnsim>"
    QUARNSIM_SCENARIOS="${CMAKE_SOURCE_DIR}/programs/simulator/scenarios")
endif()
