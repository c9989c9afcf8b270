// istrazi --source FILE PROGRAM: a learner's own variant of a program, built
// on demand into an explorer exactly as the build builds the program's own
// (the description the build writes beside it, istrazi-PROGRAM.build) and kept
// in a cache by the content of everything that goes into it.
#pragma once

#include <string>

namespace istrazi {

// Where built variants are kept: $XDG_CACHE_HOME/istrazi, else ~/.cache/istrazi.
// Empty when neither is set.
std::string variantCache();

struct Variant {
  std::string name;  // istrazi-PROGRAM-HASH: the explorer's name in its reports and saved schedules
  std::string path;  // the explorer in the cache
};

// Builds `source` as a variant of `program` unless the cache has it. Returns
// 0 and fills `into`, or, after saying why on standard error, 2: the file
// cannot be read, does not compile, lacks a name the explorer needs, or does
// not link.
int buildVariant(const std::string& source, const std::string& program, Variant& into);

}  // namespace istrazi
