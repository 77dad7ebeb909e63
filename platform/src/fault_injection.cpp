// The I/O fault switch of test builds; see fault_injection.h.
#ifdef KARV_FAULT_INJECTION

#include "platform/fault_injection.h"

namespace karv::platform {
namespace {

FaultSwitch& ownSwitch() {
    static FaultSwitch instance;
    return instance;
}

FaultSwitch* sharedSwitch = nullptr;

} // namespace

void FaultSwitch::arm(const FaultPlan& plan) {
    plan_ = plan;
    armed_ = true;
    paused_ = false;
    counted_ = 0;
    struck_ = 0;
    firstOp_ = kFaultOpen;
    firstPath_.clear();
}

void FaultSwitch::disarm() {
    armed_ = false;
}

FaultAction FaultSwitch::decide(FaultOp op) {
    if (!armed() || (plan_.operations & op) == 0)
        return FaultAction::Proceed;
    ++counted_;
    bool strikes = plan_.strikeAt != 0 &&
                   (counted_ == plan_.strikeAt || (plan_.sticky && counted_ > plan_.strikeAt));
    if (!strikes)
        return FaultAction::Proceed;
    if (++struck_ == 1)
        firstOp_ = op;
    // Only writes can go short; any other operation fails.
    if (plan_.effect == FaultEffect::Short && op == kFaultWrite)
        return FaultAction::Short;
    return FaultAction::Fail;
}

FaultAction FaultSwitch::checkPath(FaultOp op, const std::wstring& path) {
    if (!armed())
        return FaultAction::Proceed;
    std::lock_guard<std::mutex> lock(mutex_);
    FaultAction action = decide(op);
    if (action != FaultAction::Proceed && struck_ == 1)
        firstPath_ = path;
    return action;
}

FaultAction FaultSwitch::check(FaultOp op, intptr_t handle) {
    if (!armed())
        return FaultAction::Proceed;
    std::lock_guard<std::mutex> lock(mutex_);
    FaultAction action = decide(op);
    if (action != FaultAction::Proceed && struck_ == 1)
        firstPath_ = pathOf(handle);
    return action;
}

void FaultSwitch::noteOpened(intptr_t handle, const std::wstring& path) {
    if (!armed())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    // A handle number the system hands out again replaces its older name.
    for (int i = 0; i < kRemembered; ++i) {
        if (handles_[i] == handle && !paths_[i].empty()) {
            paths_[i] = path;
            return;
        }
    }
    handles_[nextSlot_] = handle;
    paths_[nextSlot_] = path;
    nextSlot_ = (nextSlot_ + 1) % kRemembered;
}

std::wstring FaultSwitch::pathOf(intptr_t handle) const {
    for (int i = 0; i < kRemembered; ++i) {
        if (handles_[i] == handle && !paths_[i].empty())
            return paths_[i];
    }
    return std::wstring();
}

FaultSwitch& faultSwitch() {
    return sharedSwitch != nullptr ? *sharedSwitch : ownSwitch();
}

void useFaultSwitch(FaultSwitch* shared) {
    sharedSwitch = shared;
}

const char* faultOperationName(FaultOp op) {
    switch (op) {
    case kFaultOpen:
        return "open";
    case kFaultRead:
        return "read";
    case kFaultWrite:
        return "write";
    case kFaultSeek:
        return "seek";
    case kFaultSize:
        return "size";
    case kFaultTruncate:
        return "truncate";
    case kFaultClose:
        return "close";
    case kFaultRename:
        return "rename";
    case kFaultFlush:
        return "flush";
    default:
        return "?";
    }
}

} // namespace karv::platform

#endif
