// The sim's own side of the armed faults (vorsim.h arms them).
#pragma once

namespace vorsim {

// While one lives, no armed fault fires on this thread and none is used up.
// Faults stand for calls failing for the program that makes them; the sim's
// own housekeeping (a graph's last teardown) is not such a call.
class FaultsHeldBack {
public:
    FaultsHeldBack();
    ~FaultsHeldBack();
    FaultsHeldBack(const FaultsHeldBack&) = delete;
    FaultsHeldBack& operator=(const FaultsHeldBack&) = delete;

private:
    bool outer_held_;
};

}  // namespace vorsim
