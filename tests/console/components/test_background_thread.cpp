// The background thread component: events, their threads and data, stop and destruction while
// the worker runs or waits for the GUI thread, the refresh timer, priorities and groups.
#include "console/components/background_thread.h"

#include "console/qt_test_app.h"

#include <gtest/gtest.h>

#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane {
namespace {

using test::Gate;
using test::PumpUntil;
using test::WaitUntil;
using test::Watchdog;

// Waits at `gate` inside OnExecute, then returns.
WorkerEvent BlockUntil(Gate& gate) {
  return [&gate](QObject*, BackgroundWorker*, void*&) { gate.Wait(); };
}

// Polls the stop request like the scheduler loop does, then returns.
WorkerEvent PollUntilStopped(std::atomic<bool>* bodyReturned = nullptr, std::atomic<bool>* entered = nullptr) {
  return [bodyReturned, entered](QObject*, BackgroundWorker* thread, void*&) {
    if (entered != nullptr) entered->store(true);
    while (!thread->Terminated()) QThread::yieldCurrentThread();
    if (bodyReturned != nullptr) bodyReturned->store(true);
  };
}

class BackgroundThreadTest : public ::testing::Test {
 protected:
  Watchdog watchdog_;
  QThread* gui_ = QThread::currentThread();
};

TEST_F(BackgroundThreadTest, DataReachesEveryHandlerOnItsThread) {
  int given = 1, fromOnStart = 2;
  void* seenExecute = nullptr;
  void* seenTerminate = nullptr;
  std::atomic<bool> startDoneBeforeExecute{false};
  bool onStartDone = false;
  QThread* executeThread = nullptr;
  QThread* terminateThread = nullptr;
  int terminated = 0;

  BackgroundThread thread;
  thread.OnStart = [&](QObject* sender, BackgroundWorker* worker, void*& data) {
    EXPECT_EQ(sender, &thread);
    EXPECT_EQ(worker, thread.Worker());
    EXPECT_EQ(QThread::currentThread(), gui_);
    EXPECT_EQ(data, &given);
    data = &fromOnStart;
    onStartDone = true;
  };
  thread.OnExecute = [&](QObject* sender, BackgroundWorker* worker, void*& data) {
    EXPECT_EQ(sender, &thread);
    startDoneBeforeExecute = onStartDone;
    executeThread = QThread::currentThread();
    EXPECT_EQ(executeThread, worker);
    seenExecute = data;
  };
  thread.OnTerminate = [&](QObject* sender, BackgroundWorker* worker, void*& data) {
    EXPECT_EQ(sender, &thread);
    EXPECT_NE(worker, nullptr);
    EXPECT_FALSE(thread.Running());  // the worker reference is already clear
    terminateThread = QThread::currentThread();
    seenTerminate = data;
    ++terminated;
  };

  EXPECT_FALSE(thread.Running());
  thread.Start(&given);
  EXPECT_TRUE(thread.Running());
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_TRUE(startDoneBeforeExecute);
  EXPECT_EQ(seenExecute, &fromOnStart);
  EXPECT_EQ(seenTerminate, &fromOnStart);
  EXPECT_NE(executeThread, gui_);
  EXPECT_EQ(terminateThread, gui_);
  EXPECT_EQ(terminated, 1);
  EXPECT_FALSE(thread.Running());
}

TEST_F(BackgroundThreadTest, SecondStartWhileRunningChangesNothing) {
  Gate gate;
  int a = 1, b = 2, starts = 0, terminated = 0;
  void* seenTerminate = nullptr;
  BackgroundThread thread;
  thread.OnStart = [&](QObject*, BackgroundWorker*, void*&) { ++starts; };
  thread.OnExecute = BlockUntil(gate);
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*& data) {
    seenTerminate = data;
    ++terminated;
  };
  thread.Start(&a);
  BackgroundWorker* first = thread.Worker();
  thread.Start(&b);
  EXPECT_EQ(thread.Worker(), first);
  EXPECT_EQ(first->Data(), &a);
  EXPECT_EQ(starts, 1);
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_EQ(seenTerminate, &a);
  EXPECT_EQ(terminated, 1);
}

