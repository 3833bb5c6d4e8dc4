# The communication module: its framing and exchanges through the library,
# the real module through the gateway, SwitchUser against it in a second process.
if(TARGET quarn_communicate AND TARGET quarn_autocheck)
  quarn_test_suite(siblings/communicate
    LIBRARIES quarn_communicate quarn_autocheck quarn_interface quarn_fake_client
    DEPENDS QuarnAssCommunicate quarn_fakes quarnctl)
  # The fixed ports of the product (36537, 36588) are bound by these tests.
  if(TEST siblings_communicate)
    set_tests_properties(siblings_communicate PROPERTIES RESOURCE_LOCK product_ports)
  endif()
endif()
