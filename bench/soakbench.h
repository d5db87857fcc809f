// The window's memory over many cycles against the emulated receiver:
// upload, download and compare, disconnect and connect again. Reports how
// much of the heap and of resident memory each cycle keeps, quarter by
// quarter: a leak keeps the same every quarter, a cache that fills keeps
// less and less.
#ifndef SOAKBENCH_H
#define SOAKBENCH_H

class QTemporaryDir;
class Results;

void benchSoak(Results &results, int cycles, QTemporaryDir &work);

#endif // SOAKBENCH_H
