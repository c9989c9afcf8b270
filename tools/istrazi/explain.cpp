// A depth-first search over the run's states, steered step by step: at each
// state the worker whose line comes next goes first, the others only where it
// cannot go on; a chosen index is tried where the trace makes it likeliest. A
// snapshot is taken only where there is more than one way on.
//
// The search is made in passes (see Search::run), each a different guess at
// how the real run went; every pass is exact in what it finds, and the last
// ones, which allow ever more departures from the guess, end with every way
// on tried, so "no schedule" is claimed only by a search that left out none.
#include "explain.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <span>
#include <unordered_map>

namespace istrazi {
namespace {

class Search {
 public:
  Search(const Scenario& scenario, const std::string& trace, long maxStates)
      : expected_(trace), scenario_(scenario), maxStates_(maxStates) {
    for (std::size_t at = 0; at < trace.size();) {
      std::size_t end = trace.find('\n', at);
      end = end == std::string::npos ? trace.size() : end + 1;
      starts_.push_back(at);
      lines_.push_back(trace.substr(at, end - at));
      workers_.push_back(workerNamed(lines_.back()));
      if (workers_.back() >= 0 && workers_.back() < kMaxThreads) {
        auto worker = static_cast<std::size_t>(workers_.back());
        if (linesOf_.size() <= worker) linesOf_.resize(worker + 1);
        linesOf_[worker].push_back(lines_.size() - 1);
      }
      at = end;
    }
    guesses_.assign(kMaxThreads, {});
    for (const Participant& p : scenario.participants)
      if (p.worker < kMaxThreads && std::ranges::find(p.draws, kChosenDraw) != p.draws.end())
        guesses_[static_cast<std::size_t>(p.worker)].chosenDraw = true;
    guessFrom(provera::parse(model.program, trace).lines);
  }

  // Limited discrepancy search: the search first trusts its order of the
  // ways on everywhere, then allows 1, 2, 4, ... departures from it (any other
  // way on is one), and ends when a pass found the trace or was cut by no
  // limit (then it is complete). The order is by how soon the trace has each
  // worker's next line. In the widening passes, and in some of the first,
  // the workers that are awake go first, before the next line is printed:
  // those that have printed a line and not slept or begun to wait since (a
  // real thread runs on from a line it printed to its next pause or wait at
  // once, while the lines that follow wait for the others' pauses to end). A
  // departure from an awake worker stalls it, as a slow print does. Before
  // the widening passes come a few cheap ones, each a different guess at how
  // the real run went, each finding traces the others miss:
  //  - with no departure: the order as it is; with the workers that are
  //    awake first; both again with each read's index drawn at the top
  //    instead of the bottom (the slot an append in flight has just filled
  //    lies outside the range the append holds; the bottom lies inside it);
  //    and both with the workers that have printed their last line first
  //    instead of last (a real thread gives its admission back as soon as it
  //    has printed its outcome). In these, a worker whose append or deletion
  //    executes while another is in flight is held back from its draw to its
  //    execution line, and the changes in flight then go first; an append
  //    waits after its execution line until the reads that must pass their
  //    locks before it takes its range have done so, a failing command
  //    draws as soon as the count can stand highest (the appends in flight
  //    then stored), and a worker woken from a wait goes on before the others
  //    (`holdsBack`, see heldBack());
  //  - with one departure, whose worker is kept running (`sticky`) until it
  //    prints or must wait: one departure then runs a worker far ahead, as
  //    another worker's slow print lets it do on a real machine. This is
  //    tried as it is, with reads at the top, with finishers first and with
  //    the workers that are awake first.
  // Each of these is tried twice: with the workers in their order, and with
  // a worker whose index is chosen drawing it as soon as it has printed its
  // request (as a real thread does, unless it is preempted right there: its
  // index then falls in the range the count had at its request, which a
  // failing command needs). Last come passes whose only departure is a
  // stall, at most 2, 4 and 8 of them: an awake worker first in line stalls
  // and the next worker goes instead, and each index is the likeliest one. A
  // real run departs from the order mostly so, by a worker stalling after a
  // line, and a stall then costs one departure, not one among every way on.
  struct Pass {
    int budget = 0;
    bool awakeFirst = false, readsAtTop = false, sticky = false;
    bool finishersFirst = false;  // a worker with no line left to print goes first, not last
    bool drawsEarly = false;      // a worker draws its index as soon as it has printed its request
    bool stallsOnly = false;      // the only departure: an awake worker first in line stalls
    bool holdsBack = false;       // a worker admitted late waits from its draw to its execution line
  };
  Explanation run() {
    RunOptions options;
    options.spurious = false;  // a correct wait that wakes for nothing changes no line
    Explanation e;
    long states = 0;
    const std::vector<Pass> first = firstPasses();
    const int firstPassCount = static_cast<int>(first.size());
    for (int pass = 0;; ++pass) {
      pass_ = pass < firstPassCount ? first[static_cast<std::size_t>(pass)]
                                    : Pass{.budget = 1 << (pass - firstPassCount), .awakeFirst = true};
      RunResult result;
      startRun(scenario_, options, result);
      trace_ = &result.trace;
      seen_.clear();
      draws_.clear();
      cut_ = false;
      e.found = dfs(pass_.budget, -1, 0, 0);
      states += static_cast<long>(seen_.size());
      if (e.found) {
        e.schedule = result.schedule;
        e.draws = draws_;
      }
      if (e.found || gaveUp_ || !cut_) break;
    }
    e.gaveUp = !e.found && gaveUp_;
    e.furthestLine = furthest_;
    e.states = states;
    return e;
  }

