#pragma once

#include <cstddef>

namespace lodvik {

// A page of memory touched for the first time costs the kernel a fault, and on a virtual machine
// one fault costs about 10 µs: a coverage run of 32,000 products touches some 35 MB of fresh
// heap, about 9,000 pages, and spent a sixth of its processor time having them faulted in.

// Sets the heap up for such runs; called once when the program starts: blocks of up to a
// gigabyte then come from the heap rather than each from a mapping of its own, and small blocks
// freed are not held apart in fast bins.
void setUpHeap();

// Gives back to the kernel what every heap holds freed, among its blocks as well as at its end:
// in a program that lives on (the window) once something large it held is gone.
void returnFreedMemory();

// Room made at once, in the heap of the thread that makes it, for a run that will take about
// `bytes`, advised to the kernel as transparent huge pages: one fault for every 2 MiB the run uses
// instead of one for every 4 KiB. Room the run leaves unused costs addresses only. Where the
// system gives no huge pages the run simply faults in small ones, as without this. While the
// scope lasts, memory freed stays in the heap rather than going back to the kernel at once, only
// to be faulted in again; when it ends, what the run freed goes back, and from then on the heap
// returns what is freed at its end as usual (the window lives on after a run).
//
// Other threads keep heaps of their own (glibc's arenas): in one heap for all, the .xlsx writer's
// thread and the run waited on each other's allocations thousands of times a run; memory a
// reading thread needs in bulk is best made by the run's thread: the program's first (the command
// line) or one of the window's, whose heaps hold at most 64 MiB each, so that its room spans
// several of them.
class RunMemory {
public:
    explicit RunMemory(std::size_t bytes);
    ~RunMemory();
    RunMemory(const RunMemory &) = delete;
    RunMemory &operator=(const RunMemory &) = delete;

private:
    bool m_threadHeaps = false; // the heaps' padding raised, for a thread other than the first
};

} // namespace lodvik