TEST_F(BackgroundThreadTest, StopReturnsAtOnceAndRunningHoldsUntilTheEndNotification) {
  std::atomic<bool> bodyReturned{false}, entered{false};
  int terminated = 0;
  BackgroundThread thread;
  thread.OnExecute = PollUntilStopped(&bodyReturned, &entered);
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread.Start();
  ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
  thread.Stop();
  EXPECT_TRUE(thread.Running());
  // The body ends on its own, but the component stays running until the GUI thread has run
  // the end notification.
  ASSERT_TRUE(WaitUntil([&] { return bodyReturned.load(); }));
  ASSERT_TRUE(thread.Worker()->wait(QDeadlineTimer(20000)));
  EXPECT_TRUE(thread.Running());
  EXPECT_EQ(terminated, 0);
  ASSERT_TRUE(PumpUntil([&] { return !thread.Running(); }));
  EXPECT_EQ(terminated, 1);
}

TEST_F(BackgroundThreadTest, StopWaitSleepsThroughItsTimeOutAndEndsAtTheStop) {
  // The worker pauses in WaitForStop as the scheduler does; each pause is one round of sleep,
  // whatever its length, and the stop request ends the pause in progress.
  std::atomic<int> timedOut{0};
  std::atomic<bool> stopSeen{false};
  std::atomic<std::uint64_t> roundsBeforeStop{0};
  Gate longPauseEntered;
  BackgroundThread thread;
  thread.OnExecute = [&](QObject*, BackgroundWorker* worker, void*&) {
    for (int i = 0; i < 3; ++i) {
      if (!worker->WaitForStop(std::chrono::milliseconds(30))) ++timedOut;
    }
    roundsBeforeStop = worker->StopWaitRounds();
    longPauseEntered.Open();
    stopSeen = worker->WaitForStop(std::chrono::hours(1));
    // With the stop request set, a pause returns at once without sleeping.
    const std::uint64_t rounds = worker->StopWaitRounds();
    if (!worker->WaitForStop(std::chrono::hours(1)) || worker->StopWaitRounds() != rounds) stopSeen = false;
  };
  thread.Start();
  ASSERT_TRUE(longPauseEntered.Wait());
  thread.Stop();
  // Well within a second: the stop wakes the pause, it does not wait for its end.
  EXPECT_TRUE(WaitUntil([&] { return thread.Worker()->isFinished(); }, std::chrono::milliseconds(500)));
  ASSERT_TRUE(PumpUntil([&] { return !thread.Running(); }));
  EXPECT_TRUE(stopSeen.load());
  EXPECT_EQ(timedOut.load(), 3);
  // One sleep per pause; a spurious wake-up of the system may add one now and then, a polling
  // pause would add one every few milliseconds.
  EXPECT_GE(roundsBeforeStop.load(), 3u);
  EXPECT_LE(roundsBeforeStop.load(), 5u);
}

TEST_F(BackgroundThreadTest, StopInsideOnStartSkipsTheBody) {
  bool executed = false;
  int terminated = 0;
  BackgroundThread thread;
  thread.OnStart = [&](QObject*, BackgroundWorker* worker, void*&) {
    thread.Stop();
    EXPECT_TRUE(worker->StopRequested());
  };
  thread.OnExecute = [&](QObject*, BackgroundWorker*, void*&) { executed = true; };
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread.Start();
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_FALSE(executed);
}

TEST_F(BackgroundThreadTest, NoExecuteHandlerEndsAtOnce) {
  int terminated = 0;
  BackgroundThread thread;
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread.Start();
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_FALSE(thread.Running());
}

TEST_F(BackgroundThreadTest, StopAndSuspendWhileIdleDoNothing) {
  BackgroundThread thread;
  thread.Stop();
  thread.Suspend();
  thread.Resume();
  EXPECT_FALSE(thread.Running());
  // A suspension while idle does not carry over to the next worker.
  int terminated = 0;
  thread.OnExecute = PollUntilStopped();
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread.Start();
  thread.Stop();
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
}

