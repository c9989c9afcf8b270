#include "trace_events.hpp"

#include <cmath>
#include <nlohmann/json.hpp>

namespace prikaz {

std::string traceEvents(const std::vector<RecordedRun>& runs) {
  using nlohmann::json;
  json events = json::array();
  int pid = 0;
  for (const RecordedRun& run : runs) {
    ++pid;
    bool mark = run.program == provera::Program::NizMark;
    events.push_back({{"name", "process_name"}, {"ph", "M"}, {"pid", pid},
                      {"args", {{"name", std::string(provera::nameOf(run.program))}}}});
    for (const timeline::Span& span : run.spans) {
      long tid = span.worker;
      std::string track = "Radnik " + std::to_string(span.worker) + ": " + span.label;
      events.push_back({{"name", "thread_name"}, {"ph", "M"}, {"pid", pid}, {"tid", tid}, {"args", {{"name", track}}}});
      events.push_back({{"name", "thread_sort_index"}, {"ph", "M"}, {"pid", pid}, {"tid", tid},
                        {"args", {{"sort_index", tid}}}});
      auto micros = [](double seconds) { return std::llround(seconds * 1e6); };
      auto phase = [&](const char* name, double from, double to) {
        if (from < 0 || to < from) return;
        events.push_back({{"name", name}, {"cat", span.label}, {"ph", "X"}, {"pid", pid}, {"tid", tid},
                          {"ts", micros(from)}, {"dur", micros(to) - micros(from)}});
      };
      double end = span.ended;
      phase(mark ? "arriving" : "requested", span.requested, span.started >= 0 ? span.started : end);
      phase(mark ? "after the second request" : "executing", span.started, end);
      if (end >= 0)
        events.push_back({{"name", span.succeeded ? "success" : "failure"}, {"cat", span.label}, {"ph", "i"},
                          {"s", "t"}, {"pid", pid}, {"tid", tid}, {"ts", micros(end)}});
    }
  }
  return json{{"traceEvents", events}, {"displayTimeUnit", "ms"}}.dump() + "\n";
}

}  // namespace prikaz
