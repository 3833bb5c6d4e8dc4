// Named shared memory: the payload part of a named segment (named_object.cpp).
#include "os/shared_memory.h"

#include <sys/mman.h>

#include <cerrno>
#include <new>

#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

struct MappingObject : posix::KernelObject {
    MappingObject() : KernelObject(posix::ObjectKind::kMapping) {}
    posix::NamedSegment segment;
    void* anonymous = nullptr;  // an unnamed object: a shared anonymous mapping
    std::size_t anonymous_size = 0;
};

bool map_object(const char* name, std::size_t size, bool create, SharedMemory* out) {
    if (out == nullptr || (create && size == 0)) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    *out = SharedMemory{};
    auto* mapping = new (std::nothrow) MappingObject;
    if (mapping == nullptr) {
        set_last_error(kErrorNotEnoughMemory);
        return false;
    }
    if (name == nullptr) {
        void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (view == MAP_FAILED) {
            const int error_number = errno;
            delete mapping;
            posix::set_last_error_from_errno(error_number);
            return false;
        }
        mapping->anonymous = view;
        mapping->anonymous_size = size;
        out->mapping = mapping;
        out->view = view;
        out->size = size;
        set_last_error(kErrorSuccess);
        return true;
    }
    const posix::NamedResult result = posix::named_create(
        name, posix::NamedKind::kMapping, size, create, nullptr, nullptr, &mapping->segment);
    if (result == posix::NamedResult::kFailed) {
        const std::uint32_t error = last_error();
        delete mapping;
        set_last_error(error);
        return false;
    }
    out->mapping = mapping;
    out->view = mapping->segment.payload();
    // An open of size 0 maps the whole object, as MapViewOfFile does.
    out->size = size != 0 ? size : mapping->segment.header()->payload_size;
    return true;  // last error: 0, or 183 when create opened an existing object
}

}  // namespace

bool shared_memory_create(const char* name, std::size_t size, SharedMemory* out) {
    return map_object(name, size, true, out);
}

bool shared_memory_open(const char* name, std::size_t size, SharedMemory* out) {
    if (name == nullptr) {
        if (out != nullptr) *out = SharedMemory{};
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    return map_object(name, size, false, out);
}

void shared_memory_close(SharedMemory* memory) {
    if (memory == nullptr || memory->mapping == nullptr) return;
    auto* mapping = static_cast<MappingObject*>(
        posix::object_of(memory->mapping, posix::ObjectKind::kMapping));
    if (mapping != nullptr) {
        if (mapping->anonymous != nullptr) munmap(mapping->anonymous, mapping->anonymous_size);
        posix::named_close(&mapping->segment);
        delete mapping;
    }
    *memory = SharedMemory{};
}

}  // namespace os
