// Opaque handles and the few plain types the platform layer hands out.
// Nothing here includes a system header: logic code sees only these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/compiler.h"

namespace os {

// A kernel object (event, mapping, process, thread) or a loaded module.
// Null means "none"; every handle returned by os:: must be closed with the
// matching *_close call.
using Handle = void*;

// Win32 error codes are the lingua franca of the agent on every platform:
// the POSIX backend maps errno onto these values.
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorSharingViolation = 32,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorInsufficientBuffer = 122,
    kErrorModNotFound = 126,
    kErrorProcNotFound = 127,
    kErrorAlreadyExists = 183,
    kErrorBadExeFormat = 193,
    kErrorFilenameExcedRange = 206,
    kErrorNoAssociation = 1155,
    kErrorTimeout = 1460,
    kErrorResourceTypeNotFound = 1813,
};

}  // namespace os
