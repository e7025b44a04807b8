#pragma once

#include <QString>

// This system's say on whether the program at `executable` may run here: it is a regular file
// (not a link) with the execute bit, an ELF executable for this machine's architecture (the same
// class, byte order and machine as the running program) whose PT_INTERP header names the
// running program's own dynamic loader (a program naming a loader that is not there could not
// start at all, and one naming another loader would start unchecked), that loader accepts it
// ("ld.so --verify"), and every library it needs, every library version and every symbol it
// uses, is there (what a program built on a newer system than this one lacks). The loader
// examines the file without running any of it.
bool mayRunHere(const QString& executable);
