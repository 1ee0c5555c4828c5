#include "console/components/background_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace corvane {

QThread::Priority ToQtPriority(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::Idle: return QThread::IdlePriority;
    case ThreadPriority::Lowest: return QThread::LowestPriority;
    case ThreadPriority::Lower: return QThread::LowPriority;
    case ThreadPriority::Normal: return QThread::NormalPriority;
    case ThreadPriority::Higher: return QThread::HighPriority;
    case ThreadPriority::Highest: return QThread::HighestPriority;
    case ThreadPriority::TimeCritical: return QThread::TimeCriticalPriority;
  }
  return QThread::NormalPriority;
}

// ---------------------------------------------------------------------------------------------
// BackgroundThreadBase

BackgroundThreadBase::BackgroundThreadBase(QObject* owner) : QObject(owner) {}

// The derived destructors leave the group (leaving needs their overrides), so the link is
// already empty here.
BackgroundThreadBase::~BackgroundThreadBase() = default;

void BackgroundThreadBase::SetThreadGroup(BackgroundThreadGroup* group) {
  if (group == threadGroup_) return;
  if (threadGroup_ != nullptr) {
    BackgroundThreadGroup* old = threadGroup_;
    LeaveGroup(old);
  }
  threadGroup_ = nullptr;
  if (group != nullptr && JoinGroup(group)) threadGroup_ = group;
}

// ---------------------------------------------------------------------------------------------
// BackgroundWorker

BackgroundWorker::BackgroundWorker(BackgroundThread* owner, void* data)
    : QThread(nullptr), owner_(owner), data_(data) {}

BackgroundWorker::~BackgroundWorker() {
  // Only finished workers are destroyed; wait() returns once the thread's final clean-up is done.
  wait();
}

void BackgroundWorker::run() {
  try {
    WaitWhileSuspended();
    if (!stop_.load()) owner_->DoExecute(this);
  } catch (...) {
    fatal_ = std::current_exception();
  }
}

bool BackgroundWorker::Terminated() {
  WaitWhileSuspended();
  return stop_.load();
}

bool BackgroundWorker::WaitForStop(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  {
    std::unique_lock<std::mutex> guard(stopMutex_);
    while (!stop_.load()) {
      stopWaitRounds_.fetch_add(1);
      if (stopCv_.wait_until(guard, deadline) == std::cv_status::timeout) break;
    }
  }
  return Terminated();
}

void BackgroundWorker::RequestStop() {
  {
    std::lock_guard<std::mutex> guard(stopMutex_);
    stop_.store(true);
  }
  stopCv_.notify_all();
}

void BackgroundWorker::AddSuspend() {
  std::lock_guard<std::mutex> guard(suspendMutex_);
  ++suspendCount_;
}

void BackgroundWorker::RemoveSuspend() {
  {
    std::lock_guard<std::mutex> guard(suspendMutex_);
    if (suspendCount_ > 0) --suspendCount_;
  }
  suspendCv_.notify_all();
}

void BackgroundWorker::ReleaseSuspend() {
  {
    std::lock_guard<std::mutex> guard(suspendMutex_);
    suspendReleased_ = true;
    suspendCount_ = 0;
  }
  suspendCv_.notify_all();
}

void BackgroundWorker::WaitWhileSuspended() {
  if (QThread::currentThread() != this) return;  // only the worker itself ever pauses
  std::unique_lock<std::mutex> guard(suspendMutex_);
  suspendCv_.wait(guard, [this] { return suspendCount_ == 0 || suspendReleased_; });
}

void BackgroundWorker::SynchronizeEvent(void* data, const WorkerEvent& event) {
  WaitWhileSuspended();
  if (stop_.load() || !event) return;
  syncData_ = data;
  syncEvent_ = event;
  if (QThread::currentThread() == owner_->thread()) {
    syncEvent_(owner_, this, syncData_);
    return;
  }
  std::exception_ptr failure;
  auto call = [this, &failure] {
    // The stop request may have been set while the call waited in the GUI thread's queue.
    if (stop_.load()) return;
    try {
      syncEvent_(owner_, this, syncData_);
    } catch (...) {
      failure = std::current_exception();
    }
  };
  // No lock of ours is held here: the GUI thread may take any of them while the worker waits.
  waitingSync_.store(true);
  QMetaObject::invokeMethod(owner_, call, Qt::BlockingQueuedConnection);
  waitingSync_.store(false);
  if (failure) std::rethrow_exception(failure);
}

// ---------------------------------------------------------------------------------------------
// BackgroundThread

BackgroundThread::BackgroundThread(QObject* owner) : BackgroundThreadBase(owner), timer_(new QTimer(this)) {
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, [this] { RefreshTick(); });
}

