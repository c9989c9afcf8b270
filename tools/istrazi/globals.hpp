// The names a program's source must define for its explorer to link and to
// judge it: the globals its model reads (Model::globals) and what the
// scheduler itself needs. A learner's variant (istrazi --source) is checked
// against them in its compiled object, before it is linked, so that a missing
// name is reported with what it is for rather than as a linker error.
#pragma once

#include <ostream>
#include <string>

namespace istrazi {

// Every name, one a line, with its purpose after a tab.
void listGlobals(std::ostream& out);

// Reads the symbol table of the compiled object at `object` and says, one line
// each on standard error, which names it lacks or defines with another size
// (`source` names the variant in the messages). 0: it has them all as the
// explorer declares them; 2: it does not, or the object cannot be read.
int checkGlobals(const std::string& object, const std::string& source);

}  // namespace istrazi
