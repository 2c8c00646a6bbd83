// The reference host: serves the symbols of a PLCopen XML program through the dictionary.
#include "cli/CommandLine.h"

#include <iostream>

int main(int argc, char** argv) {
    return CommandLine(std::cout, std::cerr).Run(argc, argv);
}
