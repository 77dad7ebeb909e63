#include "library_faults.h"

#include "karvcore/karvcore.h"

namespace karv::test {

platform::FaultSwitch& libraryFaults() {
    static platform::FaultSwitch* shared = [] {
        platform::FaultSwitch* library = KarvFaultSwitchQX();
        platform::useFaultSwitch(library);
        return library;
    }();
    return *shared;
}

} // namespace karv::test