TEST_F(BackgroundThreadTest, ExceptionInTheBodyStillEndsTheRun) {
  std::string message;
  int terminated = 0;
  BackgroundThread thread;
  thread.OnExecute = [](QObject*, BackgroundWorker*, void*&) { throw std::runtime_error("scheduler failed"); };
  thread.OnTerminate = [&](QObject*, BackgroundWorker* worker, void*&) {
    ++terminated;
    try {
      if (worker->FatalException()) std::rethrow_exception(worker->FatalException());
    } catch (const std::runtime_error& e) {
      message = e.what();
    }
  };
  thread.Start();
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_EQ(message, "scheduler failed");
  EXPECT_FALSE(thread.Running());
}

TEST_F(BackgroundThreadTest, FailingOnStartLeavesTheComponentIdle) {
  BackgroundThreadGroup group;
  auto thread = std::make_unique<BackgroundThread>();
  thread->SetThreadGroup(&group);
  bool executed = false;
  thread->OnStart = [](QObject*, BackgroundWorker*, void*&) { throw std::runtime_error("cannot start"); };
  thread->OnExecute = [&](QObject*, BackgroundWorker*, void*&) { executed = true; };
  EXPECT_THROW(thread->Start(), std::runtime_error);
  EXPECT_FALSE(thread->Running());
  EXPECT_EQ(group.RunningCount(), 0);
  // It can run again, and destroying it does not wait for the worker that never started.
  int terminated = 0;
  thread->OnStart = nullptr;
  thread->OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread->Start();
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_TRUE(executed);
  EXPECT_THROW(
      {
        thread->OnStart = [](QObject*, BackgroundWorker*, void*&) { throw std::runtime_error("cannot start"); };
        thread->Start();
      },
      std::runtime_error);
  thread.reset();
}

// The address space this process uses now (bytes).
rlim_t AddressSpaceInUse() {
  unsigned long long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
}

TEST_F(BackgroundThreadTest, WorkerThatCannotBeCreatedLeavesTheComponentIdle) {
  BackgroundThreadGroup group;
  auto thread = std::make_unique<BackgroundThread>();
  thread->SetThreadGroup(&group);
  bool executed = false;
  int terminated = 0;
  // The system refuses the thread: a stack far larger than the address space left to us.
  thread->OnStart = [](QObject*, BackgroundWorker* worker, void*&) { worker->setStackSize(0xF0000000u); };
  thread->OnExecute = [&](QObject*, BackgroundWorker*, void*&) { executed = true; };
  thread->OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = AddressSpaceInUse() + (rlim_t{1} << 30);
  if (saved.rlim_cur != RLIM_INFINITY && saved.rlim_cur < small.rlim_cur) small.rlim_cur = saved.rlim_cur;
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &small), 0);
  bool threw = false;
  try {
    thread->Start();
  } catch (const std::runtime_error&) {
    threw = true;
  }
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_TRUE(threw);
  EXPECT_FALSE(thread->Running());
  EXPECT_EQ(group.RunningCount(), 0);
  // A later start works, and destroying the component waits for nothing that never ran.
  thread->OnStart = nullptr;
  thread->Start();
  ASSERT_TRUE(PumpUntil([&] { return terminated == 1; }));
  EXPECT_TRUE(executed);
  thread.reset();
}

TEST_F(BackgroundThreadTest, StartInsideOnTerminateRunsAgain) {
  int first = 1, second = 2;
  std::vector<void*> executed;
  std::mutex executedMutex;
  std::vector<void*> terminatedWith;
  BackgroundThread thread;
  thread.OnExecute = [&](QObject*, BackgroundWorker*, void*& data) {
    std::lock_guard<std::mutex> lock(executedMutex);
    executed.push_back(data);
  };
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*& data) {
    terminatedWith.push_back(data);
    if (terminatedWith.size() == 1) {
      thread.Start(&second);
      EXPECT_TRUE(thread.Running());
    }
  };
  thread.Start(&first);
  ASSERT_TRUE(PumpUntil([&] { return terminatedWith.size() == 2; }));
  EXPECT_FALSE(thread.Running());
  EXPECT_EQ(terminatedWith, (std::vector<void*>{&first, &second}));
  std::lock_guard<std::mutex> lock(executedMutex);
  EXPECT_EQ(executed, (std::vector<void*>{&first, &second}));
}