 private:
  // What the trace's lines tell of each worker (see Guess).
  void guessFrom(const std::vector<provera::Line>& parsed) {
    // The count as the lines so far leave it, relative to its start, and
    // where it stood when each append in flight (executed, not yet
    // succeeded) executed: that append holds every slot below.
    int count = 0, shrinks = 0;
    std::vector<int> appendsInFlight(kMaxThreads, kNotInFlight);  // by worker
    Mask changesInFlight = 0;  // appends and deletions executed and not yet out
    Mask appendsStored = 0;    // appends in flight a deletion was admitted over
    Mask readsInFlight = 0;    // reads executed and not yet out
    // By append in flight: the reads that, if out before it, passed their lock
    // after their execution line before it took its range (those in flight
    // when it executed, and those executing over it before it has stored),
    // and every read executing over it.
    std::vector<Mask> passAfterIfOut(kMaxThreads, 0), executingOver(kMaxThreads, 0);
    // A deletion that fails, admitted over an append, lay past the end, not
    // in the slot the append fills, and shows nothing of its store.
    Mask fails = 0;
    for (const provera::Line& line : parsed)
      if (line.phase == provera::Phase::Failure && line.worker >= 0 && line.worker < kMaxThreads)
        fails |= bit(static_cast<int>(line.worker));
    // The appends in flight, each of which may have stored.
    auto appendsExecuting = [&] {
      Mask executing = 0;
      for (int w = 0; w < kMaxThreads; ++w)
        if (appendsInFlight[static_cast<std::size_t>(w)] != kNotInFlight) executing |= bit(w);
      return executing;
    };
    for (const provera::Line& line : parsed) {
      if (line.worker < 0 || line.worker >= kMaxThreads) continue;
      const Mask self = bit(static_cast<int>(line.worker));
      Guess& g = guesses_[static_cast<std::size_t>(line.worker)];
      int& inFlight = appendsInFlight[static_cast<std::size_t>(line.worker)];
      g.deletion = line.command == provera::Command::Delete;
      bool append = line.command == provera::Command::Append;
      bool read = line.command == provera::Command::Read;
      bool deletionSucceeds = g.deletion && !(fails & self);
      switch (line.phase) {
        case provera::Phase::Request:
          g.countAtRequest = count;
          g.storedBeforeHighest = appendsExecuting();
          g.highestCount = count + std::popcount(g.storedBeforeHighest);
          g.highestCountLine = static_cast<std::size_t>(line.number - 1);
          break;
        case provera::Phase::Execution:
          g.executes = true;
          // A deletion that succeeds, admitted over an append, lies above
          // what the append holds.
          if (int filling = std::ranges::max(appendsInFlight); deletionSucceeds && filling != kNotInFlight) {
            g.aboveAnAppend = filling - g.countAtRequest;
            g.filledBy = static_cast<int>(std::ranges::max_element(appendsInFlight) - appendsInFlight.begin());
          }
          if (append) {
            inFlight = count;
            passAfterIfOut[static_cast<std::size_t>(line.worker)] = readsInFlight;
          }
          // A read that executes over an append in flight passed its lock
          // before that append took its range, unless a deletion admitted
          // over the append shows it has stored (the read then lies in the
          // filled slot, or it passed before the store and passes again after
          // the append's release).
          for (int w = 0; w < kMaxThreads; ++w)
            if (appendsInFlight[static_cast<std::size_t>(w)] != kNotInFlight) {
              if (deletionSucceeds) appendsStored |= bit(w);
              if (!read) continue;
              executingOver[static_cast<std::size_t>(w)] |= self;
              if (!(appendsStored & bit(w))) passAfterIfOut[static_cast<std::size_t>(w)] |= self;
            }
          if (read) readsInFlight |= self;
          g.executionLine = static_cast<std::size_t>(line.number - 1);
          if (append || g.deletion) {
            // Admitted while another change is in flight: it reached its
            // admission test only after that one had counted itself out.
            g.admittedOver = changesInFlight;
            changesInFlight |= self;
          }
          break;
        case provera::Phase::Success:
          if (read)
            for (int w = 0; w < kMaxThreads; ++w)
              if (appendsInFlight[static_cast<std::size_t>(w)] != kNotInFlight &&
                  (passAfterIfOut[static_cast<std::size_t>(w)] & self))
                guesses_[static_cast<std::size_t>(w)].readsPassAfter |= self;
          // A read executing over an append that is out before it passed its
          // lock before its execution line, and before the append took its
          // range; it may pass again after the append's release.
          if (append)
            g.readsPassFirst = executingOver[static_cast<std::size_t>(line.worker)] & readsInFlight;
          readsInFlight &= ~self;
          changesInFlight &= ~self;
          appendsStored &= ~self;
          if (append) inFlight = kNotInFlight;
          if (g.deletion) g.shrinksBefore = shrinks++;
          count += append ? 1 : g.deletion ? -1 : 0;
          break;
        case provera::Phase::Failure:
          changesInFlight &= ~self;
          g.fails = true;
          break;
      }
      // Where the count could stand highest in each pending worker's window
      // so far: with every append in flight stored.
      Mask executing = appendsExecuting();
      int high = count + std::popcount(executing);
      for (Guess& pending : guesses_)
        if (pending.highestCountLine != kNoLine && !pending.executes && !pending.fails && high > pending.highestCount) {
          pending.highestCount = high;
          pending.highestCountLine = static_cast<std::size_t>(line.number);
          pending.storedBeforeHighest = executing;
        }
    }
  }

