# cmake -P: writes one broken copy of a program, the program's source with one
# text replaced. The build runs it whenever the source changes, so an edit that
# removes the text breaks no build: the copy is then the unchanged source, and
# MARKER holds a one-line message the copy's tests fail with. MARKER is empty
# while the text is found.
#   NAME     the copy's name           SOURCE   the program's source, as the project names it
#   ORIGINAL the program's source file FROM, TO files holding the text and its replacement
#   COPY     the copy to write         MARKER   the message file to write
foreach(variable NAME SOURCE ORIGINAL FROM TO COPY MARKER)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "make_mutant.cmake: -D${variable}=... is missing")
  endif()
endforeach()

file(READ ${ORIGINAL} text)
file(READ ${FROM} from)
file(READ ${TO} to)

string(FIND "${text}" "${from}" at)
if(at EQUAL -1)
  string(REPLACE "\n" "\\n" shown "${from}")
  set(problem "broken copy ${NAME}: the text '${shown}' is no longer in ${SOURCE}, so the copy is the unchanged source; update its add_mutant in tests/CMakeLists.txt\n")
else()
  string(REPLACE "${from}" "${to}" text "${text}")
  set(problem "")
endif()

# Rewritten only when its text changes, so that making it again (after an edit
# of this script, say) recompiles nothing.
file(WRITE ${COPY}.new "${text}")
file(COPY_FILE ${COPY}.new ${COPY} ONLY_IF_DIFFERENT)
file(REMOVE ${COPY}.new)
file(WRITE ${MARKER} "${problem}")
