#include "Cores.h"

#include <algorithm>
#include <fstream>
#include <thread>

cpu_set_t onlyCore(int core)
{
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(core, &only);
    return only;
}

int lastCore()
{
    return std::max(0, static_cast<int>(std::thread::hardware_concurrency()) - 1);
}

ThreadOnCore::ThreadOnCore(int core)
{
    sched_getaffinity(0, sizeof was, &was);
    const cpu_set_t only = onlyCore(core);
    sched_setaffinity(0, sizeof only, &only);
}

ThreadOnCore::~ThreadOnCore()
{
    sched_setaffinity(0, sizeof was, &was);
}

KernelWorkOnCore::KernelWorkOnCore(int core)
{
    std::ifstream(UnboundWork) >> was;
    std::ofstream moved(UnboundWork);
    if (!(moved << std::hex << (1u << core) << std::flush))
        was.clear();
}

KernelWorkOnCore::~KernelWorkOnCore()
{
    if (!was.empty())
        std::ofstream(UnboundWork) << was;
}
