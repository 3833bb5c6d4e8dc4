# The configuration store against the raw file system doing the same work.
add_executable(bench_config_store bench_config_store.cpp)
quarn_target_defaults(bench_config_store)
target_link_libraries(bench_config_store PRIVATE quarn_config_store benchmark::benchmark)
