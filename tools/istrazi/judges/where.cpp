// Where in the program a step or an access happened: program counters and
// data addresses of this very executable, named from its own debug information
// through elfutils' libdwfl.
//
// A program counter comes from __builtin_return_address in a wrapper or a
// ThreadSanitizer hook, so it is the instruction after the call; the line is
// looked up one byte earlier, inside the call. Code inlined from a header
// (std::atomic's load, say) is named by the line of the program's own source
// that called it, found by walking the inlined scopes outward.
#include "where.hpp"

#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "istrazi.hpp"

namespace istrazi {
namespace {

Dwfl* openSelf() {
  static const Dwfl_Callbacks callbacks = {
      .find_elf = dwfl_linux_proc_find_elf,
      .find_debuginfo = dwfl_standard_find_debuginfo,
      .section_address = nullptr,
      .debuginfo_path = nullptr,
  };
  Dwfl* dwfl = dwfl_begin(&callbacks);
  if (!dwfl) return nullptr;
  if (dwfl_linux_proc_report(dwfl, getpid()) != 0 || dwfl_report_end(dwfl, nullptr, nullptr) != 0) {
    dwfl_end(dwfl);
    return nullptr;
  }
  return dwfl;
}

Dwfl* self() {
  static Dwfl* dwfl = openSelf();
  return dwfl;
}

// The last two components of a path: "niz-mark/niz.cpp", "mutants/x.cpp".
std::string shortPath(const char* path) {
  std::string_view p(path);
  std::size_t last = p.rfind('/');
  if (last == std::string_view::npos || last == 0) return std::string(p);
  std::size_t before = p.rfind('/', last - 1);
  return std::string(before == std::string_view::npos ? p : p.substr(before + 1));
}

bool attributeNumber(Dwarf_Die* die, unsigned name, Dwarf_Word& value) {
  Dwarf_Attribute attribute;
  return dwarf_attr(die, name, &attribute) && dwarf_formudata(&attribute, &value) == 0;
}

// The line in the compilation unit's own file that `address` belongs to: the
// line table's, or the call site of the outermost code inlined from elsewhere.
Place placeInUnit(Dwfl_Module* module, Dwarf_Addr address) {
  Dwfl_Line* line = dwfl_module_getsrc(module, address);
  if (!line) return {};
  int number = 0;
  const char* file = dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr);
  Dwarf_Addr bias = 0;
  Dwarf_Die* unit = dwfl_module_addrdie(module, address, &bias);
  const char* unitName = unit ? dwarf_diename(unit) : nullptr;
  if (!file) return {};
  if (!unitName || std::strcmp(file, unitName) == 0) return {file, number};

  Dwarf_Files* files = nullptr;
  std::size_t fileCount = 0;
  Dwarf_Die* scopes = nullptr;
  int depth = dwarf_getscopes(unit, address - bias, &scopes);
  Place found{file, number};
  if (depth > 0 && dwarf_getsrcfiles(unit, &files, &fileCount) == 0) {
    for (int i = 0; i < depth; ++i) {
      Dwarf_Word callFile = 0, callLine = 0;
      if (dwarf_tag(&scopes[i]) != DW_TAG_inlined_subroutine || !attributeNumber(&scopes[i], DW_AT_call_file, callFile) ||
          !attributeNumber(&scopes[i], DW_AT_call_line, callLine) || callFile >= fileCount)
        continue;
      const char* name = dwarf_filesrc(files, callFile, nullptr, nullptr);
      if (name && std::strcmp(name, unitName) == 0) {
        found = {name, static_cast<int>(callLine)};
        break;
      }
    }
  }
  std::free(scopes);
  return found;
}

std::string demangled(const char* name) {
  int status = 0;
  char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string result = status == 0 && plain ? plain : name;
  std::free(plain);
  return result;
}

}  // namespace

Place sourcePlace(uintptr_t pc) {
  static std::unordered_map<uintptr_t, Place> known;
  auto [it, fresh] = known.try_emplace(pc);
  if (!fresh) return it->second;
  Dwfl* dwfl = self();
  Dwfl_Module* module = dwfl && pc ? dwfl_addrmodule(dwfl, pc - 1) : nullptr;
  if (module) it->second = placeInUnit(module, pc - 1);
  return it->second;
}

std::string sourceLine(uintptr_t pc) {
  Place place = sourcePlace(pc);
  return place.line > 0 ? shortPath(place.file.c_str()) + ":" + std::to_string(place.line) : "?";
}

std::string dataName(uintptr_t address, unsigned size) {
  Dwfl* dwfl = self();
  Dwfl_Module* module = dwfl ? dwfl_addrmodule(dwfl, address) : nullptr;
  // The tail of a large .bss is mapped anonymously, outside the module's
  // mapping as /proc reports it; the program's globals are all in this executable.
  if (dwfl && !module) module = dwfl_addrmodule(dwfl, reinterpret_cast<uintptr_t>(&dataName));
  GElf_Off offset = 0;
  GElf_Sym symbol;
  const char* name =
      module ? dwfl_module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr) : nullptr;
  if (!name) return "address " + std::to_string(address);
  std::string text = demangled(name);
  if (text.find("stacks") != std::string::npos) {
    // The scheduler's stacks, one a thread in thread order: "main's stack".
    GElf_Xword each = symbol.st_size / kMaxThreads;
    return each ? threadName(static_cast<int>(offset / each)) + "'s stack" : "a thread's stack";
  }
  if (offset == 0 && symbol.st_size == size) return text;
  if (size > 0 && offset % size == 0 && symbol.st_size % size == 0) return text + "[" + std::to_string(offset / size) + "]";
  return text + "+" + std::to_string(offset);
}

}  // namespace istrazi