TEST_F(BackgroundThreadTest, SynchronizedCallRunsOnTheGuiThreadWhileTheWorkerWaits) {
  int runData = 7, callData = 11, changed = 13;
  std::atomic<bool> handlerEnded{false};
  bool workerSawHandlerEnded = false;
  void* callerValueAfter = nullptr;
  void* storedAfter = nullptr;
  std::string rethrown;
  int terminated = 0;

  BackgroundThread thread;
  WorkerEvent handler = [&](QObject* sender, BackgroundWorker* worker, void*& data) {
    EXPECT_EQ(QThread::currentThread(), gui_);
    EXPECT_EQ(sender, &thread);
    EXPECT_EQ(worker, thread.Worker());
    EXPECT_TRUE(worker->WaitingForSynchronize());
    EXPECT_EQ(data, &callData);
    data = &changed;  // reaches the worker's stored copy only
    handlerEnded = true;
  };
  WorkerEvent failing = [](QObject*, BackgroundWorker*, void*&) {
    throw std::runtime_error("editor refresh failed");
  };
  thread.OnExecute = [&](QObject*, BackgroundWorker* worker, void*& data) {
    void* mine = &callData;
    worker->SynchronizeEvent(mine, handler);
    workerSawHandlerEnded = handlerEnded.load();
    callerValueAfter = mine;
    storedAfter = data;
    try {
      worker->SynchronizeEvent(mine, failing);
    } catch (const std::runtime_error& e) {
      rethrown = e.what();
    }
    worker->SynchronizeEvent(mine, nullptr);  // an empty event: nothing
  };
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread.Start(&runData);
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_TRUE(workerSawHandlerEnded);
  EXPECT_EQ(callerValueAfter, &callData);
  EXPECT_EQ(storedAfter, &runData);  // the run's Data is not the call's data
  EXPECT_EQ(rethrown, "editor refresh failed");
}

TEST_F(BackgroundThreadTest, SynchronizedCallFromTheGuiThreadRunsDirectly) {
  int value = 5;
  int calls = 0;
  BackgroundThread thread;
  Gate gate;
  thread.OnExecute = BlockUntil(gate);
  thread.Start();
  WorkerEvent handler = [&](QObject* sender, BackgroundWorker*, void*& data) {
    EXPECT_EQ(sender, &thread);
    EXPECT_EQ(data, &value);
    ++calls;
  };
  thread.Worker()->SynchronizeEvent(&value, handler);
  EXPECT_EQ(calls, 1);
  thread.Stop();
  thread.Worker()->SynchronizeEvent(&value, handler);  // no call once stop is set
  EXPECT_EQ(calls, 1);
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return !thread.Running(); }));
}

TEST_F(BackgroundThreadTest, NoSynchronizedCallAfterStop) {
  std::atomic<int> calls{0};
  std::atomic<bool> tried{false}, entered{false};
  int terminated = 0;
  BackgroundThread thread;
  WorkerEvent handler = [&](QObject*, BackgroundWorker*, void*&) { ++calls; };
  thread.OnExecute = [&](QObject*, BackgroundWorker* worker, void*&) {
    entered = true;
    while (!worker->Terminated()) QThread::yieldCurrentThread();
    worker->SynchronizeEvent(nullptr, handler);
    tried = true;
  };
  thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread.Start();
  ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
  thread.Stop();
  // The worker must not wait for the GUI thread: it gets past the call without any event
  // being served.
  ASSERT_TRUE(WaitUntil([&] { return tried.load(); }));
  ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  EXPECT_EQ(calls, 0);
}

