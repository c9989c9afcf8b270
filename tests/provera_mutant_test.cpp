// provera rejects the traces of deliberately broken copies of the programs,
// each driven through the seam into the interleaving that its fault allows.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "check.hpp"
#include "steps.hpp"

namespace {

using provera::Program;

class Mutant : public ::testing::Test, protected seam::Steps {
 protected:
  // Fails the test at once when the copy could not be broken as meant.
  void launch(const std::string& name, std::vector<std::string> env) {
    std::string mismatch = seam::mutantMismatch(name);
    ASSERT_TRUE(mismatch.empty()) << mismatch;
    env.push_back("SEAM_RAND=" + script_);
    child.emplace(seam::Launch(seam::programPath(name, seam::Build::Plain), env, true));
  }

  // Lets the rest of the run go free and checks that provera names the fault.
  void expectRejected(Program program, const std::string& rule) {
    seam::Outcome outcome = child->finish();
    ASSERT_EQ(outcome.status, 0) << outcome.describe();
    provera::Report report = provera::check(program, outcome.out);
    std::string found;
    for (const provera::Violation& v : report.violations) found += provera::describe(v) + "\n";
    EXPECT_NE(found.find(rule), std::string::npos) << "expected: " << rule << "\ngot:\n" << found << outcome.out;
  }

  std::string script_;
};

// zadatak: main draws worker k's argument as the k-th number.
TEST_F(Mutant, ZadatakReaderAdmittedAtTheDeletedIndex) {
  script_ = "main:4,0,4,0,0,0,0,0,0,0";
  ASSERT_NO_FATAL_FAILURE(launch("zadatak-reader-at-deleted-index", {}));
  for (int w = 0; w < 10; ++w) pause(w);
  step(2);  // deletion of 4 admitted
  step(0);  // and the broken monitor admits a reader of 4 beside it
  expectRejected(Program::Zadatak, "a read of index 4 ran beside a deletion of index 4");
}

TEST_F(Mutant, ZadatakDeletionAdmittedBesideReaders) {
  script_ = "main:5,0,1,0,0,0,0,0,0,0";
  ASSERT_NO_FATAL_FAILURE(launch("zadatak-deletion-beside-readers", {}));
  for (int w = 0; w < 10; ++w) pause(w);
  step(0);
  step(2);
  expectRejected(Program::Zadatak, "a read of index 5 ran beside a deletion of index 1");
}

// The reader is admitted and executing before the deletion even asks; the
// broken monitor then admits the deletion beside it, although the reader's
// index is lower than the deletion's.
TEST_F(Mutant, ZadatakDeletionAdmittedWhileALowerReaderRuns) {
  script_ = "main:0,0,5,0,0,0,0,0,0,0";
  ASSERT_NO_FATAL_FAILURE(launch("zadatak-deletion-beside-readers", {"SEAM_HOLD_START=1"}));
  go(0);
  pause(0);
  step(0);  // reader 0 of index 0 admitted: execution line
  go(2);
  pause(2);
  step(2);  // deletion 2 of index 5 requests only now, and is admitted beside it
  expectRejected(Program::Zadatak, "a deletion was admitted while a read was running");
}

TEST_F(Mutant, ZadatakAppendsAdmittedTogether) {
  script_ = "main:0,0,0,0,0,0,0,0,0,0";
  ASSERT_NO_FATAL_FAILURE(launch("zadatak-appends-together", {}));
  for (int w = 0; w < 10; ++w) pause(w);
  step(1);
  step(4);
  expectRejected(Program::Zadatak, "two appends ran at once");
}

TEST_F(Mutant, NizLocksAppendsAdmittedTogether) {
  script_ = "0:1,0,5;1:1,0,6";
  ASSERT_NO_FATAL_FAILURE(launch("niz-locks-appends-together", {"SEAM_HOLD_START=1"}));
  for (int w : {0, 1}) {
    go(w);
    pause(w);
  }
  step(0);             // the first append executes and holds every element
  child->release(1);  // the second, admitted too, executes beside it
  blocked(1);
  expectRejected(Program::NizLocks, "two appends ran at once although the array held");
}

// Worker 0 deletes index 8, the last element, before anything else happens:
// the broken copy reports a failure that no shrink explains.
TEST_F(Mutant, NizLocksDeletionFailsBeforeTheArrayShrank) {
  script_ = "0:2,8,0";
  ASSERT_NO_FATAL_FAILURE(launch("niz-locks-deletion-fails-early", {"SEAM_HOLD_START=1"}));
  go(0);
  pause(0);
  lastStep(0);
  expectRejected(Program::NizLocks, "a deletion failed before any deletion had succeeded");
}

// Append 0 gives its range up before its last pause, so deletions 1 and 2 of
// index 0 are admitted and succeed one after the other inside its window.
TEST_F(Mutant, NizLocksAppendReleasesItsRangeEarly) {
  script_ = "0:1,0,5;1:2,0,0;2:2,0,0";
  ASSERT_NO_FATAL_FAILURE(launch("niz-locks-append-releases-early", {"SEAM_HOLD_START=1"}));
  go(0);
  pause(0);
  step(0);  // executes, stores, and lets its range go
  for (int w : {1, 2}) {
    go(w);
    pause(w);
    step(w);
    lastStep(w);
  }
  expectRejected(Program::NizLocks, "two deletions succeeded while an append held a non-empty array");
}

TEST_F(Mutant, NizMarkDeletionReportsSuccessPastTheLength) {
  script_ = "0:3,2;1:8,2;2:7,0;3:0,3;4:0,3;5:0,3;6:0,3;7:0,3;8:0,3;9:0,3";
  ASSERT_NO_FATAL_FAILURE(launch("niz-mark-success-past-length", seam::programEnv("niz-mark")));
  for (int w : {0, 1, 2}) pause(w);
  step(0);
  step(1);  // deletions of 3 and 8 side by side
  lastStep(0);  // 3 finishes first: 8 is past the end
  step(2);      // a read of 7 then finds 9 there, so the deletion of 8 cannot have come first
  lastStep(2);
  expectRejected(Program::NizMark, "no order of the workers' length tests and changes explains this outcome");
}

}  // namespace
