// Where the two sides of a measured exchange run. Whether a pseudo-terminal's
// busy reader and writer share a CPU or not changes a round trip by half, and
// the scheduler picks either from one run to the next; so while the unpaced
// transfers run, the program's side (the main thread, or the bare reader) is
// kept on one CPU and the device's side (the line's thread, or the bare
// writer) on another, as a real device is apart from the computer. The
// kernel's own workers stay free. The paced transfers are left to the
// scheduler: there both sides sleep between exchanges, and how fast a
// sleeping thread is woken is part of what they measure.
#ifndef AFFINITY_H
#define AFFINITY_H

#include <sched.h>

namespace Affinity {

// Picks two distinct CPUs the process may use; with fewer, nothing is pinned.
void choose(bool enabled);
int programCpu(); // -1 when not pinning
int deviceCpu();  // -1 when not pinning

// Puts the calling thread on cpu; does nothing for -1.
void pinCallingThread(int cpu);

// While it lives, the calling thread runs on the program's CPU; its former
// CPUs are given back at the end (processes started later are not confined).
class ProgramSide
{
public:
    ProgramSide();
    ~ProgramSide();
    ProgramSide(const ProgramSide &) = delete;
    ProgramSide &operator=(const ProgramSide &) = delete;

private:
    cpu_set_t m_former;
    bool m_pinned = false;
};

} // namespace Affinity

#endif // AFFINITY_H