  static std::vector<Pass> firstPasses() {
    struct Order {
      bool awakeFirst, readsAtTop, finishersFirst;
    };
    static constexpr Order kWithoutDeparture[] = {{false, false, false}, {true, false, false}, {false, true, false},
                                                  {true, true, false},   {false, false, true}, {true, false, true}};
    static constexpr Order kSticky[] = {{false, false, false}, {false, true, false}, {false, false, true}, {true, false, false}};
    std::vector<Pass> passes;
    for (int budget : {0, 1})
      for (bool drawsEarly : {false, true})
        for (const Order& o : budget == 0 ? std::span<const Order>(kWithoutDeparture) : std::span<const Order>(kSticky))
          passes.push_back({.budget = budget,
                            .awakeFirst = o.awakeFirst,
                            .readsAtTop = o.readsAtTop,
                            .sticky = budget == 1,
                            .finishersFirst = o.finishersFirst,
                            .drawsEarly = drawsEarly,
                            .holdsBack = budget == 0});
    for (int budget : {2, 4, 8}) passes.push_back({.budget = budget, .awakeFirst = true, .stallsOnly = true});
    return passes;
  }

  // The trace printed so far is a prefix of the expected one, so the next
  // expected text starts where the trace ends.
  std::size_t printedBytes() const { return trace_->size(); }

  bool matchesNext(const std::string& line) const {
    std::size_t at = printedBytes();
    return expected_.compare(at, line.size(), line) == 0;
  }