BackgroundThread::~BackgroundThread() {
  timer_->stop();
  // Leave the group while a live worker can still be counted out of it.
  SetThreadGroup(nullptr);
  if (worker_) {
    releasing_ = true;
    BackgroundWorker* worker = worker_.get();
    worker->RequestStop();
    worker->ReleaseSuspend();
    // Wait while serving the GUI thread's events: a worker blocked in a synchronised call is
    // released by them, and the end notification (ThreadReleased) clears worker_.  The
    // operator's input waits meanwhile: the windows around us may be going away.
    while (worker_) {
      if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
      } else {
        // Without an application nothing can be served; the worker cannot be waiting for us.
        worker->wait();
        ThreadReleased(std::move(worker_));
      }
    }
  }
}

std::uint32_t BackgroundThread::RefreshInterval() const { return static_cast<std::uint32_t>(timer_->interval()); }

void BackgroundThread::SetRefreshInterval(std::uint32_t milliseconds) {
  timer_->setInterval(static_cast<int>(std::min<std::uint32_t>(milliseconds, INT_MAX)));
}

void BackgroundThread::SetPriority(ThreadPriority priority) {
  priority_ = priority;
  if (worker_ && worker_->isRunning()) worker_->setPriority(ToQtPriority(priority));
}

void BackgroundThread::Start(void* data) {
  if (worker_) return;
  worker_.reset(new BackgroundWorker(this, data));
  BackgroundWorker* worker = worker_.get();
  connect(
      worker, &QThread::finished, this, [this, worker] { WorkerFinished(worker); }, Qt::QueuedConnection);
  NotifyGroupStart(ThreadGroup());
  if (OnStart) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    try {
      OnStart(this, worker, worker->data_);
    } catch (...) {
      // The worker never runs: drop it, so the component is idle again and nothing waits for
      // a thread that was never started.
      NotifyGroupStop(ThreadGroup());
      worker_.reset();
      throw;
    }
  }
  // The worker runs OnExecute as it is now (OnStart may have set it); later writes of the field
  // on the GUI thread do not race with the running worker.
  worker->execute_ = OnExecute;
  worker->start(ToQtPriority(priority_));
  if (!worker->isRunning() && !worker->isFinished()) {
    // The system refused the thread (no memory, no more threads): no end notification will
    // ever come, so the component must not wait for one.
    NotifyGroupStop(ThreadGroup());
    worker_.reset();
    throw std::runtime_error("Thread creation error");
  }
  timer_->start();
}

void BackgroundThread::Stop() {
  if (worker_) worker_->RequestStop();
}

void BackgroundThread::Suspend() {
  if (worker_) worker_->AddSuspend();
}

void BackgroundThread::Resume() {
  if (worker_) worker_->RemoveSuspend();
}

void BackgroundThread::DoExecute(BackgroundWorker* thread) {
  if (thread->execute_) thread->execute_(this, thread, thread->data_);
}

void BackgroundThread::RefreshTick() {
  if (!worker_) return;
  BackgroundWorker* worker = worker_.get();
  const std::int32_t percent = worker->Percent();
  if (ThreadGroup() != nullptr) ThreadGroup()->ThreadUpdated(this, worker, worker->data_, UpdatePriority, percent);
  if (OnUpdate && worker_.get() == worker) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    OnUpdate(this, worker, worker->data_, percent);
  }
}

void BackgroundThread::WorkerFinished(BackgroundWorker* worker) {
  if (worker_.get() != worker) return;
  std::unique_ptr<BackgroundWorker> ending = std::move(worker_);
  if (releasing_)
    ThreadReleased(std::move(ending));
  else
    ThreadEnded(std::move(ending));
}

void BackgroundThread::ThreadEnded(std::unique_ptr<BackgroundWorker> ending) {
  timer_->stop();
  // worker_ is already clear: the component is idle and may be started again from here on.
  if (ThreadGroup() != nullptr) ThreadGroup()->ThreadStopped(this, ending.get(), ending->data_);
  if (OnTerminate) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    OnTerminate(this, ending.get(), ending->data_);
  }
  // Tick again only when OnTerminate started a new worker.
  if (worker_ && !timer_->isActive()) timer_->start();
  Dispose(std::move(ending));
}

void BackgroundThread::ThreadReleased(std::unique_ptr<BackgroundWorker> ending) { Dispose(std::move(ending)); }

void BackgroundThread::Dispose(std::unique_ptr<BackgroundWorker> finished) {
  // The worker has emitted its end signal; its destructor waits for the last clean-up only.
  finished.reset();
}

void BackgroundThread::NotifyGroupStart(BackgroundThreadGroup* group) {
  if (group != nullptr && worker_) group->ThreadStarted(this, worker_.get(), worker_->data_);
}

void BackgroundThread::NotifyGroupStop(BackgroundThreadGroup* group) {
  if (group != nullptr && worker_) group->ThreadStopped(this, worker_.get(), worker_->data_);
}

bool BackgroundThread::JoinGroup(BackgroundThreadGroup* group) { return group->AddMember(this); }

void BackgroundThread::LeaveGroup(BackgroundThreadGroup* group) { group->RemoveMember(this); }

// ---------------------------------------------------------------------------------------------
// BackgroundThreadGroup

