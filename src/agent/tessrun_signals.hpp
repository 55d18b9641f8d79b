// tessrun's answer to SIGINT and SIGTERM.
//
// Before a run starts there is nothing to protect: a signal ends the process
// at once (130 for SIGINT, 143 for SIGTERM). While a run goes on, the first
// signal asks the driver to stop at the next record: the rows sent are
// committed whole, the trace log gets its end stamp and the console says how
// far the run got. A second signal ends the process at once.
//
// The handler only stores into atomics and calls _exit, which is all a
// signal handler may do. Process-wide; used from the main thread.
#pragma once

class tk_converter;

// Installs the handlers; `converter` is what a signal asks to stop.
void install_stop_signals(tk_converter& converter);
// A run starts or has ended: signals now stop it, or end the process again.
void set_run_active(bool b_active);
// The signal that stopped the run; 0 when none came.
int stop_signal();