  // Explores on from the current state with `budget` departures left from the
  // first way on; a state met before with as many left (and the same sticky
  // worker) is not explored again. In a sticky pass, a worker taken as a
  // departure stays first until it prints or cannot go on. `awake`: the
  // workers that have printed a line and not slept or begun to wait since;
  // `woken`: those that have retaken their lock after a wait and not waited
  // again, reached a pause or printed since. Both only order the ways on, so
  // they are no part of a state's identity.
  bool dfs(int budget, int sticky, Mask awake, Mask woken) {
    uint64_t key = stateHash() ^ static_cast<uint64_t>(sticky + 2) * 0xC2B2AE3D27D4EB4Full;
    auto [it, fresh] = seen_.try_emplace(key, budget);
    if (!fresh) {
      if (it->second >= budget) return false;
      it->second = budget;
    }
    if (++visited_ > maxStates_) {
      gaveUp_ = true;
      return false;
    }
    furthest_ = std::max(furthest_, lineCount());
    Mask ready = runnable();
    if (ready == 0) {
      if (!allEnded() || printedBytes() != expected_.size()) return false;
      finishRun();
      return true;
    }
    struct Option {
      int thread, draw;
      long rank = 0;
    };
    std::vector<Option> options;
    for (int t = 0; t < kMaxThreads; ++t) {
      if (!(ready & bit(t))) continue;
      if (int bound = pendingDraw(t)) {
        // An index no line shows, tried likeliest first: a failing command's
        // at the top (it must fall past the end); a deletion's that executes
        // while an append is between its execution and success lines in the
        // slot that append fills (it holds every slot below); any other
        // succeeding deletion's just below where the deletions before its
        // outcome leave the end; a succeeding read's at the bottom (below
        // every deletion's range), or in some passes at the top.
        const Guess& guess = guessOf(t);
        if (guess.fails && !guess.executes && !guess.deletion && model.failingReadIndexIsDead) {
          // A read the trace has fail at once uses its index only in its test
          // against the count, so the largest index fails wherever any index
          // fails and does all else alike: it is the only one tried.
          options.push_back({t, bound - 1});
          continue;
        }
        // Held back, one in a filled slot draws once the append has stored:
        // the slot is then the top.
        bool drawsLate = pass_.holdsBack && guess.inAFilledSlot();
        int first = guess.fails || drawsLate ? bound - 1
                    : guess.inAFilledSlot()  ? std::clamp(bound + guess.aboveAnAppend, 0, bound - 1)
                    : guess.deletion         ? std::clamp(bound - 1 - guess.shrinksBefore, 0, bound - 1)
                    : pass_.readsAtTop       ? bound - 1
                                             : 0;
        for (int v = first; v >= 0; --v) options.push_back({t, v});
        for (int v = first + 1; v < bound; ++v) options.push_back({t, v});
      } else if (const std::string* line = pendingLine(t)) {
        if (matchesNext(*line)) options.push_back({t, 0});
        else if (!canFollow(t, *line)) return false;  // it will never print what the trace has next for it
      } else {
        options.push_back({t, 0});
      }
    }
    // A step that commutes with every step another thread can take may be
    // taken at once, with no other tried here: a pause or a thread's start
    // touches nothing shared, and the trace's next line can only come now,
    // before any other line, while the others' steps touch nothing it does.
    // So may a draw, in each of its values: it touches nothing shared, and
    // its values were fixed when its thread stopped there.
    int owner = ownerOfNext();
    std::size_t current = currentLine();
    if (pass_.holdsBack)
      for (const Option& o : options)
        if (heldBack(o.thread, current)) awake &= ~bit(o.thread);
    // In a pass that runs the workers that are awake first, they go on
    // before the next line is printed.
    bool awakeCanGoOn = pass_.awakeFirst && std::ranges::any_of(options, [&](const Option& o) {
      return (awake & bit(o.thread)) && o.thread != owner;
    });
    for (const Option& o : options) {
      Pending at = pendingOf(o.thread);
      if (at == Pending::Print && awakeCanGoOn) continue;
      if (at == Pending::Draw) {
        int drawing = o.thread;  // `o` lies in `options`, which the erase moves
        std::erase_if(options, [drawing](const Option& other) { return other.thread != drawing; });
        break;
      }
      if (at == Pending::Pause || at == Pending::Start || (at == Pending::Print && o.thread == owner)) {
        options = {o};
        break;
      }
    }
    // The workers by how soon the trace has a line of theirs: the one whose
    // line comes next must move, and one whose line comes soon likely had to
    // get there first. main, which starts the workers, goes before them all.
    for (Option& o : options) {
      bool first = o.thread == sticky || (pass_.awakeFirst && (awake & bit(o.thread)));
      o.rank = first ? -2 : soonest(o.thread, current);
      // In a pass that holds workers back, one woken from its wait goes on
      // before the others, until it waits again, pauses or prints (a woken
      // thread retests within microseconds, where pauses and prints take far
      // longer); the woken among themselves by how soon the trace has their
      // lines.
      if (pass_.holdsBack && (pendingOf(o.thread) == Pending::Reacquire || (woken & bit(o.thread))))
        o.rank = soonest(o.thread, current) - 2 * static_cast<long>(lines_.size()) - 4;
      if (pass_.drawsEarly && owesDraw(o.thread, current)) o.rank = -2;
      if (pass_.holdsBack) o.rank = heldBackRank(o.thread, o.rank, owner, current);
    }
    std::stable_sort(options.begin(), options.end(), [](const Option& a, const Option& b) { return a.rank < b.rank; });
    if (pass_.stallsOnly && options.size() > 1) {
      Option first = options[0];
      auto other = std::ranges::find_if(options, [&](const Option& o) { return o.thread != first.thread; });
      bool stall = budget > 0 && (awake & bit(first.thread)) && other != options.end();
      options = stall ? std::vector<Option>{first, *other} : std::vector<Option>{first};
      cut_ = true;
    }
    std::size_t tried = budget > 0 ? options.size() : std::min<std::size_t>(options.size(), 1);
    if (tried < options.size()) cut_ = true;
    for (std::size_t i = 0; i < tried && !gaveUp_; ++i) {
      std::shared_ptr<const Snapshot> before = i + 1 < tried ? snapshot() : nullptr;
      std::size_t drawn = draws_.size();
      std::size_t printedBefore = printedBytes();
      if (pendingDraw(options[i].thread)) draws_.push_back({workerOf(options[i].thread), options[i].draw});
      Pending stepped = pendingOf(options[i].thread);
      stepThread(options[i].thread, options[i].draw);
      if (printedBytes() > expected_.size() || expected_.compare(0, printedBytes(), *trace_) != 0) {
        if (!before) return false;
        restore(*before);
        draws_.resize(drawn);
        continue;
      }
      // The worker stays first if it was a departure, or stuck to, and printed nothing.
      bool stays = pass_.sticky && (i > 0 || options[i].thread == sticky) && printedBytes() == printedBefore;
      Mask awakeAfter = awake;
      if (i > 0) awakeAfter &= ~bit(options[0].thread);  // a departure stalls the worker first in line
      if (printedBytes() != printedBefore) awakeAfter |= bit(options[i].thread);
      if (stepped == Pending::Pause || pendingOf(options[i].thread) == Pending::Reacquire)
        awakeAfter &= ~bit(options[i].thread);
      Mask wokenAfter = woken;
      if (stepped == Pending::Reacquire) wokenAfter |= bit(options[i].thread);
      Pending next = pendingOf(options[i].thread);
      if (next == Pending::Pause || next == Pending::Reacquire || printedBytes() != printedBefore)
        wokenAfter &= ~bit(options[i].thread);
      if (dfs(budget - (i > 0), stays ? options[i].thread : -1, awakeAfter, wokenAfter)) return true;
      if (!before) return false;
      restore(*before);
      draws_.resize(drawn);
    }
    return false;
  }

