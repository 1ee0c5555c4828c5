// The scheduler loop of the running program: the worker on the scheduler service's thread, running a
// due job through the program's library.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "console/console_fixture.h"
#include "console/core/scheduler_worker.h"
#include "console/components/scheduler_service.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SchedulerOnWorkerThread : public test::ConsoleTest {
 protected:
  void SetUp() override {
    test::ConsoleTest::SetUp();
    InitStoredValueManager(cipher_);
    realScheduler_ = true;
  }
  std::string SchedulePath() const { return Dir().toStdString() + "/CorvaneSchd.ini"; }
  void PutDueJob(const std::string& section) {
    IniFile file(SchedulePath());
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"active", "1"},
                                                          {"once", "0"},
                                                          {"start", "2020-01-01 10:00:00"},
                                                          {"every", "1"},
                                                          {"time", "3"},
                                                          {"job", "Job1"},
                                                          {"envir", "Env1"},
                                                          {"prot", "Remote Exec"}}) {
      stored_.Write(file, section, key, value);
    }
    file.WriteBack();
  }
  TCipherManager cipher_;
  StoredValues stored_{cipher_};
};

TEST_F(SchedulerOnWorkerThread, RunsADueJobThroughTheLibrary) {
  PutDueJob("S1");
  library_->result = "0";
  Shown();
  ASSERT_TRUE(test::PumpUntil(
      [&] { return stored_.Read(IniFile(SchedulePath()), "S1", "start") == "2020-02-01 10:00:00"; }));
  ASSERT_GE(library_->calls.size(), 1u);
  EXPECT_EQ(library_->calls[0].exportName, "executeA");
  EXPECT_EQ(library_->calls[0].environment, "Env1");
  EXPECT_EQ(library_->calls[0].job, "Job1");
  EXPECT_EQ(library_->calls[0].protocolIndex, 0);
  EXPECT_EQ(library_->calls[0].dataDir, Dir().toStdString());
  EXPECT_EQ(library_->calls[0].parameters, "");
  EXPECT_FALSE(library_->calls[0].parametersNull);
  const std::string log = ReadBytes(Dir().toStdString() + "/log.txt");
  EXPECT_EQ(log.rfind(std::string(37, '*') + "\r\n", 0), 0u);
  EXPECT_NE(log.find("Schedule Job Name: S1\r\n"), std::string::npos);
  EXPECT_NE(log.find("Job Start Successfully.\r\nView Job log in Output file\r\n"), std::string::npos);
}

TEST_F(SchedulerOnWorkerThread, PausesSleepWholeAndTheStopEndsThemAtOnce) {
  // A monthly job years behind runs once in every pass: pause, pass (one run), pause after the
  // run, and again.  So the runs count the pauses, and the stop wait's rounds count the times the
  // worker woke up.
  PutDueJob("S1");
  library_->result = "0";
  MainWindow& form = Shown();
  BackgroundWorker* worker = SchedulerThread()->Worker();
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(test::PumpUntil([&] { return library_->callCount.load() >= 2; }, std::chrono::seconds(30)));
  const std::uint64_t rounds = worker->StopWaitRounds();
  const int runs = library_->callCount.load();
  // Two pauses per run, each one sleep (a 10 ms poll would have woken about 100 times a pause);
  // a spurious wake-up of the system may add one now and then.
  EXPECT_GE(rounds, 2u * static_cast<std::uint64_t>(runs) - 1);
  EXPECT_LE(rounds, 2u * static_cast<std::uint64_t>(runs) + 3);
  // The stop ends the pause in progress at once, not at its end.
  SchedulerThread()->Stop();
  EXPECT_TRUE(test::PumpUntil([&] { return !SchedulerThread()->Running(); }, std::chrono::milliseconds(500)));
  form.ShutdownWorker();
}

TEST_F(SchedulerOnWorkerThread, ClosingWhileTheWorkerWaitsInItsSynchronisedCall) {
  PutDueJob("S1");
  library_->result = "0";
  MainWindow& form = Shown();
  // Serve no events, so the worker's synchronised call stays pending.
  ASSERT_TRUE(test::WaitUntil([&] {
    BackgroundThread* thread = SchedulerThread();
    return thread != nullptr && thread->Worker() != nullptr && thread->Worker()->WaitingForSynchronize();
  }));
  form.close();
  form.ShutdownWorker();  // returns: the pending call is dropped or served, the worker ends
  EXPECT_EQ(SchedulerThread(), nullptr);
  EXPECT_EQ(stored_.Read(IniFile(SchedulePath()), "S1", "start"), "2020-02-01 10:00:00");
}

}  // namespace
}  // namespace corvane
