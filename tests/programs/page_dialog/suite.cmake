# The page dialog: its command line, and the program itself started as the
# agent library starts it (the view under Xvfb natively, the fallback to the
# default browser on both platforms).
quarn_test_suite(programs/page_dialog LIBRARIES quarn_html_dlg quarn_cutil DEPENDS TarnHtmlDlg)
if(TARGET test_programs_page_dialog)
  set_tests_properties(programs_page_dialog PROPERTIES RESOURCE_LOCK trace_ring)
  if(NOT WIN32)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
    target_link_libraries(test_programs_page_dialog PRIVATE PkgConfig::CPP_HTTPLIB pthread)
  endif()
endif()
