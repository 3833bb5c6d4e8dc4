# A burst of trace records against a reader that prints each one: draining
# on the printing thread against the follower's own draining thread.
add_executable(bench_trace bench_trace.cpp)
quarn_target_defaults(bench_trace)
target_link_libraries(bench_trace PRIVATE quarn_cutil benchmark::benchmark)
