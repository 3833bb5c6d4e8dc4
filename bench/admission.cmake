# The bare client of the admission-pass benchmark: replays the exchanges a
# recorded pass made (UDP trades through the communication module, pages
# through cpp-httplib's client). bench/admission.py drives it against the
# simulator and sets its figures beside the assistant's CPU time.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ADMISSION_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  add_executable(admission_replay admission_replay.cpp)
  quarn_target_defaults(admission_replay)
  target_link_libraries(admission_replay PRIVATE quarn_communicate quarn_cutil
                                                 PkgConfig::ADMISSION_HTTPLIB)
endif()
