#include "cli/run_driver.h"
#include "console/console.h"

#ifdef __MINGW32__
// MinGW's start-up code would expand * and ? in the arguments; the command
// line must reach the program as typed, as with the Microsoft runtime.
int _dowildcard = 0;
#endif

int main(int argc, char** argv) {
    int code = run_main(argc, argv);
    console_flush();
    return code;
}
