# The assistant host: its switches, and the program itself installed into a
# throw-away assistant directory with the real library and store.
if(TARGET quarn_autocheck)
  quarn_test_suite(programs/assistant LIBRARIES quarn_assistant quarn_fake_client
                   DEPENDS TarnAssistant QuarnAssAutoCheck QuarnAssConfigMgr QuarnAssLog)
  # The installed assistant listens on the product's push port; and it must be
  # the only TarnAssistant.exe (a second one makes "-install" end, and "-u" ends
  # every other): the agent suites that start the assistant's double hold the
  # trace ring, the end-to-end suite both.
  set_tests_properties(programs_assistant PROPERTIES RESOURCE_LOCK "product_ports;trace_ring")
endif()
