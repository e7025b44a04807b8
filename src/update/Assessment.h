#pragma once

#include <QString>

// This system's say on whether the program at `executable` may run here: it is a regular file
// (not a link) with the execute bit, an ELF executable for this machine's architecture (the same
// class, byte order and machine as the running program), and the system's dynamic loader accepts
// it ("ld.so --verify", which examines the file without running any of it).
bool mayRunHere(const QString& executable);
