quarn_test_suite(programs/assistant LIBRARIES quarn_assistant
                 DEPENDS TarnAssistant QuarnAssAutoCheck quarn_fakes)
