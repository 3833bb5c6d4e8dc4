// Last error as Win32 codes; errno mapped onto them; English system texts.
#include "os/error.h"

#include <cerrno>
#include <cstring>

#include "os/posix/internal.h"

namespace os {
namespace {

thread_local std::uint32_t t_last_error = 0;

struct ErrorText {
    std::uint32_t code;
    const char* text;
};

// The texts Windows gives for these codes (English, user-default language),
// each ending in the blank that FORMAT_MESSAGE_MAX_WIDTH_MASK leaves where
// the message's line break was.
constexpr ErrorText kErrorTexts[] = {
    {0, "The operation completed successfully. "},
    {1, "Incorrect function. "},
    {2, "The system cannot find the file specified. "},
    {3, "The system cannot find the path specified. "},
    {4, "The system cannot open the file. "},
    {5, "Access is denied. "},
    {6, "The handle is invalid. "},
    {8, "Not enough memory resources are available to process this command. "},
    {13, "The data is invalid. "},
    {14, "Not enough memory resources are available to complete this operation. "},
    {15, "The system cannot find the drive specified. "},
    {17, "The system cannot move the file to a different disk drive. "},
    {18, "There are no more files. "},
    {19, "The media is write protected. "},
    {21, "The device is not ready. "},
    {23, "Data error (cyclic redundancy check). "},
    {31, "A device attached to the system is not functioning. "},
    {32, "The process cannot access the file because it is being used by another process. "},
    {33, "The process cannot access the file because another process has locked a portion of "
         "the file. "},
    {38, "Reached the end of the file. "},
    {39, "The disk is full. "},
    {50, "The request is not supported. "},
    {53, "The network path was not found. "},
    {80, "The file exists. "},
    {87, "The parameter is incorrect. "},
    {109, "The pipe has been ended. "},
    {111, "The file name is too long. "},
    {112, "There is not enough space on the disk. "},
    {122, "The data area passed to a system call is too small. "},
    {123, "The filename, directory name, or volume label syntax is incorrect. "},
    {126, "The specified module could not be found. "},
    {127, "The specified procedure could not be found. "},
    {145, "The directory is not empty. "},
    {170, "The requested resource is in use. "},
    {183, "Cannot create a file when that file already exists. "},
    {193, "%1 is not a valid Win32 application. "},
    {203, "The system could not find the environment option that was entered. "},
    {206, "The filename or extension is too long. "},
    {258, "The wait operation timed out. "},
    {259, "No more data is available. "},
    {267, "The directory name is invalid. "},
    {1155, "No application is associated with the specified file for this operation. "},
    {1223, "The operation was canceled by the user. "},
    {1460, "This operation returned because the timeout period expired. "},
    {1813, "The specified resource type cannot be found in the image file. "},
    {1812, "The specified image file did not contain a resource section. "},
    {10035, "A non-blocking socket operation could not be completed immediately. "},
    {10048, "Only one usage of each socket address (protocol/network address/port) is normally "
            "permitted. "},
    {10049, "The requested address is not valid in its context. "},
    {10050, "A socket operation encountered a dead network. "},
    {10051, "A socket operation was attempted to an unreachable network. "},
    {10053, "An established connection was aborted by the software in your host machine. "},
    {10054, "An existing connection was forcibly closed by the remote host. "},
    {10057, "A request to send or receive data was disallowed because the socket is not "
            "connected and (when sending on a datagram socket using a sendto call) no address "
            "was supplied. "},
    {10060, "A connection attempt failed because the connected party did not properly respond "
            "after a period of time, or established connection failed because connected host has "
            "failed to respond. "},
    {10061, "No connection could be made because the target machine actively refused it. "},
    {10065, "A socket operation was attempted to an unreachable host. "},
};

}  // namespace

std::uint32_t last_error() { return t_last_error; }

void set_last_error(std::uint32_t code) { t_last_error = code; }

std::size_t error_message(std::uint32_t code, char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) return posix::copy_out(entry.text, out, size);
    }
    // Like the system's message table: no text for a code it does not know.
    set_last_error(317);  // ERROR_MR_MID_NOT_FOUND
    return 0;
}

namespace posix {

std::uint32_t error_from_errno(int error_number) {
    switch (error_number) {
        case 0: return kErrorSuccess;
        case ENOENT:
        case ENXIO: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR: return kErrorAccessDenied;
        case EBADF: return kErrorInvalidHandle;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EMFILE:
        case ENFILE: return 4;     // ERROR_TOO_MANY_OPEN_FILES
        case EXDEV: return 17;     // ERROR_NOT_SAME_DEVICE
        case EROFS: return 19;     // ERROR_WRITE_PROTECT
        case EIO: return 31;       // ERROR_GEN_FAILURE
        case ETXTBSY:
        case EBUSY: return kErrorSharingViolation;
        case ENOSYS:
        case EOPNOTSUPP: return 50;  // ERROR_NOT_SUPPORTED
        case EEXIST: return kErrorFileExists;
        case EINVAL:
        case ESRCH:
        case E2BIG:
        case ERANGE: return kErrorInvalidParameter;
        case EPIPE: return 109;    // ERROR_BROKEN_PIPE
        case ENOSPC: return 112;   // ERROR_DISK_FULL
        case ENOTEMPTY: return 145;  // ERROR_DIR_NOT_EMPTY
        case ENOEXEC: return 193;  // ERROR_BAD_EXE_FORMAT
        case ENAMETOOLONG: return kErrorFilenameExcedRange;
        case ELOOP: return 1921;   // ERROR_CANT_RESOLVE_FILENAME
        case ETIMEDOUT: return kErrorTimeout;
        case EINTR: return 1223;   // ERROR_CANCELLED
        case EAGAIN: return 10035;  // WSAEWOULDBLOCK
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        case ENOTCONN: return 10057;
        case ECONNREFUSED: return 10061;
        case EHOSTUNREACH: return 10065;
        default: return 31;  // ERROR_GEN_FAILURE: "a device ... is not functioning"
    }
}

void set_last_error_from_errno(int error_number) {
    set_last_error(error_from_errno(error_number));
}

std::size_t copy_out(const std::string& text, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    const std::size_t count = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    return count;
}

std::string native_path(const char* path) {
    std::string result = path != nullptr ? path : "";
    for (char& c : result) {
        if (c == '\\') c = '/';
    }
    return result;
}

}  // namespace posix
}  // namespace os
