// Test builds: the library's I/O fault switch, for test programs to share (fault_injection.h).
#ifdef KARV_FAULT_INJECTION

#include "karvcore/karvcore.h"
#include "platform/fault_injection.h"

karv::platform::FaultSwitch* KarvFaultSwitchQX() {
    return &karv::platform::faultSwitch();
}

#endif
