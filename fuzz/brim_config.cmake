# The desktop agent's configuration database reader (BrimConfig.dat), on bytes
# of any shape.
target_compile_options(quarn_brim_database PRIVATE -fsanitize=fuzzer-no-link)
quarn_fuzz_target(fuzz_brim_config fuzz_brim_config.cpp)
target_link_libraries(fuzz_brim_config PRIVATE quarn_brim_database)
