if(TARGET quarn_autocheck)
  quarn_test_suite(siblings/check_cert
    LIBRARIES quarn_autocheck quarn_interface quarn_fake_client quarn_cutil quarn_os_certificate
    DEPENDS QuarnCheckCert quarn_fakes)
  set_tests_properties(siblings_check_cert PROPERTIES RESOURCE_LOCK trace_ring)
endif()
