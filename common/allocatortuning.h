#ifndef ALLOCATORTUNING_H
#define ALLOCATORTUNING_H

// Restarts the running program once, before it does anything else, with the C library's
// allocator backing its heap with transparent huge pages. A processing touches several
// gigabytes of fresh memory on a large network; with 4 KiB pages that is a million page faults,
// a third of the run on a virtual machine. Does nothing where the allocator cannot be tuned, when
// the tuning is already in place, or when the restart fails. `argv` is main's, null-terminated.
void restartWithAllocatorTuning(char **argv);

#endif // ALLOCATORTUNING_H
