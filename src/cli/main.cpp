#include "cli/run_driver.h"
#include "console/console.h"

int main(int argc, char** argv) {
    int code = run_main(argc, argv);
    console_flush();
    return code;
}
