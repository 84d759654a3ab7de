#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return nembra_cli::RunCommandLine(arguments, std::cout, std::cerr,
                                      ::isatty(STDERR_FILENO) != 0);
}
