#include "console/bmd_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace corvane {

QThread::Priority ToQtPriority(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle: return QThread::IdlePriority;
    case TThreadPriority::tpLowest: return QThread::LowestPriority;
    case TThreadPriority::tpLower: return QThread::LowPriority;
    case TThreadPriority::tpNormal: return QThread::NormalPriority;
    case TThreadPriority::tpHigher: return QThread::HighPriority;
    case TThreadPriority::tpHighest: return QThread::HighestPriority;
    case TThreadPriority::tpTimeCritical: return QThread::TimeCriticalPriority;
  }
  return QThread::NormalPriority;
}

// ---------------------------------------------------------------------------------------------
// TBMDThreadBase

TBMDThreadBase::TBMDThreadBase(QObject* owner) : QObject(owner) {}

// The derived destructors leave the group (leaving needs their overrides), so the link is
// already empty here.
TBMDThreadBase::~TBMDThreadBase() = default;

void TBMDThreadBase::SetThreadGroup(TBMDThreadGroup* group) {
  if (group == threadGroup_) return;
  if (threadGroup_ != nullptr) {
    TBMDThreadGroup* old = threadGroup_;
    LeaveGroup(old);
  }
  threadGroup_ = nullptr;
  if (group != nullptr && JoinGroup(group)) threadGroup_ = group;
}

// ---------------------------------------------------------------------------------------------
// TBMDExecuteThread

TBMDExecuteThread::TBMDExecuteThread(TBMDThread* owner, void* data)
    : QThread(nullptr), owner_(owner), data_(data) {}

TBMDExecuteThread::~TBMDExecuteThread() {
  // Only finished workers are destroyed; wait() returns once the thread's final clean-up is done.
  wait();
}

void TBMDExecuteThread::run() {
  try {
    WaitWhileSuspended();
    if (!stop_.load()) owner_->DoExecute(this);
  } catch (...) {
    fatal_ = std::current_exception();
  }
}

bool TBMDExecuteThread::Terminated() {
  WaitWhileSuspended();
  return stop_.load();
}

void TBMDExecuteThread::RequestStop() { stop_.store(true); }

void TBMDExecuteThread::AddSuspend() {
  std::lock_guard<std::mutex> guard(suspendMutex_);
  ++suspendCount_;
}

void TBMDExecuteThread::RemoveSuspend() {
  {
    std::lock_guard<std::mutex> guard(suspendMutex_);
    if (suspendCount_ > 0) --suspendCount_;
  }
  suspendCv_.notify_all();
}

void TBMDExecuteThread::ReleaseSuspend() {
  {
    std::lock_guard<std::mutex> guard(suspendMutex_);
    suspendReleased_ = true;
    suspendCount_ = 0;
  }
  suspendCv_.notify_all();
}

void TBMDExecuteThread::WaitWhileSuspended() {
  if (QThread::currentThread() != this) return;  // only the worker itself ever pauses
  std::unique_lock<std::mutex> guard(suspendMutex_);
  suspendCv_.wait(guard, [this] { return suspendCount_ == 0 || suspendReleased_; });
}

void TBMDExecuteThread::SynchronizeEvent(void* data, const TBMDThreadDataNotifyEvent& event) {
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
// TBMDThread

TBMDThread::TBMDThread(QObject* owner) : TBMDThreadBase(owner), timer_(new QTimer(this)) {
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, [this] { RefreshTick(); });
}

TBMDThread::~TBMDThread() {
  timer_->stop();
  // Leave the group while a live worker can still be counted out of it.
  SetThreadGroup(nullptr);
  if (worker_) {
    releasing_ = true;
    TBMDExecuteThread* worker = worker_.get();
    worker->RequestStop();
    worker->ReleaseSuspend();
    // Wait while serving the GUI thread's events: a worker blocked in a synchronised call is
    // released by them, and the end notification (ThreadReleased) clears worker_.  The
    // operator's input waits meanwhile: the windows around us may be going away.
    while (worker_) {
      if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
      } else {
        // Without an application nothing can be served; the worker cannot be waiting for us.
        worker->wait();
        ThreadReleased(std::move(worker_));
      }
    }
  }
}

std::uint32_t TBMDThread::RefreshInterval() const {
  return static_cast<std::uint32_t>(timer_->interval());
}

void TBMDThread::SetRefreshInterval(std::uint32_t milliseconds) {
  timer_->setInterval(static_cast<int>(std::min<std::uint32_t>(milliseconds, INT_MAX)));
}

void TBMDThread::SetPriority(TThreadPriority priority) {
  priority_ = priority;
  if (worker_ && worker_->isRunning()) worker_->setPriority(ToQtPriority(priority));
}

void TBMDThread::Start(void* data) {
  if (worker_) return;
  worker_.reset(new TBMDExecuteThread(this, data));
  TBMDExecuteThread* worker = worker_.get();
  connect(worker, &QThread::finished, this, [this, worker] { WorkerFinished(worker); },
          Qt::QueuedConnection);
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

void TBMDThread::Stop() {
  if (worker_) worker_->RequestStop();
}

void TBMDThread::Suspend() {
  if (worker_) worker_->AddSuspend();
}

void TBMDThread::Resume() {
  if (worker_) worker_->RemoveSuspend();
}

void TBMDThread::DoExecute(TBMDExecuteThread* thread) {
  if (thread->execute_) thread->execute_(this, thread, thread->data_);
}

void TBMDThread::RefreshTick() {
  if (!worker_) return;
  TBMDExecuteThread* worker = worker_.get();
  const std::int32_t percent = worker->Percent();
  if (ThreadGroup() != nullptr)
    ThreadGroup()->ThreadUpdated(this, worker, worker->data_, UpdatePriority, percent);
  if (OnUpdate && worker_.get() == worker) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    OnUpdate(this, worker, worker->data_, percent);
  }
}

