// Every allocation made through operator new in a test executable, counted:
// linking CountingNew.cpp replaces the global operator new and delete. A
// test that the audio path allocates nothing reads the count before and
// after it.
#pragma once

namespace testsupport {

// Allocations through operator new since the executable started.
long allocationCount();

} // namespace testsupport
