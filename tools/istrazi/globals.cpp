#include "globals.hpp"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {
namespace {

// What the scheduler reads of every program, whatever its model.
const std::vector<Global> kSchedulerGlobals = {
    {"main", 0, "the program itself, as int main() (compiled as programMain, which the scheduler runs as the main "
             "thread)"},
    {"mutexRand", sizeof(pthread_mutex_t), "the lock every draw from rand is taken under: the scheduler makes it no scheduling point"},
};

// How a name appears in the object: the globals as they are named (C++ names
// no variable of the global namespace otherwise), main as int programMain().
std::string symbolOf(const Global& global) {
  return std::strcmp(global.name, "main") == 0 ? "_Z11programMainv" : global.name;
}

// The names the object defines, with their sizes, or false when it is no
// readable ELF object.
bool definedSymbols(const std::string& path, std::map<std::string, std::size_t>& names, std::string& error) {
  if (elf_version(EV_CURRENT) == EV_NONE) {
    error = elf_errmsg(-1);
    return false;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  Elf* elf = elf_begin(fd, ELF_C_READ, nullptr);
  bool found = false;
  for (Elf_Scn* section = elf ? elf_nextscn(elf, nullptr) : nullptr; section; section = elf_nextscn(elf, section)) {
    GElf_Shdr header;
    if (!gelf_getshdr(section, &header) || header.sh_type != SHT_SYMTAB) continue;
    found = true;
    Elf_Data* data = elf_getdata(section, nullptr);
    std::size_t count = data && header.sh_entsize ? header.sh_size / header.sh_entsize : 0;
    for (std::size_t i = 0; i < count; ++i) {
      GElf_Sym symbol;
      if (!gelf_getsym(data, static_cast<int>(i), &symbol) || symbol.st_shndx == SHN_UNDEF) continue;
      if (GELF_ST_BIND(symbol.st_info) == STB_LOCAL) continue;  // a static is not seen by the model
      if (const char* name = elf_strptr(elf, header.sh_link, symbol.st_name)) names[name] = symbol.st_size;
    }
  }
  if (!found) error = elf ? "it has no symbol table" : elf_errmsg(-1);
  if (elf) elf_end(elf);
  close(fd);
  return found;
}

}  // namespace

void listGlobals(std::ostream& out) {
  for (const std::vector<Global>* table : {&kSchedulerGlobals, &model.globals})
    for (const Global& global : *table) out << global.name << "\t" << global.purpose << "\n";
}

int checkGlobals(const std::string& object, const std::string& source) {
  std::map<std::string, std::size_t> names;
  std::string error;
  if (!definedSymbols(object, names, error)) {
    std::cerr << "istrazi: cannot read the symbols of " << object << ": " << error << "\n";
    return 2;
  }
  std::string program(provera::nameOf(model.program));
  bool lacking = false;
  for (const std::vector<Global>* table : {&kSchedulerGlobals, &model.globals})
    for (const Global& global : *table)
      if (auto found = names.find(symbolOf(global)); found == names.end()) {
        std::cerr << "istrazi: " << source << " lacks '" << global.name << "', which the explorer of " << program
                  << " needs: " << global.purpose << "\n";
        lacking = true;
      } else if (global.size != 0 && found->second != global.size) {
        // The explorer would read past it, or only part of it.
        std::cerr << "istrazi: " << source << " makes '" << global.name << "' " << found->second
                  << " bytes, but the explorer of " << program << " reads it as " << global.size
                  << " (keep its type): " << global.purpose << "\n";
        lacking = true;
      }
  return lacking ? 2 : 0;
}

}  // namespace istrazi
