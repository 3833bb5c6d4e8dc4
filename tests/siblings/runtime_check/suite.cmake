# The runtime-check module with the real HTTP client against the loopback
# test server of the HTTP client's suite, and the certificate module's double.
if(TARGET quarn_interface AND COMMAND quarn_http_server_fixture)
  quarn_test_suite(siblings/runtime_check
    LIBRARIES quarn_interface quarn_fake_client quarn_cutil
    DEPENDS QuarnAssRuntimeCheck QuarnHttpClient quarn_fakes)
  if(TARGET test_siblings_runtime_check)
    quarn_http_server_fixture(test_siblings_runtime_check)
  endif()
endif()
