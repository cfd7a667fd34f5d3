// The options every authors' tool answers alike: --help, --version, and the
// usage for an option it does not know.
#ifndef TOOLS_COMMON_TOOL_OPTIONS_H_
#define TOOLS_COMMON_TOOL_OPTIONS_H_

// One option as --help lists it: "--time SECONDS" and what it does (lines
// after the first each begin with '\n').
struct ToolOption {
  const char* flag;
  const char* text;
};

// What a tool says about itself. `synopsis` follows the tool's name on the
// usage line; `about` (lines ending in '\n') stands below it, then the
// options, which end with {nullptr, nullptr}. --help and --version are
// listed for every tool and need not be in `options`.
struct ToolUsage {
  const char* name;
  const char* synopsis;
  const char* about;
  const ToolOption* options;
};

// Answers --help (the usage, `about` and the options) or --version (the
// name and the version) on standard output when either stands among the
// arguments, and returns 0 for the tool to exit with; returns -1 when
// neither does.
int AnswerHelpOrVersion(const ToolUsage& tool, int argc, char** argv);

// An option the tool does not know, an option without its value, or
// arguments it cannot take: the usage on standard error, and 2 for the tool
// to exit with.
int UsageError(const ToolUsage& tool);

// From now on an exception that nobody catches (std::bad_alloc, say) ends
// the tool with one line on standard error, "NAME: fatal error: WHAT", and
// `status`, as the engine ends, instead of the runtime's abort.
void EndOnUncaughtException(const char* name, int status);

#endif  // TOOLS_COMMON_TOOL_OPTIONS_H_
