// The library's fault switch, for tests that strike its file operations in turn.
#pragma once

#include "platform/fault_injection.h"

namespace karv::test {

// The library's switch, also made the switch of the platform layer linked into the test
// program, so that one plan counts the file operations of both.
platform::FaultSwitch& libraryFaults();

} // namespace karv::test
