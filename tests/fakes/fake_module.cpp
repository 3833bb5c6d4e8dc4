#include "tests/fakes/fake_module.h"

#include <cstring>

#include "interface/cached_entry_points.h"
#include "os/module.h"
#include "tests/fakes/core/fake_control.h"

namespace quarn::test {
namespace {

std::string separator_of(const std::string& path) {
    return path.find('\\') != std::string::npos ? "\\" : "/";
}

std::string file_name_of(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::string program_dir() {
    char self[1024] = "";
    os::module_executable_path(self, sizeof self);
    const std::string path = self;
    return path.substr(0, path.find_last_of("/\\") + 1);
}

std::string fake_path(const char* file_name) {
    const std::string dir = program_dir();
    return dir + "fakes" + separator_of(dir) + file_name;
}

std::string fake_without_exports_path(const char* file_name) {
    const std::string dir = program_dir();
    return dir + "fakes-without-exports" + separator_of(dir) + file_name;
}

bool FakeModule::load(const std::string& path) {
    unload();
    module_ = os::module_load(path.c_str());
    if (module_ == nullptr) return false;
    file_name_ = file_name_of(path);
    reset();
    return true;
}

void FakeModule::unload() {
    if (module_ == nullptr) return;
    // What the double still holds (replies never taken) is released while
    // the module is whole: its static teardown runs after parts of its own
    // runtime are gone.
    reset();
    gateway::forget_cached_entry_points();
    os::module_free(module_);
    module_ = nullptr;
    // Whatever else loaded it (the module-call component, Init) holds a
    // reference of its own; drop those too so the file name is free again.
    for (int i = 0; i < 16; ++i) {
        const os::Handle still = os::module_find(file_name_.c_str());
        if (still == nullptr) break;
        os::module_free(still);
    }
}

void FakeModule::answer(const char* export_name, int result, const char* text) const {
    if (auto f = reinterpret_cast<fake::SetAnswerFunction>(symbol(fake::kSetAnswerName))) {
        f(export_name, result, text);
    }
}

void FakeModule::answer_pointer(const char* export_name, int result, void* pointer) const {
    if (auto f =
            reinterpret_cast<fake::SetAnswerPointerFunction>(symbol(fake::kSetAnswerPointerName))) {
        f(export_name, result, pointer);
    }
}

void FakeModule::queue_answer(const char* export_name, int result, const char* text) const {
    if (auto f = reinterpret_cast<fake::QueueAnswerFunction>(symbol(fake::kQueueAnswerName))) {
        f(export_name, result, text);
    }
}

std::vector<RecordedCall> FakeModule::calls() const {
    std::vector<RecordedCall> out;
    auto count = reinterpret_cast<fake::CallCountFunction>(symbol(fake::kCallCountName));
    auto get = reinterpret_cast<fake::GetCallFunction>(symbol(fake::kGetCallName));
    if (count == nullptr || get == nullptr) return out;
    std::vector<char> name(256);
    std::vector<char> arguments(8192);
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (get(i, name.data(), static_cast<int>(name.size()), arguments.data(),
                static_cast<int>(arguments.size())) != 0) {
            out.push_back({name.data(), arguments.data()});
        }
    }
    return out;
}

std::vector<RecordedCall> FakeModule::calls_of(const char* export_name) const {
    std::vector<RecordedCall> out;
    for (auto& call : calls()) {
        if (call.name == export_name) out.push_back(call);
    }
    return out;
}

void FakeModule::reset() const {
    if (auto f = reinterpret_cast<fake::ResetFunction>(symbol(fake::kResetName))) f();
}

void* FakeModule::symbol(const char* name) const {
    return module_ != nullptr ? os::module_symbol(module_, name) : nullptr;
}

}  // namespace quarn::test
