# The tray module in the test process, quarnctl tray clicking its entries from
# another process, and the library's tray code and event thread driving it in a
# helper process. Under Wine the suite needs a display (Shell_NotifyIconA fails
# with the null driver): cmake/wine-run gives it an Xvfb and a prefix of its
# own when QUARN_WINE_DISPLAY=x11. It reads the tray's named events, which the
# library's own tray tests create too.
if(TARGET quarn_autocheck)
  quarn_test_suite(siblings/tray
    LIBRARIES quarn_autocheck quarn_interface quarn_fake_client quarn_show_icon
    DEPENDS QuarnAssShowIcon quarnctl quarn_fakes)
  set_tests_properties(siblings_tray PROPERTIES RESOURCE_LOCK trace_ring)
  if(WIN32)
    set_tests_properties(siblings_tray PROPERTIES ENVIRONMENT QUARN_WINE_DISPLAY=x11)
  endif()
endif()
