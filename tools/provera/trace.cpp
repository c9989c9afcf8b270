#include "trace.hpp"

#include <array>
#include <cctype>
#include <charconv>

namespace provera {
namespace {

// The words of one program's trace lines.
struct Format {
  std::array<std::string_view, 4> phases;  // by Phase; empty where the program has none
  std::string_view worker;                 // before the worker number
  std::string_view command;                // before the command
  std::array<std::string_view, 3> commands;
  std::string_view argument;  // before the argument; empty where lines carry none
};

constexpr Format kZadatak{{"ЗАХТЕВ", "ИЗВРШАВАЊЕ", "УСПЕХ", "НЕУСПЕХ"},
                          "Радник ", " наредба ", {"CITANJE", "DODAVANJE", "BRISANJE"}, " — "};
constexpr Format kNizLocks{{"ZAHTEV", "IZVRSAVANJE", "USPEH", "NEUSPEH"},
                           "Radnik ", " naredba ", {"citanje", "dodavanje", "brisanje"}, ""};
constexpr Format kNizMark{{"ZAHTEV", "", "USPEH", "NEUSPEH"},
                          "Radnik ", " naredba ", {"Citanje", "Dodavanje na kraj", "Brisanje"}, " - "};

const Format& formatOf(Program program) {
  switch (program) {
    case Program::Zadatak: return kZadatak;
    case Program::NizLocks: return kNizLocks;
    default: return kNizMark;
  }
}

// Reads a line from the front, the way printf wrote it.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : rest_(text) {}
  bool word(std::string_view w) {
    if (!rest_.starts_with(w)) return false;
    rest_.remove_prefix(w.size());
    return true;
  }
  // A number as %d or %ld prints it: optional minus, no leading zeros.
  template <class Int>
  bool number(Int& out) {
    // printf never writes "-0".
    if (rest_.starts_with("-0")) return false;
    std::size_t digitsAt = rest_.starts_with('-') ? 1 : 0;
    if (rest_.size() > digitsAt + 1 && rest_[digitsAt] == '0' && std::isdigit(static_cast<unsigned char>(rest_[digitsAt + 1])))
      return false;
    auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), out);
    if (error != std::errc() || end == rest_.data()) return false;
    rest_.remove_prefix(static_cast<std::size_t>(end - rest_.data()));
    return true;
  }
  bool done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

std::optional<Line> parseLine(Program program, std::string_view text, int number) {
  const Format& f = formatOf(program);
  Cursor c(text);
  Line line{number, Phase::Request, 0, Command::Read, std::nullopt, std::nullopt};
  int phase = 0;
  while (phase < 4 && (f.phases[phase].empty() || !c.word(f.phases[phase]))) ++phase;
  if (phase == 4 || !c.word(": ") || !c.word(f.worker) || !c.number(line.worker) || !c.word(f.command))
    return std::nullopt;
  line.phase = static_cast<Phase>(phase);
  int command = 0;
  while (command < 3 && !c.word(f.commands[command])) ++command;
  if (command == 3) return std::nullopt;
  line.command = static_cast<Command>(command);
  if (!f.argument.empty()) {
    int argument;
    if (!c.word(f.argument) || !c.number(argument)) return std::nullopt;
    line.argument = argument;
  }
  if (program == Program::NizMark && line.phase == Phase::Success && line.command == Command::Read) {
    int value;
    if (!c.word(" broj ") || !c.number(value)) return std::nullopt;
    line.value = value;
  }
  // niz-locks has no failure line for an append.
  if (program == Program::NizLocks && line.phase == Phase::Failure && line.command == Command::Append)
    return std::nullopt;
  if (!c.done()) return std::nullopt;
  return line;
}

// The code point of the well-formed UTF-8 sequence at the front of `text`, and
// its length; length 0 when the bytes are not one (a stray or missing
// continuation byte, an overlong form, a surrogate, or a code point above
// U+10FFFF).
struct Decoded {
  char32_t point = 0;
  std::size_t length = 0;
};

