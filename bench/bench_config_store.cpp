// Reads and writes of the configuration store per second, each beside its
// peer on the raw file system: a write against writing a temporary file of
// the store's size, flushing it and renaming it over the old one; a read
// against reading that file whole.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "os/data_protection.h"
#include "os/process.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"

namespace {

namespace fs = std::filesystem;

// A store of the size the assistant keeps: fifty settings and a saved user list.
struct Fixture {
    Fixture() {
        folder = (fs::temp_directory_path() / ("quarn-bench-" + std::to_string(os::process_id())))
                     .string() +
                 "/";
        fs::remove_all(folder);
        fs::create_directories(folder);
        store = std::make_unique<config_store::ConfigStore>(folder);
        for (int i = 0; i < 50; ++i) {
            store->write("Setting" + std::to_string(i), "value of setting " + std::to_string(i));
        }
        store->write("UserSwitchInfo", "<TARN>" + std::string(2000, 'u') + "</TARN>");
    }
    ~Fixture() {
        store.reset();
        fs::remove_all(folder);
    }
    std::string store_bytes() const {
        std::string bytes;
        os::file_read_all(store->path().c_str(), 1u << 24, &bytes);
        return bytes;
    }
    std::string folder;
    std::unique_ptr<config_store::ConfigStore> store;
};

void BM_StoreWrite(benchmark::State& state) {
    Fixture f;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.store->write("AuthTime", std::to_string(++i)));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RawReplace(benchmark::State& state) {
    Fixture f;
    const std::string bytes = f.store_bytes();
    const std::string path = f.folder + "raw.dat";
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            os::file_replace_durably(path.c_str(), bytes.data(), bytes.size()));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_StoreRead(benchmark::State& state) {
    Fixture f;
    std::string value;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.store->read("Setting17", &value));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RawRead(benchmark::State& state) {
    Fixture f;
    std::string bytes;
    for (auto _ : state) {
        benchmark::DoNotOptimize(os::file_read_all(f.store->path().c_str(), 1u << 24, &bytes));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_StoreWrite);
BENCHMARK(BM_RawReplace);
BENCHMARK(BM_StoreRead);
BENCHMARK(BM_RawRead);

}  // namespace

BENCHMARK_MAIN();
