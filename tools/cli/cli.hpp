// What every tool does the same way at its edges: help, the standard
// descriptors, and writing to standard output with every failure noticed.
//
// The convention: a usage error or input that cannot be read exits 2 with one
// line on standard error naming the tool; -h and --help print the usage on
// standard output and exit 0; output that cannot be written is a failure too,
// never a silent success.
#pragma once

#include <string_view>

namespace cli {

bool isHelp(std::string_view arg);

// Puts /dev/null on a closed standard input or error, so that no file opened
// later takes their place, and reports (false) a closed standard output: a
// terminal or file opened later would otherwise receive what is meant for it.
bool standardStreamsReady(std::string_view tool);

// Writes all of `text` to standard output. After the first failure nothing
// more is written and this returns false; outputError() tells why.
bool writeOut(std::string_view text);
int outputError();  // errno of the first failed write, 0 when none failed

// One line on standard error: "tool: what: reason".
void complain(std::string_view tool, std::string_view what, int error = 0);

}  // namespace cli
