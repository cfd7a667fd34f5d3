// What every program of ostrel answers alike, the engine and the authors'
// tools: --help, --version, and the usage for an option it does not know.
#ifndef ENGINE_PROGRAM_OPTIONS_H_
#define ENGINE_PROGRAM_OPTIONS_H_

// One option as --help lists it: "--time SECONDS" and what it does (lines
// after the first each begin with '\n').
struct ProgramOption {
  const char* flag;
  const char* text;
};

// What a program says about itself. `synopsis` follows the program's name on
// the usage line; `about` (lines ending in '\n') stands below it, then the
// options, which end with {nullptr, nullptr}. --help and --version are
// listed for every program and need not be in `options`.
struct ProgramUsage {
  const char* name;
  const char* synopsis;
  const char* about;
  const ProgramOption* options;
};

// Answers --help (the usage, `about` and the options) or --version (the
// name and the version) on standard output when either stands among the
// arguments, and returns 0 for the program to exit with; returns -1 when
// neither does.
int AnswerHelpOrVersion(const ProgramUsage& program, int argc, char** argv);

// An option the program does not know, an option without its value, or
// arguments it cannot take: the usage on standard error, and 2 for the
// program to exit with.
int UsageError(const ProgramUsage& program);

// The version of ostrel, as --version prints it: the CMake project's.
const char* ProgramVersion();

#endif  // ENGINE_PROGRAM_OPTIONS_H_
