#include "cli/run_driver.h"
#include "console/console.h"

#ifdef __MINGW32__
// MinGW's start-up code would expand * and ? in the arguments; the command
// line must reach the program as typed, as with the Microsoft runtime.
int _dowildcard = 0;
#endif

namespace {

int run(int argc, char** argv) {
    int code = run_main(argc, argv);
    console_flush();
    return code;
}

}  // namespace

#ifdef _WIN32
// The wide command line, so that names the ANSI code page cannot hold
// reach the program whole; inside it they are UTF-8.
int wmain(int argc, wchar_t** argv) {
    os_standard_streams_secure();
    return run(argc, os_arguments_utf8(argc, argv));
}
#else
int main(int argc, char** argv) {
    // Before any file is opened: none may take the place of a closed
    // standard output and receive the console text.
    os_standard_streams_secure();
    return run(argc, argv);
}
#endif
