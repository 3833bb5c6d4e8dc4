// Test-only seam of the XML library: makes chosen allocations fail so tests
// can prove that an exhausted heap never crashes an operation. Production
// code never installs it; an uninstalled hook costs one pointer test.
#pragma once

#include <cstddef>

// Called before every allocation of the XML library; returning true makes
// that allocation fail as an exhausted heap would. Null removes the hook.
using XmlAllocationFailure = bool (*)(std::size_t size);
void cutil_xml_testing_fail_allocations(XmlAllocationFailure hook);
