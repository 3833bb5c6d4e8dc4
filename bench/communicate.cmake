# The communication module's UDP round trip on loopback against a bare
# socket round trip of the same bytes.
add_executable(bench_communicate bench_communicate.cpp)
quarn_target_defaults(bench_communicate)
target_link_libraries(bench_communicate PRIVATE quarn_communicate benchmark::benchmark)