  int lineCount() const { return static_cast<int>(std::count(trace_->begin(), trace_->end(), '\n')); }

  // The worker a line names ("ZAHTEV: Radnik 7 ..."); -1 if none.
  static int workerNamed(const std::string& line) {
    std::size_t colon = line.find(": ");
    if (colon == std::string::npos) return -1;
    std::size_t space = line.find(' ', colon + 2);
    return space == std::string::npos ? -1 : std::atoi(line.c_str() + space + 1);
  }

  // The line of the trace the next print falls in.
  std::size_t currentLine() const {
    auto it = std::upper_bound(starts_.begin(), starts_.end(), printedBytes());
    return static_cast<std::size_t>(it - starts_.begin()) - 1;
  }

  // A worker prints its lines in order, so a line that is not the trace's
  // next one can still come only if it is that worker's next line in the trace.
  bool canFollow(int thread, const std::string& line) const {
    if (thread == kMain || printedBytes() >= expected_.size()) return false;
    std::size_t current = currentLine();
    for (std::size_t k = current; k < lines_.size(); ++k)
      if (workers_[k] == workerOf(thread)) return k != current && lines_[k] == line;
    return false;
  }

  // The first line of the trace from the current one that `thread`'s worker
  // prints; -1 for main; when it prints no more, the number of lines (-1 in
  // a pass that takes such workers first).
  long soonest(int thread, std::size_t current) const {
    if (thread == kMain) return -1;
    auto worker = static_cast<std::size_t>(workerOf(thread));
    if (worker >= linesOf_.size()) return static_cast<long>(lines_.size());
    const std::vector<std::size_t>& own = linesOf_[worker];
    auto it = std::lower_bound(own.begin(), own.end(), current);
    if (it == own.end() && pass_.finishersFirst) return -1;
    return static_cast<long>(it == own.end() ? lines_.size() : *it);
  }