BackgroundThreadGroup::BackgroundThreadGroup(QObject* owner) : BackgroundThreadBase(owner) {}

BackgroundThreadGroup::~BackgroundThreadGroup() {
  SetThreadGroup(nullptr);
  destroying_ = true;
  for (BackgroundThreadBase* member : Members()) member->SetThreadGroup(nullptr);
}

std::int32_t BackgroundThreadGroup::RunningCount() const {
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  return runningCount_;
}

std::vector<BackgroundThreadBase*> BackgroundThreadGroup::Members() const {
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  return members_;
}

std::vector<BackgroundThread*> BackgroundThreadGroup::Threads() const {
  std::vector<BackgroundThread*> out;
  CollectThreads(out);
  return out;
}

void BackgroundThreadGroup::CollectThreads(std::vector<BackgroundThread*>& out) const {
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  for (BackgroundThreadBase* member : members_) {
    if (auto* thread = qobject_cast<BackgroundThread*>(member))
      out.push_back(thread);
    else if (auto* group = qobject_cast<BackgroundThreadGroup*>(member))
      group->CollectThreads(out);
  }
}

void BackgroundThreadGroup::Start(void* data) {
  for (BackgroundThreadBase* member : Members()) member->Start(data);
}

void BackgroundThreadGroup::Stop() {
  for (BackgroundThreadBase* member : Members()) member->Stop();
}

void BackgroundThreadGroup::Suspend() {
  for (BackgroundThreadBase* member : Members()) member->Suspend();
}

void BackgroundThreadGroup::Resume() {
  for (BackgroundThreadBase* member : Members()) member->Resume();
}

void BackgroundThreadGroup::NotifyGroupStart(BackgroundThreadGroup* group) {
  if (group == nullptr) return;
  for (BackgroundThreadBase* member : Members()) member->NotifyGroupStart(group);
}

void BackgroundThreadGroup::NotifyGroupStop(BackgroundThreadGroup* group) {
  if (group == nullptr) return;
  for (BackgroundThreadBase* member : Members()) member->NotifyGroupStop(group);
}

bool BackgroundThreadGroup::JoinGroup(BackgroundThreadGroup* group) { return group->AddMember(this); }

void BackgroundThreadGroup::LeaveGroup(BackgroundThreadGroup* group) { group->RemoveMember(this); }

bool BackgroundThreadGroup::InGroupChain(const BackgroundThreadBase* candidate) const {
  for (const BackgroundThreadBase* g = this; g != nullptr; g = g->ThreadGroup())
    if (g == candidate) return true;
  return false;
}

bool BackgroundThreadGroup::AddMember(BackgroundThreadBase* member) {
  if (member == nullptr || InGroupChain(member) || destroying_) return false;
  // A member with running workers counts them into this group (and its parents) first.
  member->NotifyGroupStart(this);
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  members_.push_back(member);
  return true;
}

void BackgroundThreadGroup::RemoveMember(BackgroundThreadBase* member) {
  {
    std::lock_guard<std::recursive_mutex> guard(groupLock_);
    members_.erase(std::remove(members_.begin(), members_.end(), member), members_.end());
  }
  // Every worker counted in is counted out exactly once: a member that leaves while running
  // takes its workers out of this group's count now.
  member->NotifyGroupStop(this);
}

void BackgroundThreadGroup::ThreadStarted(QObject* sender, BackgroundWorker* thread, void*& data) {
  std::int32_t old;
  {
    std::lock_guard<std::recursive_mutex> guard(groupLock_);
    old = runningCount_;
    ++runningCount_;
    if (OnThreadStart) OnThreadStart(sender, thread, data);
  }
  if (ThreadGroup() != nullptr) ThreadGroup()->ThreadStarted(sender, thread, data);
  if (old == 0 && OnStart) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    OnStart(sender, thread, data);
  }
}

void BackgroundThreadGroup::ThreadStopped(QObject* sender, BackgroundWorker* thread, void*& data) {
  std::int32_t now;
  {
    std::lock_guard<std::recursive_mutex> guard(groupLock_);
    if (runningCount_ > 0) --runningCount_;
    now = runningCount_;
  }
  if (destroying_) return;  // members leaving a group that is going away raise nothing
  if (OnThreadTerminate) OnThreadTerminate(sender, thread, data);
  if (ThreadGroup() != nullptr) ThreadGroup()->ThreadStopped(sender, thread, data);
  if (now == 0 && OnTerminate) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    OnTerminate(sender, thread, data);
  }
}

void BackgroundThreadGroup::ThreadUpdated(QObject* sender, BackgroundWorker* thread, void*& data,
                                          std::int32_t senderPriority, std::int32_t percent) {
  if (OnThreadUpdate) OnThreadUpdate(sender, thread, data, percent);
  if (!OnUpdate) return;
  for (BackgroundThreadBase* member : Members())
    if (member->Running() && member->UpdatePriority > senderPriority) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  OnUpdate(sender, thread, data, percent);
}

}  // namespace corvane