TEST_F(BackgroundThreadTest, DestroyWhileTheWorkerWaitsForASynchronizedCall) {
  std::atomic<int> calls{0};
  std::atomic<bool> bodyReturned{false};
  int terminated = 0;
  WorkerEvent handler = [&](QObject*, BackgroundWorker*, void*&) { ++calls; };
  auto thread = std::make_unique<BackgroundThread>();
  thread->OnExecute = [&](QObject*, BackgroundWorker* worker, void*&) {
    worker->SynchronizeEvent(nullptr, handler);
    bodyReturned = true;
  };
  thread->OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread->Start();
  BackgroundWorker* worker = thread->Worker();
  // No event is served until the destructor runs, so the worker stays blocked in the call.
  ASSERT_TRUE(WaitUntil([&] { return worker->WaitingForSynchronize(); }));
  thread.reset();
  EXPECT_TRUE(bodyReturned);
  EXPECT_EQ(calls, 0);  // the call was still waiting when the stop request was set
  EXPECT_EQ(terminated, 0);
}

TEST_F(BackgroundThreadTest, DestroyWhileRunningWaitsForTheBodyWithoutOnTerminate) {
  std::atomic<bool> bodyReturned{false}, entered{false};
  int terminated = 0;
  auto thread = std::make_unique<BackgroundThread>();
  thread->OnExecute = PollUntilStopped(&bodyReturned, &entered);
  thread->OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
  thread->Start();
  ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
  thread.reset();
  EXPECT_TRUE(bodyReturned);
  EXPECT_EQ(terminated, 0);
}

TEST_F(BackgroundThreadTest, SuspendPausesAtThePollAndDestroyReleasesIt) {
  // Two suspensions need two resumptions; the test sees the worker pass only then.
  {
    Gate gate;
    std::atomic<bool> passed{false};
    int terminated = 0;
    BackgroundThread thread;
    thread.OnExecute = [&](QObject*, BackgroundWorker* worker, void*&) {
      gate.Wait();
      worker->Terminated();
      passed = true;
    };
    thread.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
    thread.Start();
    thread.Suspend();
    thread.Suspend();
    gate.Open();
    thread.Resume();
    thread.Resume();
    ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
    EXPECT_TRUE(passed);
  }
  // Destroying the component while its worker is suspended does not wait forever.
  {
    std::atomic<bool> bodyReturned{false}, entered{false};
    auto thread = std::make_unique<BackgroundThread>();
    thread->OnExecute = PollUntilStopped(&bodyReturned, &entered);
    thread->Start();
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    thread->Suspend();
    thread.reset();
    EXPECT_TRUE(bodyReturned);
  }
}

TEST_F(BackgroundThreadTest, PriorityMapsOneToOneAndReachesTheLiveWorker) {
  const std::vector<std::pair<ThreadPriority, QThread::Priority>> table = {
      {ThreadPriority::Idle, QThread::IdlePriority},
      {ThreadPriority::Lowest, QThread::LowestPriority},
      {ThreadPriority::Lower, QThread::LowPriority},
      {ThreadPriority::Normal, QThread::NormalPriority},
      {ThreadPriority::Higher, QThread::HighPriority},
      {ThreadPriority::Highest, QThread::HighestPriority},
      {ThreadPriority::TimeCritical, QThread::TimeCriticalPriority},
  };
  for (const auto& [ours, qt] : table) EXPECT_EQ(ToQtPriority(ours), qt);

  Gate gate;
  std::atomic<int> seenAtStart{-1};
  BackgroundThread thread;
  EXPECT_EQ(thread.Priority(), ThreadPriority::Normal);
  thread.SetPriority(ThreadPriority::Lowest);  // idle: applies to the next worker
  thread.OnExecute = [&](QObject*, BackgroundWorker* worker, void*&) {
    seenAtStart = static_cast<int>(worker->priority());
    gate.Wait();
  };
  thread.Start();
  ASSERT_TRUE(WaitUntil([&] { return seenAtStart.load() >= 0; }));
  EXPECT_EQ(seenAtStart.load(), static_cast<int>(QThread::LowestPriority));
  thread.SetPriority(ThreadPriority::Higher);  // running: applies at once
  EXPECT_EQ(thread.Worker()->priority(), QThread::HighPriority);
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return !thread.Running(); }));
}

