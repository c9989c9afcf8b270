// A variant is built in four steps, as the build builds an explorer: compile
// the source with the program's flags (ThreadSanitizer's instrumentation, main
// renamed), check that the object defines every name the explorer reads (the
// explorer of the same program says which), rename its data sections, and link
// it with the program's model and the explorer's libraries. The result lands in
// the cache under a hash of the source and of everything the build used, by a
// rename, so that two builds side by side never leave half a file.
#include "source.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <vector>

#include "pty_run.hpp"

namespace istrazi {
namespace {

// The build's description of an explorer: "key value" lines, then one
// argument a line under each [section].
struct Recipe {
  std::string compiler, objcopy;
  std::map<std::string, std::vector<std::string>> sections;
  const std::vector<std::string>& operator[](const std::string& section) { return sections[section]; }
};

bool readRecipe(const std::string& path, std::string& text, Recipe& recipe) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream all;
  all << in.rdbuf();
  text = all.str();
  std::string section;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (!section.empty()) {
      recipe.sections[section].push_back(line);
    } else if (line.starts_with("compiler ")) {
      recipe.compiler = line.substr(9);
    } else if (line.starts_with("objcopy ")) {
      recipe.objcopy = line.substr(8);
    }
  }
  return !recipe.compiler.empty() && !recipe.objcopy.empty();
}

// FNV-1a, 64 bits: enough to tell builds apart (no one is trying to collide).
class Hash {
 public:
  void add(std::string_view bytes) {
    for (unsigned char c : bytes) value_ = (value_ ^ c) * 0x100000001b3ULL;
    value_ = (value_ ^ 0xff) * 0x100000001b3ULL;  // ends the field
  }
  // A file's content; its name alone when it is no file (a linker flag).
  void addFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return add(path);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
      add(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  std::string hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value_));
    return text;
  }

 private:
  uint64_t value_ = 0xcbf29ce484222325ULL;
};

// Runs a command with its standard output sent to standard error (the
// explorer's report alone goes to standard output); its exit status, or -1.
int runCommand(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::cout.flush();
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "istrazi: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A directory of the build's own in the cache, removed with what is left in it.
class WorkDir {
 public:
  explicit WorkDir(const std::string& cache) {
    std::string pattern = cache + "/.build-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~WorkDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int fail(const std::string& message) {
  std::cerr << "istrazi: " << message << "\n";
  return 2;
}

}  // namespace

std::string variantCache() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/istrazi";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.cache/istrazi";
  return {};
}

int buildVariant(const std::string& source, const std::string& program, Variant& into) {
  std::string bin = timeline::executableDirectory();
  std::string explorer = bin + "/istrazi-" + program;
  Recipe recipe;
  std::string recipeText;
  if (!readRecipe(explorer + ".build", recipeText, recipe))
    return fail("cannot read how " + program + "'s explorer was built (" + explorer + ".build); build it again");

  // The variant's absolute path: its debug information names its lines.
  char resolved[PATH_MAX];
  std::ifstream in(source, std::ios::binary);
  if (!in || !realpath(source.c_str(), resolved)) return fail("cannot read " + source + ": " + std::strerror(errno));
  std::stringstream text;
  text << in.rdbuf();

  Hash hash;
  hash.add(program);
  hash.add(resolved);
  hash.add(text.str());
  hash.add(recipeText);
  hash.addFile(recipe.compiler);
  hash.addFile(recipe.objcopy);
  for (const std::string& object : recipe["objects"]) hash.addFile(object);
  for (const std::string& library : recipe["libraries"]) hash.addFile(library);
  into.name = "istrazi-" + program + "-" + hash.hex();

  std::string cache = variantCache();
  if (cache.empty()) return fail("no cache for variants: set XDG_CACHE_HOME or HOME");
  into.path = cache + "/" + into.name;
  if (access(into.path.c_str(), X_OK) == 0) return 0;

  std::error_code error;
  std::filesystem::create_directories(cache, error);
  WorkDir work(cache);
  if (work.path().empty()) return fail("cannot make a directory in " + cache + ": " + std::strerror(errno));
  std::cerr << "istrazi: building " << source << " as a variant of " << program << "\n";

  std::string object = work.path() + "/variant.o";
  if (runCommand(std::vector<std::string>{recipe.compiler} + recipe["compile"] +
                 std::vector<std::string>{"-c", resolved, "-o", object}) != 0)
    return fail(source + " did not compile as a variant of " + program);
  if (int status = runCommand({explorer, "--check-globals", object, source}); status != 0)
    return status == 2 ? 2 : fail("cannot check the names " + source + " defines with " + explorer);
  std::string renamed = work.path() + "/renamed.o";
  if (runCommand(std::vector<std::string>{recipe.objcopy} + recipe["rename"] + std::vector<std::string>{object, renamed}) != 0)
    return fail("cannot rename the data sections of " + source + "'s object");
  std::string linked = work.path() + "/" + into.name;
  if (runCommand(std::vector<std::string>{recipe.compiler} + recipe["link"] + std::vector<std::string>{renamed} +
                 recipe["objects"] + std::vector<std::string>{"-Wl,--start-group"} + recipe["libraries"] +
                 std::vector<std::string>{"-Wl,--end-group", "-o", linked}) != 0)
    return fail(source + " compiled but did not link as a variant of " + program);
  if (std::rename(linked.c_str(), into.path.c_str()) != 0)
    return fail("cannot store the variant's explorer in " + cache + ": " + std::strerror(errno));
  return 0;
}

}  // namespace istrazi
