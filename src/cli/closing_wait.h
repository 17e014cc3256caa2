// The end of a run in a console of its own: Windows opens one for a
// program started by a drop on its icon or a double click, and closes it
// the moment the program ends, before its lines could be read. Such a run
// asks for a key before it ends. One started from a prompt or a batch
// file (their console is shared), with its output redirected, or with a
// report for scripts never waits.
#pragma once

// What the wait needs of the platform; tests replace it.
struct ClosingOps {
    bool (*console_is_own)();
    bool (*output_is_console)();
    void (*key_wait)();
};

// The platform's own.
ClosingOps closing_ops_platform();

// Says so and waits for a key where the run is to: whether it waited.
bool closing_wait(const ClosingOps* ops, bool json);
