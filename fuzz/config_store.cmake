# The configuration store's file parser, on bytes of any shape.
target_compile_options(quarn_config_store PRIVATE -fsanitize=fuzzer-no-link)
quarn_fuzz_target(fuzz_config_store fuzz_config_store.cpp)
target_link_libraries(fuzz_config_store PRIVATE quarn_config_store)
