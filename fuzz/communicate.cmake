# The communication module's receive paths: datagram checks and reassembly,
# and the push answer read back from its datagrams.
target_compile_options(quarn_communicate PRIVATE -fsanitize=fuzzer-no-link)
quarn_fuzz_target(fuzz_datagram fuzz_datagram.cpp)
target_link_libraries(fuzz_datagram PRIVATE quarn_communicate)
quarn_fuzz_target(fuzz_push_answer fuzz_push_answer.cpp)
target_link_libraries(fuzz_push_answer PRIVATE quarn_communicate)
