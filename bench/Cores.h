#pragma once

#include <sched.h>

#include <string>

cpu_set_t onlyCore(int core);
// The last core of the machine, for the peers.
int lastCore();

// Keeps the calling thread, and what it starts, on one core while it lives.
class ThreadOnCore {
public:
    explicit ThreadOnCore(int core);
    ~ThreadOnCore();
    ThreadOnCore(const ThreadOnCore&) = delete;
    ThreadOnCore& operator=(const ThreadOnCore&) = delete;

private:
    cpu_set_t was{};
};

// Keeps the kernel's unbound work, which hands bytes across a
// pseudo-terminal, on one core while it lives (as root; elsewhere it stays
// where it was). Left free, it ran on either core from one run to the next,
// on the waiting side's core in some, and added a wake-up there.
class KernelWorkOnCore {
public:
    explicit KernelWorkOnCore(int core);
    ~KernelWorkOnCore();
    KernelWorkOnCore(const KernelWorkOnCore&) = delete;
    KernelWorkOnCore& operator=(const KernelWorkOnCore&) = delete;

private:
    static constexpr const char* UnboundWork = "/sys/devices/virtual/workqueue/cpumask";
    std::string was;
};
