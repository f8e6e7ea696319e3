#pragma once
// pcisim --batch=FILE [--batch-status=STATUS]: one process, many runs. Each
// line of FILE is the argument list of one run (bench/batch_line.h), run as
// its own simulation, exactly as the single command line would run: the
// same files with the same bytes, the same exit status. The batch's own
// standard output stays empty: a run's standard output goes to the file its
// --stdout=FILE names (an option of batch lines only), otherwise nowhere.
// STATUS receives one JSON object a line, written and flushed as each run
// ends: {"line", "status", "seconds", "stderr"} and, for a failed run whose
// standard output went nowhere, "stdout_tail" (its last 4 KiB). Without
// --batch-status a run's standard error goes to the batch's. Every line is
// read before the first run: a line that cannot be split into words is an
// error FILE:LINE:COL and nothing runs. Exit status 0 once every line has
// run, whatever their statuses; 1 on an error of the batch itself.

#include <ostream>

// The program when the command line holds --batch, --batch-status or
// --stdout (the last two alone are errors); returns the exit status.
int run_batch_command(int argc, char** argv, std::ostream& err);
