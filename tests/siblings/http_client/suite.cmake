# The HTTP client module against a loopback server. The server is a native
# program (cpp-httplib); the Windows build of the suite starts the native
# build's copy under Wine, found beside this build folder.
set(http_server_dir ${CMAKE_CURRENT_LIST_DIR}/server)
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  find_package(OpenSSL REQUIRED COMPONENTS SSL Crypto)
  # The HTTPS listeners use the simulator's chain maker.
  add_executable(test_http_server ${http_server_dir}/test_http_server.cpp
                 ${CMAKE_SOURCE_DIR}/programs/simulator/tls_chain.cpp)
  quarn_target_defaults(test_http_server)
  target_include_directories(test_http_server PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(test_http_server PRIVATE PkgConfig::CPP_HTTPLIB OpenSSL::SSL
                        OpenSSL::Crypto pthread)
  set(QUARN_HTTP_TEST_SERVER $<TARGET_FILE:test_http_server>)
  set(http_server_target test_http_server)
else()
  set(QUARN_NATIVE_BUILD_DIR ${CMAKE_BINARY_DIR}/../native CACHE PATH
      "the native build whose test_http_server the Windows HTTP tests start")
  get_filename_component(native_bin ${QUARN_NATIVE_BUILD_DIR}/bin ABSOLUTE)
  set(QUARN_HTTP_TEST_SERVER Z:${native_bin}/test_http_server)
  set(http_server_target)
endif()

# quarn_http_server_fixture(<test target>): the server fixture in a suite.
function(quarn_http_server_fixture target)
  target_sources(${target} PRIVATE ${http_server_dir}/test_server.cpp)
  target_link_libraries(${target} PRIVATE quarn_os_http)
  target_compile_definitions(${target} PRIVATE
                             QUARN_HTTP_TEST_SERVER="${QUARN_HTTP_TEST_SERVER}")
  if(http_server_target)
    add_dependencies(${target} ${http_server_target})
  endif()
endfunction()

# The wire table drives the agent's own logons (quarn_autocheck) through
# the real module, with the doubles of the configuration and the log.
quarn_test_suite(siblings/http_client
                 LIBRARIES quarn_http_client quarn_cutil quarn_autocheck quarn_interface
                           quarn_fake_client
                 DEPENDS QuarnHttpClient quarn_fakes)
if(TARGET test_siblings_http_client)
  quarn_http_server_fixture(test_siblings_http_client)
  set_tests_properties(siblings_http_client PROPERTIES RESOURCE_LOCK trace_ring)
endif()
# Under Wine the TLS rows run in a process of their own: after their
# suite (a root added to and taken from the user's Root store, HTTPS
# listeners) the trace ring's named objects can no longer be created in
# that process (error 6), which the trace rows of the client need.
if(TARGET test_siblings_http_client AND WIN32)
  set_property(TEST siblings_http_client APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-Tls.*")
  add_test(NAME siblings_http_client_tls COMMAND test_siblings_http_client --gtest_filter=Tls.*)
  set_tests_properties(siblings_http_client_tls PROPERTIES RESOURCE_LOCK trace_ring ENVIRONMENT
    "GTEST_OUTPUT=xml:Z:${CMAKE_BINARY_DIR}/test-results/test_siblings_http_client_tls.xml")
endif()
