# The desktop agent's modules, driven by the library's network-control code
# from the agent folder. Shares that folder (and the trace ring) with the
# library's own agent tests, so the two never run at once.
if(TARGET quarn_autocheck)
  quarn_test_suite(siblings/desktop_agent
    LIBRARIES quarn_autocheck quarn_interface quarn_fake_client quarn_brim_database
              quarn_brim_depend
    DEPENDS BrimDepend BrimDatabase)
  set_tests_properties(siblings_desktop_agent PROPERTIES RESOURCE_LOCK trace_ring)
endif()
