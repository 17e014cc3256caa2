#include "cli/closing_wait.h"

#include "console/console.h"
#include "console/messages.h"
#include "platform/platform.h"

ClosingOps closing_ops_platform() {
    return ClosingOps{os_console_is_own, console_terminal, os_key_wait};
}

bool closing_wait(const ClosingOps* ops, bool json) {
    if (json || !ops->output_is_console() || !ops->console_is_own()) return false;
    console_text(msg_press_any_key);
    console_flush();
    ops->key_wait();
    return true;
}
