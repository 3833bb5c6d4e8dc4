#include "os/event.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "os/error.h"
#include "os/process.h"
#include "os/time.h"
#include "os/types.h"
#include "support/helper_process.h"
#include "tests/os/test_names.h"

namespace {

using quarn::test::spawn_helper;
using quarn::test::unique_name;
using quarn::test::wait_helper;

struct EventCloser {
    void operator()(void* event) const { os::event_close(event); }
};
using EventPtr = std::unique_ptr<void, EventCloser>;

// argv: event name. Opens an existing event and sets it.
QUARN_TEST_HELPER(set_event) {
    os::Handle event = os::event_open(argv[0]);
    if (event == nullptr) return 10 + static_cast<int>(os::last_error());
    const bool set = os::event_set(event);
    os::event_close(event);
    return set ? 0 : 3;
}

// argv: request name, answer name. Creates the answer event, waits for the
// request (made by the parent), then sets the answer.
QUARN_TEST_HELPER(answer_event) {
    EventPtr request(os::event_open(argv[0]));
    if (!request) return 2;
    EventPtr answer(os::event_open(argv[1]));
    if (!answer) return 3;
    if (os::event_wait(request.get(), 20000) != 0) return 4;
    return os::event_set(answer.get()) ? 0 : 5;
}

// argv: name, ready-event name. Creates an event, signals readiness, then
// waits forever: the parent kills it.
QUARN_TEST_HELPER(hold_event) {
    os::Handle held = os::event_create(argv[0], os::EventReset::kManual, false);
    EventPtr ready(os::event_open(argv[1]));
    if (held == nullptr || !ready) return 2;
    os::event_set(ready.get());
    os::sleep_ms(60000);
    return 0;
}

TEST(Event, AutoResetIsConsumedByOneWait) {
    EventPtr event(os::event_create(nullptr, os::EventReset::kAuto, true));
    ASSERT_TRUE(event);
    EXPECT_EQ(0, os::event_wait(event.get(), 0));
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(event.get(), 0));
    ASSERT_TRUE(os::event_set(event.get()));
    EXPECT_EQ(0, os::event_wait(event.get(), 1000));
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(event.get(), 30));
}

TEST(Event, ManualResetStaysSetUntilReset) {
    const std::string name = unique_name("manual");
    EventPtr event(os::event_create(name.c_str(), os::EventReset::kManual, false));
    ASSERT_TRUE(event);
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(event.get(), 0));
    ASSERT_TRUE(os::event_set(event.get()));
    EXPECT_EQ(0, os::event_wait(event.get(), 0));
    EXPECT_EQ(0, os::event_wait(event.get(), 0));
    ASSERT_TRUE(os::event_reset(event.get()));
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(event.get(), 0));
}

TEST(Event, TimeoutWaitsAboutAsLongAsAsked) {
    EventPtr event(os::event_create(nullptr, os::EventReset::kManual, false));
    const std::uint32_t start = os::tick_count();
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(event.get(), 200));
    const std::uint32_t elapsed = os::tick_count() - start;
    EXPECT_GE(elapsed, 180u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Event, WaitAnyReportsTheLowestSignalledIndexAndConsumesOnlyIt) {
    EventPtr a(os::event_create(nullptr, os::EventReset::kAuto, false));
    EventPtr b(os::event_create(nullptr, os::EventReset::kAuto, true));
    EventPtr c(os::event_create(nullptr, os::EventReset::kAuto, true));
    const os::Handle events[] = {a.get(), b.get(), c.get()};
    EXPECT_EQ(1, os::event_wait_any(events, 3, 0));
    EXPECT_EQ(2, os::event_wait_any(events, 3, 0));
    EXPECT_EQ(os::kWaitTimeout, os::event_wait_any(events, 3, 20));
    os::event_set(c.get());
    os::event_set(a.get());
    EXPECT_EQ(0, os::event_wait_any(events, 3, 0));
    EXPECT_EQ(2, os::event_wait_any(events, 3, 0));
}

TEST(Event, WaitAnyRejectsBadArguments) {
    EventPtr a(os::event_create(nullptr, os::EventReset::kAuto, false));
    const os::Handle events[] = {a.get()};
    EXPECT_EQ(os::kWaitFailed, os::event_wait_any(events, 0, 0));
    EXPECT_EQ(os::kWaitFailed, os::event_wait_any(events, 65, 0));
}

TEST(Event, OpenOfAMissingNameFailsWithError2) {
    const std::string name = unique_name("never created");
    os::set_last_error(0);
    EXPECT_EQ(nullptr, os::event_open(name.c_str()));
    EXPECT_EQ(os::kErrorFileNotFound, os::last_error());
}

TEST(Event, CreateOfAnExistingNameOpensItWithError183) {
    const std::string name = unique_name("twice");
    EventPtr first(os::event_create(name.c_str(), os::EventReset::kManual, false));
    ASSERT_TRUE(first);
    EXPECT_EQ(os::kErrorSuccess, os::last_error());
    // Reset kind and initial state of the second create are ignored.
    EventPtr second(os::event_create(name.c_str(), os::EventReset::kAuto, true));
    ASSERT_TRUE(second);
    EXPECT_EQ(os::kErrorAlreadyExists, os::last_error());
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(first.get(), 0));
    os::event_set(second.get());
    EXPECT_EQ(0, os::event_wait(first.get(), 0));
    EXPECT_EQ(0, os::event_wait(first.get(), 0)) << "still manual reset";
}

