#pragma once

namespace app {

// The program entry with its command line; returns the exit code.
int runProgram(int argc, char **argv);

} // namespace app
