#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"

int main(int argc, char** argv) {
    // RunCommandLine reports every failure it can name; this catches what escapes even that
    // (an allocation failing while the arguments are copied, say).
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        return nembra_cli::RunCommandLine(arguments, std::cout, std::cerr,
                                          ::isatty(STDERR_FILENO) != 0);
    } catch (const std::exception& e) {
        std::cerr << "nembra: error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "nembra: error: unexpected failure\n";
    }
    return 1;
}
