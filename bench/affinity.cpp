#include "affinity.h"

#include <pthread.h>

namespace {
int theProgramCpu = -1;
int theDeviceCpu = -1;
} // namespace

namespace Affinity {

void choose(bool enabled)
{
    theProgramCpu = theDeviceCpu = -1;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (!enabled || sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return;
    int found[2] = {-1, -1};
    int count = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && count < 2; ++cpu) {
        if (CPU_ISSET(cpu, &allowed))
            found[count++] = cpu;
    }
    if (count == 2) {
        theProgramCpu = found[0];
        theDeviceCpu = found[1];
    }
}

int programCpu()
{
    return theProgramCpu;
}

int deviceCpu()
{
    return theDeviceCpu;
}

void pinCallingThread(int cpu)
{
    if (cpu < 0)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

ProgramSide::ProgramSide()
{
    CPU_ZERO(&m_former);
    if (theProgramCpu < 0 || pthread_getaffinity_np(pthread_self(), sizeof m_former, &m_former) != 0)
        return;
    pinCallingThread(theProgramCpu);
    m_pinned = true;
}

ProgramSide::~ProgramSide()
{
    if (m_pinned)
        pthread_setaffinity_np(pthread_self(), sizeof m_former, &m_former);
}

} // namespace Affinity
