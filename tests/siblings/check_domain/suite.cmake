if(TARGET quarn_interface)
  quarn_test_suite(siblings/check_domain LIBRARIES quarn_interface quarn_fake_client quarn_cutil
                   DEPENDS QuarnCheckDomain QuarnActivex)
  set_tests_properties(siblings_check_domain PROPERTIES RESOURCE_LOCK trace_ring)
endif()