void TBMDThread::WorkerFinished(TBMDExecuteThread* worker) {
  if (worker_.get() != worker) return;
  std::unique_ptr<TBMDExecuteThread> ending = std::move(worker_);
  if (releasing_)
    ThreadReleased(std::move(ending));
  else
    ThreadEnded(std::move(ending));
}

void TBMDThread::ThreadEnded(std::unique_ptr<TBMDExecuteThread> ending) {
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

void TBMDThread::ThreadReleased(std::unique_ptr<TBMDExecuteThread> ending) {
  Dispose(std::move(ending));
}

void TBMDThread::Dispose(std::unique_ptr<TBMDExecuteThread> finished) {
  // The worker has emitted its end signal; its destructor waits for the last clean-up only.
  finished.reset();
}

void TBMDThread::NotifyGroupStart(TBMDThreadGroup* group) {
  if (group != nullptr && worker_) group->ThreadStarted(this, worker_.get(), worker_->data_);
}

void TBMDThread::NotifyGroupStop(TBMDThreadGroup* group) {
  if (group != nullptr && worker_) group->ThreadStopped(this, worker_.get(), worker_->data_);
}

bool TBMDThread::JoinGroup(TBMDThreadGroup* group) { return group->AddMember(this); }

void TBMDThread::LeaveGroup(TBMDThreadGroup* group) { group->RemoveMember(this); }

// ---------------------------------------------------------------------------------------------
// TBMDThreadGroup

TBMDThreadGroup::TBMDThreadGroup(QObject* owner) : TBMDThreadBase(owner) {}

TBMDThreadGroup::~TBMDThreadGroup() {
  SetThreadGroup(nullptr);
  destroying_ = true;
  for (TBMDThreadBase* member : Members()) member->SetThreadGroup(nullptr);
}

std::int32_t TBMDThreadGroup::RunningCount() const {
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  return runningCount_;
}

std::vector<TBMDThreadBase*> TBMDThreadGroup::Members() const {
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  return members_;
}

std::vector<TBMDThread*> TBMDThreadGroup::Threads() const {
  std::vector<TBMDThread*> out;
  CollectThreads(out);
  return out;
}

void TBMDThreadGroup::CollectThreads(std::vector<TBMDThread*>& out) const {
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  for (TBMDThreadBase* member : members_) {
    if (auto* thread = qobject_cast<TBMDThread*>(member))
      out.push_back(thread);
    else if (auto* group = qobject_cast<TBMDThreadGroup*>(member))
      group->CollectThreads(out);
  }
}

void TBMDThreadGroup::Start(void* data) {
  for (TBMDThreadBase* member : Members()) member->Start(data);
}

void TBMDThreadGroup::Stop() {
  for (TBMDThreadBase* member : Members()) member->Stop();
}

void TBMDThreadGroup::Suspend() {
  for (TBMDThreadBase* member : Members()) member->Suspend();
}

void TBMDThreadGroup::Resume() {
  for (TBMDThreadBase* member : Members()) member->Resume();
}

void TBMDThreadGroup::NotifyGroupStart(TBMDThreadGroup* group) {
  if (group == nullptr) return;
  for (TBMDThreadBase* member : Members()) member->NotifyGroupStart(group);
}

void TBMDThreadGroup::NotifyGroupStop(TBMDThreadGroup* group) {
  if (group == nullptr) return;
  for (TBMDThreadBase* member : Members()) member->NotifyGroupStop(group);
}

bool TBMDThreadGroup::JoinGroup(TBMDThreadGroup* group) { return group->AddMember(this); }

void TBMDThreadGroup::LeaveGroup(TBMDThreadGroup* group) { group->RemoveMember(this); }

bool TBMDThreadGroup::InGroupChain(const TBMDThreadBase* candidate) const {
  for (const TBMDThreadBase* g = this; g != nullptr; g = g->ThreadGroup())
    if (g == candidate) return true;
  return false;
}

bool TBMDThreadGroup::AddMember(TBMDThreadBase* member) {
  if (member == nullptr || InGroupChain(member) || destroying_) return false;
  // A member with running workers counts them into this group (and its parents) first.
  member->NotifyGroupStart(this);
  std::lock_guard<std::recursive_mutex> guard(groupLock_);
  members_.push_back(member);
  return true;
}

void TBMDThreadGroup::RemoveMember(TBMDThreadBase* member) {
  {
    std::lock_guard<std::recursive_mutex> guard(groupLock_);
    members_.erase(std::remove(members_.begin(), members_.end(), member), members_.end());
  }
  // Every worker counted in is counted out exactly once: a member that leaves while running
  // takes its workers out of this group's count now.
  member->NotifyGroupStop(this);
}

void TBMDThreadGroup::ThreadStarted(QObject* sender, TBMDExecuteThread* thread, void*& data) {
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

void TBMDThreadGroup::ThreadStopped(QObject* sender, TBMDExecuteThread* thread, void*& data) {
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

void TBMDThreadGroup::ThreadUpdated(QObject* sender, TBMDExecuteThread* thread, void*& data,
                                    std::int32_t senderPriority, std::int32_t percent) {
  if (OnThreadUpdate) OnThreadUpdate(sender, thread, data, percent);
  if (!OnUpdate) return;
  for (TBMDThreadBase* member : Members())
    if (member->Running() && member->UpdatePriority > senderPriority) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  OnUpdate(sender, thread, data, percent);
}

}  // namespace corvane
