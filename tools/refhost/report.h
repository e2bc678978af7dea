// What the reference host prints: a table for people or CSV for programs,
// both streamed, a line per poll as it is taken, so an interrupted run keeps
// what it printed. Every poll line says where the registers behind it came
// from ("simulated" or "msr-dir").
#ifndef REFHOST_REPORT_H
#define REFHOST_REPORT_H

#include "options.h"
#include "session.h"

// Everything known before the first poll.
void PrintHeader(const Options &options, const Session &session);
// One poll's readings, flushed.
void PrintPoll(const Options &options, const Session &session, int poll, const PollReadings &readings);
// After the last poll.
void PrintFooter(const Options &options, const Session &session);

#endif  // REFHOST_REPORT_H