TEST_F(BackgroundThreadTest, RefreshTicksCarryPercent) {
  Gate setPercent;
  std::vector<std::int32_t> percents;
  int given = 3;
  BackgroundThread thread;
  EXPECT_EQ(thread.RefreshInterval(), 100u);
  thread.SetRefreshInterval(1);
  EXPECT_EQ(thread.RefreshInterval(), 1u);
  thread.OnExecute = [&](QObject*, BackgroundWorker* worker, void*&) {
    setPercent.Wait();
    worker->SetPercent(42);
    while (!worker->Terminated()) QThread::yieldCurrentThread();
  };
  thread.OnUpdate = [&](QObject* sender, BackgroundWorker* worker, void*& data, std::int32_t percent) {
    EXPECT_EQ(sender, &thread);
    EXPECT_EQ(worker, thread.Worker());
    EXPECT_EQ(data, &given);
    percents.push_back(percent);
  };
  thread.Start(&given);
  ASSERT_TRUE(PumpUntil([&] { return !percents.empty(); }));
  EXPECT_EQ(percents.front(), 0);  // never written yet
  setPercent.Open();
  ASSERT_TRUE(PumpUntil([&] { return percents.back() == 42; }));
  thread.Stop();
  ASSERT_TRUE(PumpUntil([&] { return !thread.Running(); }));
  // No tick reaches OnUpdate once the component is idle.
  const std::size_t seen = percents.size();
  QCoreApplication::processEvents();
  EXPECT_EQ(percents.size(), seen);
}

// ---------------------------------------------------------------------------------------------
// Groups

struct GroupLog {
  int started = 0, terminated = 0, threadStarted = 0, threadTerminated = 0;
  void Attach(BackgroundThreadGroup& g) {
    g.OnStart = [this](QObject*, BackgroundWorker*, void*&) { ++started; };
    g.OnTerminate = [this](QObject*, BackgroundWorker*, void*&) { ++terminated; };
    g.OnThreadStart = [this](QObject*, BackgroundWorker*, void*&) { ++threadStarted; };
    g.OnThreadTerminate = [this](QObject*, BackgroundWorker*, void*&) { ++threadTerminated; };
  }
};

TEST_F(BackgroundThreadTest, GroupCountsItsRunningWorkers) {
  Gate gate;
  BackgroundThreadGroup group;
  GroupLog log;
  log.Attach(group);
  BackgroundThread t1, t2;
  t1.OnExecute = BlockUntil(gate);
  t2.OnExecute = BlockUntil(gate);
  t1.SetThreadGroup(&group);
  t2.SetThreadGroup(&group);
  EXPECT_EQ(group.Members(), (std::vector<BackgroundThreadBase*>{&t1, &t2}));
  EXPECT_EQ(group.Threads(), (std::vector<BackgroundThread*>{&t1, &t2}));
  EXPECT_FALSE(group.Running());

  group.Start();
  EXPECT_TRUE(t1.Running());
  EXPECT_TRUE(t2.Running());
  EXPECT_EQ(group.RunningCount(), 2);
  EXPECT_EQ(log.started, 1);
  EXPECT_EQ(log.threadStarted, 2);

  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return !t1.Running() && !t2.Running(); }));
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_EQ(log.threadTerminated, 2);
  EXPECT_EQ(log.terminated, 1);
}

TEST_F(BackgroundThreadTest, GroupRefusesACycle) {
  BackgroundThreadGroup outer, inner;
  inner.SetThreadGroup(&outer);
  ASSERT_EQ(inner.ThreadGroup(), &outer);
  outer.SetThreadGroup(&inner);
  EXPECT_EQ(outer.ThreadGroup(), nullptr);
  inner.SetThreadGroup(&inner);  // leaves outer, then is refused by itself
  EXPECT_EQ(inner.ThreadGroup(), nullptr);
  EXPECT_TRUE(outer.Members().empty());
}

