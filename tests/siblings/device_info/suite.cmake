if(TARGET quarn_interface)
  quarn_test_suite(siblings/device_info LIBRARIES quarn_interface quarn_fake_client quarn_cutil
                   DEPENDS QuarnCommon QuarnActivex)
  set_tests_properties(siblings_device_info PROPERTIES RESOURCE_LOCK trace_ring)
endif()
