# The certificate module's reading of a token's certificate bytes: parse,
# fields, Base64 and the reply document, on bytes of any shape.
target_compile_options(quarn_usb_key PRIVATE -fsanitize=fuzzer-no-link)
target_compile_options(quarn_os_certificate PRIVATE -fsanitize=fuzzer-no-link)
quarn_fuzz_target(fuzz_usb_key fuzz_usb_key.cpp)
target_link_libraries(fuzz_usb_key PRIVATE quarn_usb_key)