  // A worker whose index the search chooses and who has printed its request
  // line but not yet drawn: a real thread draws right after that line.
  bool owesDraw(int thread, std::size_t current) const {
    if (thread == kMain) return false;
    auto worker = static_cast<std::size_t>(workerOf(thread));
    if (!guesses_[worker].chosenDraw || worker >= linesOf_.size() || linesOf_[worker].empty() ||
        linesOf_[worker].front() >= current)
      return false;
    return std::ranges::none_of(draws_, [&](const std::pair<int, int>& d) { return d.first == static_cast<int>(worker); });
  }

  // Held back in a pass that holds workers back:
  //  - a worker admitted late, from its draw to its execution line: a real
  //    thread admitted over another change in flight was held up on its way
  //    to the admission test (by a slow print, or by locks others held), not
  //    waiting there, since no broadcast comes before that change is out;
  //    one in a filled slot, from its request until the append that fills
  //    the slot has stored (only then does the slot exist to be drawn);
  //  - an append in flight, from its execution line until each of its
  //    `readsPassAfter` has passed its lock after its own execution line and
  //    each of its `readsPassFirst` has passed its lock before it;
  //  - a command that fails, from its request until the count can stand
  //    highest before it executes (the line is past, the appends in flight
  //    then have stored): it fails only if it drew high enough.
  bool heldBack(int thread, std::size_t current) const {
    if (thread == kMain) return false;
    const Guess& g = guessOf(thread);
    if (g.fails && owesDraw(thread, current)) {
      if (current < g.highestCountLine) return true;
      for (int append = 0; append < kMaxThreads; ++append)
        if ((g.storedBeforeHighest & bit(append)) && !ranToItsPause(append, current)) return true;
    }
    if (g.inAFilledSlot() && owesDraw(thread, current) && !ranToItsPause(g.filledBy, current)) return true;
    if (g.admittedOver != 0 && current < g.executionLine) return !owesDraw(thread, current) || g.inAFilledSlot();
    if (g.executionLine >= current) return false;
    for (int reader = 0; reader < kMaxThreads; ++reader) {
      if ((g.readsPassAfter & bit(reader)) && !ranToItsPause(reader, current)) return true;
      if ((g.readsPassFirst & bit(reader)) && !passedItsFirstLock(reader, current)) return true;
    }
    return false;
  }

  // A worker has printed its execution line and run on to its pause after
  // it: a read has passed its lock, an append has stored.
  bool ranToItsPause(int worker, std::size_t current) const {
    if (linesOf_[static_cast<std::size_t>(worker)].back() < current) return true;  // it is out
    if (guesses_[static_cast<std::size_t>(worker)].executionLine >= current) return false;
    Pending next = pendingOf(threadOf(worker));
    return next == Pending::Pause || next == Pending::Print || next == Pending::Ended;
  }

