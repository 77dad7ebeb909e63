// The I/O fault switch of test builds: makes the k-th file operation fail, or a write go
// short, so tests can prove that every failure is reported and nothing is lost.
//
// Built only with KARV_FAULT_INJECTION (on with the tests). The file class asks the switch
// before each operation in its portable part, so both systems honour it; without the option
// the question is compiled out.
//
// The platform layer is linked into the library and into each program, so a process holds
// several copies of it. The library exports its copy's switch (KarvFaultSwitchQX), and a test
// program points its own copy at that one with useFaultSwitch, so one count runs across the
// whole process.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace karv::platform {

// The operations the switch counts, as bits of a mask.
enum FaultOp : uint32_t {
    kFaultOpen = 1u << 0,
    kFaultRead = 1u << 1,
    kFaultWrite = 1u << 2,
    kFaultSeek = 1u << 3, // moves and position queries
    kFaultSize = 1u << 4,
    kFaultTruncate = 1u << 5,
    kFaultClose = 1u << 6,
    kFaultRename = 1u << 7, // a file put in the place of another
    kFaultFlush = 1u << 8,  // a file or a folder made durable
    kFaultAll = (1u << 9) - 1,
};

// The system's reason a struck operation reports: EIO on POSIX, ERROR_WRITE_FAULT on Windows
// (the device failed the request), which no run on a healthy disk sees. Defined with each
// system's file code.
int struckSystemError();

enum class FaultEffect {
    Fail,  // the operation does nothing and reports failure
    Short, // a write moves half its bytes (none of one byte) and reports success
};

struct FaultPlan {
    uint32_t operations = kFaultAll; // which operations count
    uint64_t strikeAt = 0;           // the number of the counted operation that fails; 0 never
    FaultEffect effect = FaultEffect::Fail;
    bool sticky = false; // every counted operation after the strike fails too (a lost disk)
};

// What the switch tells a file operation.
enum class FaultAction { Proceed, Fail, Short };

// The checks may come from several threads at once (the workers read for some checks); the count
// then runs in the order they come. Arm, disarm and the figures are for the test's own thread,
// while no operation runs.
class FaultSwitch {
  public:
    // Starts counting from 0 under a new plan.
    void arm(const FaultPlan& plan);
    // Stops counting and striking; the figures of the last plan stay readable.
    void disarm();
    // Stops counting for a while (a test looking at the files) and goes on where it stopped.
    void pause() { paused_ = true; }
    void resume() { paused_ = false; }
    bool armed() const { return armed_ && !paused_; }

    // Operations counted and struck since arm().
    uint64_t counted() const { return counted_; }
    uint64_t struck() const { return struck_; }
    // The first struck operation and the file it concerned ("" when not known).
    FaultOp firstStruckOperation() const { return firstOp_; }
    const std::wstring& firstStruckPath() const { return firstPath_; }

    // Called by the file class before each operation; `handle` names the file (the native
    // handle as a number).
    FaultAction checkOpen(const std::wstring& path) { return checkPath(kFaultOpen, path); }
    // An operation on a file or folder named by its path (open, rename, folder flush).
    FaultAction checkPath(FaultOp op, const std::wstring& path);
    FaultAction check(FaultOp op, intptr_t handle);
    // Remembers which file a handle belongs to, for the description of a strike.
    void noteOpened(intptr_t handle, const std::wstring& path);

  private:
    // Counts the operation; the action for it. Under the lock.
    FaultAction decide(FaultOp op);
    std::wstring pathOf(intptr_t handle) const;

    std::atomic<bool> armed_{false};
    std::atomic<bool> paused_{false};
    std::mutex mutex_;
    FaultPlan plan_;
    uint64_t counted_ = 0;
    uint64_t struck_ = 0;
    FaultOp firstOp_ = kFaultOpen;
    std::wstring firstPath_;
    static constexpr int kRemembered = 16;
    intptr_t handles_[kRemembered] = {};
    std::wstring paths_[kRemembered];
    int nextSlot_ = 0;
};

// The switch this copy of the platform layer obeys: its own unless useFaultSwitch named
// another.
FaultSwitch& faultSwitch();
// Makes this copy obey `shared` (null: its own switch again).
void useFaultSwitch(FaultSwitch* shared);

// A short name of an operation, for test reports ("open", "write", ...).
const char* faultOperationName(FaultOp op);

} // namespace karv::platform
