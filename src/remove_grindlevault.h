#ifndef REMOVE_GRINDLEVAULT_H
#define REMOVE_GRINDLEVAULT_H

#include <cstdio>

// The whole run: deletes the key, writes the outcome to out or err and
// returns the exit status. Separate from main() so tests can run it in-process.
int remove_grindlevault(std::FILE *out, std::FILE *err);

#endif