TEST_F(BackgroundThreadTest, NestedGroupsCountEveryWorkerOutExactlyOnce) {
  Gate gate;
  BackgroundThreadGroup parent, sub;
  GroupLog parentLog;
  parentLog.Attach(parent);
  sub.SetThreadGroup(&parent);
  BackgroundThread t;
  t.OnExecute = BlockUntil(gate);
  t.SetThreadGroup(&sub);  // joins after sub joined parent: still under parent
  EXPECT_EQ(parent.Threads(), (std::vector<BackgroundThread*>{&t}));

  t.Start();
  EXPECT_EQ(sub.RunningCount(), 1);
  EXPECT_EQ(parent.RunningCount(), 1);

  sub.SetThreadGroup(nullptr);  // leaves while its worker runs
  EXPECT_EQ(parent.RunningCount(), 0);
  EXPECT_EQ(parentLog.threadTerminated, 1);
  EXPECT_EQ(parentLog.terminated, 1);
  EXPECT_TRUE(parent.Threads().empty());

  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return !t.Running(); }));
  EXPECT_EQ(sub.RunningCount(), 0);
  EXPECT_EQ(parent.RunningCount(), 0);
  EXPECT_EQ(parentLog.threadTerminated, 1);
}

TEST_F(BackgroundThreadTest, JoiningWhileRunningCountsIn) {
  Gate gate;
  BackgroundThreadGroup group;
  GroupLog log;
  log.Attach(group);
  BackgroundThread t;
  t.OnExecute = BlockUntil(gate);
  t.Start();
  t.SetThreadGroup(&group);
  EXPECT_EQ(group.RunningCount(), 1);
  EXPECT_EQ(log.started, 1);
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return !t.Running(); }));
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_EQ(log.terminated, 1);
}

TEST_F(BackgroundThreadTest, DestroyingMembersAndGroupsDetaches) {
  // A thread component destroyed while running leaves its group counted out.
  {
    BackgroundThreadGroup group;
    auto t = std::make_unique<BackgroundThread>();
    t->OnExecute = PollUntilStopped();
    t->SetThreadGroup(&group);
    t->Start();
    EXPECT_EQ(group.RunningCount(), 1);
    t.reset();
    EXPECT_EQ(group.RunningCount(), 0);
    EXPECT_TRUE(group.Members().empty());
  }
  // A group destroyed while its member runs detaches the member, which runs on.
  {
    Gate gate;
    int terminated = 0;
    BackgroundThread t;
    t.OnExecute = BlockUntil(gate);
    t.OnTerminate = [&](QObject*, BackgroundWorker*, void*&) { ++terminated; };
    auto group = std::make_unique<BackgroundThreadGroup>();
    auto parent = std::make_unique<BackgroundThreadGroup>();
    group->SetThreadGroup(parent.get());
    t.SetThreadGroup(group.get());
    t.Start();
    EXPECT_EQ(parent->RunningCount(), 1);
    group.reset();
    EXPECT_EQ(t.ThreadGroup(), nullptr);
    EXPECT_EQ(parent->RunningCount(), 0);
    EXPECT_TRUE(parent->Members().empty());
    gate.Open();
    ASSERT_TRUE(PumpUntil([&] { return terminated > 0; }));
  }
}

TEST_F(BackgroundThreadTest, GroupUpdatesFavourTheHigherUpdatePriority) {
  Gate gate;
  BackgroundThreadGroup group;
  BackgroundThread high, low;
  high.UpdatePriority = 1;
  high.SetRefreshInterval(1);
  low.SetRefreshInterval(1);
  high.OnExecute = BlockUntil(gate);
  low.OnExecute = BlockUntil(gate);
  high.SetThreadGroup(&group);
  low.SetThreadGroup(&group);
  std::vector<QObject*> threadUpdates, updates;
  group.OnThreadUpdate = [&](QObject* sender, BackgroundWorker*, void*&, std::int32_t) {
    threadUpdates.push_back(sender);
  };
  group.OnUpdate = [&](QObject* sender, BackgroundWorker*, void*&, std::int32_t) { updates.push_back(sender); };
  group.Start();
  auto seen = [](const std::vector<QObject*>& v, QObject* o) {
    return std::find(v.begin(), v.end(), o) != v.end();
  };
  ASSERT_TRUE(PumpUntil([&] { return seen(threadUpdates, &low) && seen(updates, &high); }));
  EXPECT_FALSE(seen(updates, &low));  // a running member ranks above it
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return !group.Running() && !high.Running() && !low.Running(); }));
}

}  // namespace
}  // namespace corvane
