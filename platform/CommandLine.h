// The program's command line. The platform hands a program its arguments already
// split (argv), quotes removed by the shell; they are taken as they are, never
// joined and split again, which would break names holding quotes or blanks.
#pragma once
#include <string>
#include <vector>

// The parameters after the program's own name, in order; empty arguments are
// left out, so no parameter is empty. Read from /proc/self/cmdline, so main need
// not hand them over.
std::vector<std::string> CommandLineParams();
// For tests: the parameters to report instead of the real ones (empty ones are
// left out as above).
void SetCommandLineParamsForTest(const std::vector<std::string>& params);
// For tests: report the real parameters again.
void ResetCommandLineParamsForTest();
// Splits a NUL-separated argument block (the form of /proc/self/cmdline) into the
// parameters after the first argument, leaving out empty ones.
std::vector<std::string> SplitArgumentBlock(const std::string& block);
