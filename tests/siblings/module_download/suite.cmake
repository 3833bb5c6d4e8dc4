# The module-call component fetching plug-ins from the loopback test server
# through the real HTTP client module, verified against a manifest.
quarn_test_suite(siblings/module_download
                 LIBRARIES quarn_activex quarn_interface quarn_fake_client
                 DEPENDS QuarnActivex QuarnHttpClient quarnctl quarn_fakes)
if(TARGET test_siblings_module_download)
  quarn_http_server_fixture(test_siblings_module_download)
  set_tests_properties(siblings_module_download PROPERTIES RESOURCE_LOCK trace_ring)
endif()