TEST(Event, TheNameLivesAsLongAsAHandleIsOpen) {
    const std::string name = unique_name("lifetime");
    os::Handle created = os::event_create(name.c_str(), os::EventReset::kManual, false);
    ASSERT_NE(nullptr, created);
    EventPtr opened(os::event_open(name.c_str()));
    ASSERT_TRUE(opened);
    os::event_close(created);
    EventPtr again(os::event_open(name.c_str()));
    EXPECT_TRUE(again) << "one handle still open";
    again.reset();
    opened.reset();
    EXPECT_EQ(nullptr, os::event_open(name.c_str())) << "the last handle is closed";
    EXPECT_EQ(os::kErrorFileNotFound, os::last_error());
}

TEST(Event, GlobalPrefixNamesADistinctObject) {
    const std::string name = unique_name("scoped");
    const std::string global = "Global\\" + name;
    EventPtr plain(os::event_create(name.c_str(), os::EventReset::kManual, false));
    ASSERT_TRUE(plain);
    EXPECT_EQ(nullptr, os::event_open(global.c_str()));
    EventPtr scoped(os::event_create(global.c_str(), os::EventReset::kManual, false));
    ASSERT_TRUE(scoped);
    EXPECT_EQ(os::kErrorSuccess, os::last_error()) << "a new object, not the plain one";
    os::event_set(scoped.get());
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(plain.get(), 0));
    // "Local\" is the namespace of plain names.
    EventPtr local(os::event_open(("Local\\" + name).c_str()));
    ASSERT_TRUE(local);
    os::event_set(local.get());
    EXPECT_EQ(0, os::event_wait(plain.get(), 0));
}

TEST(Event, ABackslashOutsideTheNamespacePrefixIsAMissingPath) {
    os::set_last_error(0);
    EXPECT_EQ(nullptr, os::event_create("QuarnOsTest\\nested", os::EventReset::kAuto, false));
    EXPECT_EQ(os::kErrorPathNotFound, os::last_error());
}

TEST(Event, NamesWithBlanksAndUnderscoresStayDistinct) {
    const std::string a = unique_name("Event Admin Force Cut Net");
    const std::string b = unique_name("Event_Admin_Force_Cut_Net");
    EventPtr first(os::event_create(a.c_str(), os::EventReset::kManual, true));
    EventPtr second(os::event_create(b.c_str(), os::EventReset::kManual, false));
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(os::kErrorSuccess, os::last_error());
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(second.get(), 0));
}

TEST(Event, AnotherProcessSetsAnEventThisOneWaitsFor) {
    const std::string name = "Global\\" + unique_name("cross set");
    EventPtr event(os::event_create(name.c_str(), os::EventReset::kAuto, false));
    ASSERT_TRUE(event);
    os::Handle helper = spawn_helper("set_event", {name.c_str()});
    ASSERT_NE(nullptr, helper);
    EXPECT_EQ(0, os::event_wait(event.get(), 20000));
    EXPECT_EQ(0, wait_helper(helper));
    EXPECT_EQ(os::kWaitTimeout, os::event_wait(event.get(), 0)) << "auto reset consumed it";
}

TEST(Event, AnotherProcessWaitsForAnEventThisOneSets) {
    const std::string request = unique_name("request");
    const std::string answer = unique_name("answer");
    EventPtr request_event(os::event_create(request.c_str(), os::EventReset::kAuto, false));
    EventPtr answer_event(os::event_create(answer.c_str(), os::EventReset::kAuto, false));
    os::Handle helper = spawn_helper("answer_event", {request.c_str(), answer.c_str()});
    ASSERT_NE(nullptr, helper);
    os::sleep_ms(100);  // let the helper block in its wait
    ASSERT_TRUE(os::event_set(request_event.get()));
    EventPtr idle(os::event_create(nullptr, os::EventReset::kAuto, false));
    const os::Handle events[] = {idle.get(), answer_event.get()};
    EXPECT_EQ(1, os::event_wait_any(events, 2, 20000));
    EXPECT_EQ(0, wait_helper(helper));
}

// Also: a missing name is answered from memory until some process creates an
// object; here only the other process creates one after the failed opens.
TEST(Event, AnEventOfAKilledProcessDoesNotOutliveIt) {
    const std::string name = unique_name("held by a killed process");
    const std::string ready = unique_name("holder ready");
    EventPtr ready_event(os::event_create(ready.c_str(), os::EventReset::kAuto, false));
    EXPECT_EQ(nullptr, os::event_open(name.c_str()));
    os::set_last_error(0);
    EXPECT_EQ(nullptr, os::event_open(name.c_str()));
    EXPECT_EQ(os::kErrorFileNotFound, os::last_error()) << "the second miss as the first";
    os::Handle helper = spawn_helper("hold_event", {name.c_str(), ready.c_str()});
    ASSERT_NE(nullptr, helper);
    ASSERT_EQ(0, os::event_wait(ready_event.get(), 20000));
    EventPtr opened(os::event_open(name.c_str()));
    EXPECT_TRUE(opened) << "alive while its creator runs";
    opened.reset();
    ASSERT_TRUE(os::process_terminate(helper, 9));
    ASSERT_TRUE(os::handle_wait(helper, 20000));
    os::handle_close(helper);
    EXPECT_EQ(nullptr, os::event_open(name.c_str()));
    EXPECT_EQ(os::kErrorFileNotFound, os::last_error());
    EventPtr fresh(os::event_create(name.c_str(), os::EventReset::kManual, false));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(os::kErrorSuccess, os::last_error()) << "a new object";
}

}  // namespace