Decoded decodeUtf8(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || length > text.size()) return {};
  static constexpr char32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};  // below these, a shorter form exists
  char32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {};
    point = point << 6 | (byte(i) & 0x3F);
  }
  if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {};
  return {point, length};
}

// Characters that could drive a terminal, or make a report read other than it
// is: C0 and C1 controls, and the marks that reorder or separate text (bidi
// controls, line and paragraph separators); and the quote's own delimiters.
bool unsafe(char32_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == '"' || c == '\\' || c == 0x061C ||
         c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// A line quoted for a report, long lines cut.
std::string quote(std::string_view text) {
  constexpr std::size_t kLongest = 100;
  return "\"" + escaped(text.substr(0, kLongest)) + (text.size() > kLongest ? "...\"" : "\"");
}

}  // namespace

// Bytes that are not well-formed UTF-8, and the characters above, escaped byte
// by byte as \xNN, so that nothing shown can drive a terminal or hide what it says.
std::string escaped(std::string_view text) {
  static const char* const hex = "0123456789abcdef";
  std::string shown;
  while (!text.empty()) {
    Decoded d = decodeUtf8(text);
    std::size_t length = d.length == 0 ? 1 : d.length;
    if (d.length == 0 || unsafe(d.point)) {
      for (std::size_t i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        shown += std::string("\\x") + hex[byte >> 4] + hex[byte & 15];
      }
    } else {
      shown += text.substr(0, length);
    }
    text.remove_prefix(length);
  }
  return shown;
}

std::optional<Program> programNamed(std::string_view name) {
  if (name == "zadatak") return Program::Zadatak;
  if (name == "niz-locks") return Program::NizLocks;
  if (name == "niz-mark") return Program::NizMark;
  return std::nullopt;
}

std::string_view nameOf(Program program) {
  switch (program) {
    case Program::Zadatak: return "zadatak";
    case Program::NizLocks: return "niz-locks";
    default: return "niz-mark";
  }
}

std::string_view commandName(Program program, Command command) {
  return formatOf(program).commands[static_cast<int>(command)];
}

std::string describe(const Violation& v) {
  std::string text = "line " + std::to_string(v.line) + ": ";
  if (!v.workers.empty()) {
    text += v.workers.size() == 1 ? "worker " : "workers ";
    for (std::size_t i = 0; i < v.workers.size(); ++i)
      text += (i ? ", " : "") + std::to_string(v.workers[i]);
    text += ": ";
  }
  return text + v.rule;
}

std::string format(Program program, const Line& line) {
  const Format& f = formatOf(program);
  std::string text = std::string(f.phases[static_cast<int>(line.phase)]) + ": " + std::string(f.worker) +
                     std::to_string(line.worker) + std::string(f.command) +
                     std::string(f.commands[static_cast<int>(line.command)]);
  if (line.argument) text += std::string(f.argument) + std::to_string(*line.argument);
  if (line.value) text += " broj " + std::to_string(*line.value);
  return text + "\n";
}

Trace parse(Program program, std::string_view text) {
  Trace trace;
  if (program == Program::Zadatak) {
    constexpr std::string_view kDigits = "0123456789";
    if (text.starts_with(kDigits))
      text.remove_prefix(kDigits.size());
    else
      trace.violations.push_back({1, {}, "the trace does not begin with the worker numbers 0123456789"});
  }
  int number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view body = text.substr(0, end);
    ++number;
    if (auto line = parseLine(program, body, number))
      trace.lines.push_back(*line);
    else
      trace.violations.push_back({number, {}, "not a " + std::string(nameOf(program)) + " trace line: " + quote(body)});
    if (end == std::string_view::npos) {
      trace.violations.push_back({number, {}, "no line feed after the last line"});
      break;
    }
    text.remove_prefix(end + 1);
  }
  trace.lineCount = number;
  return trace;
}

}  // namespace provera
