// The fault guard. Built twice: in test_os (natively with the sanitizers) and
// in test_os_optimized (-O2, no sanitizers), where a careless guard loses its
// armed flag to the optimiser.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "os/fault.h"

namespace {

// The faults are the point: the sanitizers must not report them first.
#define QUARN_FAULTING __attribute__((noinline, no_sanitize_undefined, no_sanitize_address))

QUARN_FAULTING void write_through_null(void* context) {
    volatile int* volatile target = nullptr;
    *target = static_cast<int>(reinterpret_cast<std::uintptr_t>(context));
}

QUARN_FAULTING void divide_by_zero(void* context) {
    volatile int zero = 0;
    volatile int result = static_cast<int>(reinterpret_cast<std::uintptr_t>(context) + 1) / zero;
    (void)result;
}

void throw_exception(void*) { throw std::runtime_error("thrown inside the guard"); }

void count_call(void* context) { ++*static_cast<int*>(context); }

struct Nested {
    os::Fault inner = os::Fault::kNone;
    bool went_on = false;
};

void fault_inside_a_nested_guard(void* context) {
    auto* nested = static_cast<Nested*>(context);
    nested->inner = os::fault_guard(write_through_null, nullptr);
    nested->went_on = true;
    divide_by_zero(nullptr);  // caught by the outer guard
}

TEST(FaultGuard, NormalReturnIsNoFault) {
    int calls = 0;
    EXPECT_EQ(os::Fault::kNone, os::fault_guard(count_call, &calls));
    EXPECT_EQ(1, calls);
}

TEST(FaultGuard, NullWriteIsAnAccessViolation) {
    EXPECT_EQ(os::Fault::kAccessViolation, os::fault_guard(write_through_null, nullptr));
}

TEST(FaultGuard, IntegerDivisionByZero) {
    EXPECT_EQ(os::Fault::kDivideByZero, os::fault_guard(divide_by_zero, nullptr));
}

TEST(FaultGuard, CppExceptionIsCaughtAndDisarms) {
    EXPECT_EQ(os::Fault::kCppException, os::fault_guard(throw_exception, nullptr));
    int calls = 0;
    EXPECT_EQ(os::Fault::kNone, os::fault_guard(count_call, &calls));
}

TEST(FaultGuard, SurvivesRepeatedFaults) {
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(os::Fault::kAccessViolation,
                  os::fault_guard(write_through_null, reinterpret_cast<void*>(std::uintptr_t(i))));
        ASSERT_EQ(os::Fault::kDivideByZero,
                  os::fault_guard(divide_by_zero, reinterpret_cast<void*>(std::uintptr_t(i))));
    }
}

TEST(FaultGuard, NestedGuardsEachCatchTheirOwn) {
    Nested nested;
    EXPECT_EQ(os::Fault::kDivideByZero, os::fault_guard(fault_inside_a_nested_guard, &nested));
    EXPECT_EQ(os::Fault::kAccessViolation, nested.inner);
    EXPECT_TRUE(nested.went_on);
}

TEST(FaultGuard, ManyThreadsFaultAtOnce) {
    std::atomic<int> wrong{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const bool divide = (i + t) % 2 == 0;
                const os::Fault fault = os::fault_guard(
                    divide ? divide_by_zero : write_through_null,
                    reinterpret_cast<void*>(std::uintptr_t(i)));
                if (fault != (divide ? os::Fault::kDivideByZero : os::Fault::kAccessViolation)) {
                    ++wrong;
                }
                int calls = 0;
                if (os::fault_guard(count_call, &calls) != os::Fault::kNone || calls != 1) ++wrong;
            }
            ++done;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(6, done.load());
    EXPECT_EQ(0, wrong.load());
}

}  // namespace
