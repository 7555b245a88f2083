#include "Interrupt.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "BuildSys.h"
#include "kvFileUtils.h"

namespace {

// How long the interrupt's thread waits for the main thread to stop and clean up.
constexpr auto StopGrace = std::chrono::seconds(5);

struct TCreated {
    std::string Path;
    bool Tree;
};

std::atomic<bool> Requested{false};
std::mutex Lock;
std::condition_variable Stopped;
bool Watching = false;
bool CleanedUp = false;
bool HookSet = false;
std::vector<TCreated> Created;

// Under Lock. Removal of what the build created: newest first, so a tree goes after the
// files in it that are named on their own.
void RemoveCreated() {
    for (auto it = Created.rbegin(); it != Created.rend(); ++it) {
        if (it->Tree)
            DeleteTree(it->Path, true);
        else
            ForceDeleteFile(it->Path);
    }
    Created.clear();
}

// On the interrupt's thread; the process ends when it returns.
void OnInterruptSignal() {
    Requested = true;
    std::unique_lock<std::mutex> lock(Lock);
    if (!Watching) return;
    if (!Stopped.wait_for(lock, StopGrace, [] { return CleanedUp; })) RemoveCreated();
}

}  // namespace

void CheckInterrupt() {
    if (Requested) throw EInterrupted();
}

bool InterruptRequested() {
    return Requested;
}

bool CopyGoesOn(const std::string&, const std::string&, int32_t, int32_t, int32_t) {
    return !Requested;
}

TInterruptWatch::TInterruptWatch() {
    std::lock_guard<std::mutex> lock(Lock);
    Watching = true;
    if (!HookSet) BuildSys::OnInterrupt(OnInterruptSignal);
    HookSet = true;
}

TInterruptWatch::~TInterruptWatch() {
    std::lock_guard<std::mutex> lock(Lock);
    Watching = false;
    // After an interrupt the main thread still has to remove what was made.
    if (!Requested) Created.clear();
}

void KeepForRemoval(const std::string& path, bool tree) {
    if (path.empty()) return;
    std::lock_guard<std::mutex> lock(Lock);
    Created.push_back({path, tree});
}

void ForgetRemoval(const std::string& path) {
    std::lock_guard<std::mutex> lock(Lock);
    std::erase_if(Created, [&](const TCreated& c) { return c.Path == path; });
}

void FinishInterrupt() {
    {
        std::lock_guard<std::mutex> lock(Lock);
        RemoveCreated();
        CleanedUp = true;
    }
    Stopped.notify_all();
    // The interrupt's thread ends the process with the interrupt's exit code.
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
