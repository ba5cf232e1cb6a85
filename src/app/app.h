#pragma once

namespace dorvel {

// Builds the program from its real parts and runs it; returns the exit code.
int runApplication(int argc, char* argv[]);

} // namespace dorvel
