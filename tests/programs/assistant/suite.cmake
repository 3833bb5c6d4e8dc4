# The assistant host: its switches, and the program itself installed into a
# throw-away assistant directory with the real library and store.
if(TARGET quarn_autocheck)
  quarn_test_suite(programs/assistant LIBRARIES quarn_assistant quarn_fake_client
                   DEPENDS TarnAssistant QuarnAssAutoCheck QuarnAssConfigMgr QuarnAssLog)
  # The installed assistant listens on the product's push port.
  set_tests_properties(programs_assistant PROPERTIES RESOURCE_LOCK product_ports)
endif()
