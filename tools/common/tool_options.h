// The options every authors' tool answers alike: --help, --version, and the
// usage for an option it does not know, laid out as the engine lays out its
// own (program_options.h).
#ifndef TOOLS_COMMON_TOOL_OPTIONS_H_
#define TOOLS_COMMON_TOOL_OPTIONS_H_

#include "program_options.h"

// One option as --help lists it, and what a tool says about itself:
// AnswerHelpOrVersion and UsageError take them.
using ToolOption = ProgramOption;
using ToolUsage = ProgramUsage;

// From now on an exception that nobody catches (std::bad_alloc, say) ends
// the tool with one line on standard error, "NAME: fatal error: WHAT", and
// `status`, as the engine ends, instead of the runtime's abort.
void EndOnUncaughtException(const char* name, int status);

#endif  // TOOLS_COMMON_TOOL_OPTIONS_H_
