// Base64 with the standard alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/",
// padding "="), no line breaks. The URL-safe form is mapped by the callers.
#pragma once

// Encodes `length` bytes of `input` (-1: input is a zero-terminated text)
// into `output` of `output_size` bytes and terminates it. Returns the number
// of characters written without the terminator; 0 when an argument is null
// or zero (nothing written then). A buffer of 4 * ceil(n / 3) + 9 bytes holds
// the whole encoding; a smaller one receives the whole groups that fit and no
// padding (never a character past the buffer).
int cutil_base64_encode(const void* input, int length, char* output, int output_size);

// Decodes `length` characters of `input` (-1: its text length) into `output`
// of `output_size` bytes and terminates it. Every whole group of four
// characters yields three bytes ("=" decodes as zero bits and is counted);
// decoding stops at a whole group once (output_size - 4) bytes are reached.
// A last group of two or three characters yields one or two bytes. Returns
// the number of bytes written without the terminator; 0 when an argument is
// null or zero (nothing written then).
int cutil_base64_decode(const char* input, int length, void* output, int output_size);
