# The assistant host: its switches, and the program itself installed into a
# throw-away assistant directory with the real library and store.
if(TARGET quarn_autocheck)
  quarn_test_suite(programs/assistant LIBRARIES quarn_assistant quarn_fake_client
                   DEPENDS TarnAssistant QuarnAssAutoCheck QuarnAssConfigMgr QuarnAssLog)
endif()