  // A read has printed its request line and passed its lock before its
  // execution line.
  bool passedItsFirstLock(int worker, std::size_t current) const {
    const std::vector<std::size_t>& own = linesOf_[static_cast<std::size_t>(worker)];
    if (own.empty() || own.front() >= current) return false;
    if (guesses_[static_cast<std::size_t>(worker)].executionLine < current) return true;
    Pending next = pendingOf(threadOf(worker));
    return next == Pending::Pause || next == Pending::Print;
  }

  // `thread`'s place among the ways on (`rank`) in a pass that holds workers
  // back: one admitted late draws at once (unless it lies in a filled slot)
  // and is then held back, as is an append its reads pass; one that fails
  // draws as soon as it is no longer held back; when a worker's execution
  // line is next, the changes it was admitted over go first, to count
  // themselves out, unless they are held back themselves.
  long heldBackRank(int thread, long rank, int owner, std::size_t current) const {
    if (thread == kMain) return rank;
    const Guess& g = guessOf(thread);
    if ((g.fails || (g.admittedOver != 0 && !g.inAFilledSlot())) && owesDraw(thread, current)) rank = -2;
    if (heldBack(thread, current)) return static_cast<long>(lines_.size());
    if (owner >= 0 && current == guessOf(owner).executionLine && (guessOf(owner).admittedOver & bit(workerOf(thread))))
      rank = -3;
    return rank;
  }

  // The worker named by the next expected line, as its thread; -1 if none.
  int ownerOfNext() const {
    if (printedBytes() >= expected_.size()) return -1;
    int worker = workers_[currentLine()];
    return worker < 0 ? -1 : threadOf(worker);
  }

  const std::string expected_;
  const Scenario& scenario_;
  long maxStates_;
  std::vector<std::string> lines_;   // the expected trace, line by line
  std::vector<std::size_t> starts_;  // where each line starts in it
  std::vector<int> workers_;         // the worker each line names
  std::vector<std::vector<std::size_t>> linesOf_;  // by worker: its lines, in order
  static constexpr int kNotInFlight = -1000000;  // no count: no append in flight
  static constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
  struct Guess {
    bool deletion = false;
    bool fails = false;
    bool executes = false;  // it has an execution line
    int shrinksBefore = 0;  // deletions that succeed before this one does
    int countAtRequest = 0;  // the count its request line saw, relative to the start
    // A deletion that executes over an append in flight: the slot that append
    // fills, the lowest one it does not hold, above the count its request saw.
    int aboveAnAppend = kNotInFlight;
    int filledBy = -1;  // and that append's worker
    bool chosenDraw = false;  // the search chooses its index
    // An append or deletion: the workers whose appends and deletions were in
    // flight when it executed (it was admitted late if any).
    Mask admittedOver = 0;
    std::size_t executionLine = 0;  // the line it executes at
    // An append: the reads that pass their lock after their execution line
    // before it takes its range (they execute over it, or they are in flight
    // when it executes, and they are out before it), and those that pass it
    // before their execution line before it takes its range (they execute
    // over it and are out after it).
    Mask readsPassAfter = 0, readsPassFirst = 0;
    // The highest count the lines allow between its request and its
    // execution (or failure), the line after which it first could stand
    // there, and the appends in flight then, which must have stored for it
    // to stand there.
    int highestCount = 0;
    std::size_t highestCountLine = kNoLine;
    Mask storedBeforeHighest = 0;
    bool inAFilledSlot() const { return aboveAnAppend != kNotInFlight; }
  };
  std::vector<Guess> guesses_;  // by worker: what the trace tells of it
  const Guess& guessOf(int thread) const { return guesses_[static_cast<std::size_t>(workerOf(thread))]; }
  std::string* trace_ = nullptr;
  Pass pass_{};
  std::unordered_map<uint64_t, int> seen_;  // each state met, with the most budget it had
  long visited_ = 0;
  bool cut_ = false;  // this pass left a way on untried for lack of budget
  std::vector<std::pair<int, int>> draws_;
  int furthest_ = 0;
  bool gaveUp_ = false;
};

}  // namespace

Explanation explain(const Scenario& scenario, const std::string& trace, long maxStates) {
  return Search(scenario, trace, maxStates).run();
}

}  // namespace istrazi
