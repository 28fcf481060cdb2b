// Thread objects and the GUI dispatcher: bodies that start at once, the terminate request,
// threads that free themselves and the references that outlive them, joining on deletion,
// priorities, and calls handed to the GUI thread by Synchronize and PostToGui.
#include "platform/thread/tthread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread/dispatcher.h"
#include "tests/support/eventually.h"

namespace {

using namespace std::chrono_literals;

int KernelThreadId() {
  return static_cast<int>(syscall(SYS_gettid));
}

// Waits, up to a bound, until `done` holds.
// Installs a dispatcher for one test and uninstalls it however the test ends.
class InstalledDispatcher {
 public:
  explicit InstalledDispatcher(Dispatcher* d) { SetGuiDispatcher(d); }
  ~InstalledDispatcher() { SetGuiDispatcher(nullptr); }
};

// A thread whose body is given by the test, with its lifetime made visible.
class Worker final : public TThread {
 public:
  struct Options {
    bool freeOnTerminate = false;
    int priority = THREAD_PRIORITY_NORMAL;
    std::atomic<bool>* destroyed = nullptr;
    ThreadRef* ref = nullptr;  // filled before the body can end
  };

  Worker(std::function<void(Worker&)> body, Options options)
      : body_(std::move(body)), destroyed_(options.destroyed) {
    FreeOnTerminate = options.freeOnTerminate;
    if (options.priority != THREAD_PRIORITY_NORMAL) SetPriority(options.priority);
    if (options.ref) *options.ref = Ref();
  }
  ~Worker() override {
    if (destroyed_) *destroyed_ = true;
  }

  bool IsTerminated() const { return Terminated(); }
  void Sync(const std::function<void()>& method) { Synchronize(method); }

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(Worker&)> body_;
  std::atomic<bool>* destroyed_;
};

Worker* Start(std::function<void(Worker&)> body, Worker::Options options = {}) {
  return TThread::Create<Worker>(std::move(body), options);
}

void UntilTerminated(Worker& self) {
  while (!self.IsTerminated()) std::this_thread::sleep_for(1ms);
}

TEST(TThread, TheBodyRunsAtOnceOnANewThread) {
  std::atomic<bool> ran{false};
  std::thread::id bodyThread;
  Worker* t = Start([&](Worker&) {
    bodyThread = std::this_thread::get_id();
    ran = true;
  });
  ASSERT_TRUE(t->Ref().WaitFor(kPatience)) << "the body never ran without being resumed";
  EXPECT_TRUE(ran);
  EXPECT_NE(bodyThread, std::this_thread::get_id());
  EXPECT_FALSE(t->Ref().Running());
  delete t;
}

TEST(TThread, TerminateSetsWhatTheBodyReadsThroughTerminated) {
  std::atomic<bool> terminatedAtStart{true};
  Worker* t = Start([&](Worker& self) {
    terminatedAtStart = self.IsTerminated();
    UntilTerminated(self);
  });
  const ThreadRef ref = t->Ref();
  EXPECT_FALSE(ref.WaitFor(20ms)) << "the body ended before it was asked to";
  EXPECT_TRUE(ref.Running());
  t->Terminate();
  ASSERT_TRUE(ref.WaitFor(kPatience));
  EXPECT_FALSE(terminatedAtStart);
  EXPECT_FALSE(ref.Running());
  delete t;

  // The request also goes through a copy of the reference.
  Worker* u = Start(UntilTerminated);
  const ThreadRef copy = u->Ref();
  copy.Terminate();
  EXPECT_TRUE(copy.WaitFor(kPatience));
  delete u;
}

TEST(TThread, AFreeOnTerminateThreadDeletesItselfWhileItsRefStaysUsable) {
  std::atomic<bool> destroyed{false};
  ThreadRef ref;
  Start(UntilTerminated, {.freeOnTerminate = true, .destroyed = &destroyed, .ref = &ref});
  ASSERT_FALSE(ref.Empty());
  EXPECT_TRUE(ref.Running());
  EXPECT_FALSE(destroyed);

  ref.Terminate();
  ASSERT_TRUE(ref.WaitFor(kPatience));
  EXPECT_TRUE(destroyed) << "the object outlived its body";
  EXPECT_FALSE(ref.Running());
  // The thread and its object are gone; the reference still answers.
  ref.Terminate();
  EXPECT_TRUE(ref.WaitFor(0ms));
  const ThreadRef copy = ref;
  EXPECT_FALSE(copy.Running());

  // Bodies that end at once, before their creator has even got on.
  constexpr int kThreads = 50;
  std::vector<ThreadRef> refs(kThreads);
  std::atomic<bool> gone[kThreads];
  for (int i = 0; i < kThreads; ++i) {
    gone[i] = false;
    Start([](Worker&) {}, {.freeOnTerminate = true, .destroyed = &gone[i], .ref = &refs[i]});
  }
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_TRUE(refs[i].WaitFor(kPatience));
    EXPECT_TRUE(gone[i]);
  }

  // An empty reference is an ended thread.
  const ThreadRef none;
  EXPECT_TRUE(none.Empty());
  EXPECT_FALSE(none.Running());
  EXPECT_TRUE(none.WaitFor(0ms));
  none.Terminate();
}

TEST(TThread, DeletingAThreadThatDoesNotFreeItselfWaitsForItsBodyBeforeDestroyingIt) {
  // Deleted before its body has begun, and while its body runs.
  for (bool letItBegin : {false, true}) {
    SCOPED_TRACE(letItBegin ? "body running" : "body not begun");
    std::atomic<bool> begun{false}, bodyEnded{false}, destroyed{false};
    std::atomic<bool> destroyedUnderTheBody{false};
    Worker* t = Start(
        [&](Worker& self) {
          begun = true;
          UntilTerminated(self);
          std::this_thread::sleep_for(30ms);  // still running when the delete begins
          destroyedUnderTheBody = destroyed.load();
          bodyEnded = true;
        },
        {.destroyed = &destroyed});
    const ThreadRef ref = t->Ref();
    if (letItBegin) {
      ASSERT_TRUE(Eventually([&] { return begun.load(); }));
    }
    t->Terminate();
    delete t;
    EXPECT_TRUE(bodyEnded) << "delete returned while the body ran";
    EXPECT_FALSE(destroyedUnderTheBody) << "the descendant was destroyed under its body";
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(ref.Running());
    EXPECT_TRUE(ref.WaitFor(0ms));
  }
}

TEST(TThread, APrioritySetBeforeTheStartIsReportedAndApplied) {
  const int creatorNice = getpriority(PRIO_PROCESS, static_cast<id_t>(KernelThreadId()));
  std::atomic<int> niceAtStart{-100};
  std::atomic<int> tid{0};
  std::atomic<bool> lowered{false};
  std::atomic<int> niceAfter{-100};
  Worker* t = Start(
      [&](Worker& self) {
        tid = KernelThreadId();
        niceAtStart = getpriority(PRIO_PROCESS, static_cast<id_t>(tid.load()));
        while (!lowered && !self.IsTerminated()) std::this_thread::sleep_for(1ms);
        niceAfter = getpriority(PRIO_PROCESS, static_cast<id_t>(tid.load()));
      },
      {.priority = THREAD_PRIORITY_IDLE});
  EXPECT_EQ(t->Priority(), THREAD_PRIORITY_IDLE);
  ASSERT_TRUE(Eventually([&] { return niceAtStart != -100; }));
  EXPECT_EQ(niceAtStart, 19) << "the idle level was not applied when the thread started";
  EXPECT_EQ(creatorNice, getpriority(PRIO_PROCESS, static_cast<id_t>(KernelThreadId())))
      << "the creating thread's level changed";
  t->Terminate();
  delete t;

  // Set while the body runs, a lower level applies to the running thread (raising one may
  // need privileges, lowering never does).
  lowered = false;
  niceAfter = -100;
  Worker* u = Start([&](Worker& self) {
    tid = KernelThreadId();
    while (!lowered && !self.IsTerminated()) std::this_thread::sleep_for(1ms);
    niceAfter = getpriority(PRIO_PROCESS, static_cast<id_t>(tid.load()));
  });
  EXPECT_EQ(u->Priority(), THREAD_PRIORITY_NORMAL);
  ASSERT_TRUE(Eventually([&] { return u->Ref().Running() && tid != 0; }));
  // The body has published its id, so it has been started and its level applied.
  u->SetPriority(THREAD_PRIORITY_IDLE);
  lowered = true;
  ASSERT_TRUE(u->Ref().WaitFor(kPatience));
  EXPECT_EQ(u->Priority(), THREAD_PRIORITY_IDLE);
  EXPECT_EQ(niceAfter, 19);
  delete u;
}

TEST(Synchronize, RunsTheMethodOnTheDispatcherThreadOnlyWhenItPumpsWhileTheCallerWaits) {
  QueueDispatcher gui;
  InstalledDispatcher installed(&gui);
  std::atomic<bool> aboutToSync{false}, methodRan{false}, pastSync{false};
  std::atomic<bool> callerWaited{false};
  std::thread::id methodThread;
  std::vector<int> order;  // touched by the method on the GUI thread, then by the body

  Worker* t = Start([&](Worker& self) {
    aboutToSync = true;
    self.Sync([&] {
      methodThread = std::this_thread::get_id();
      callerWaited = !pastSync;
      order.push_back(1);
      methodRan = true;
    });
    order.push_back(2);
    pastSync = true;
  });

  ASSERT_TRUE(Eventually([&] { return aboutToSync.load(); }));
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(methodRan) << "the method ran before the GUI thread pumped";
  EXPECT_FALSE(pastSync) << "Synchronize returned before its method ran";

  ASSERT_TRUE(Eventually([&] {
    gui.WaitAndPump(1ms);
    return methodRan.load();
  }));
  ASSERT_TRUE(t->Ref().WaitFor(kPatience));
  EXPECT_EQ(methodThread, std::this_thread::get_id());
  EXPECT_TRUE(callerWaited);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  delete t;
}

TEST(Synchronize, RunsInlineWithNoDispatcherOrWhenCalledOnTheGuiThread) {
  SetGuiDispatcher(nullptr);
  std::thread::id bodyThread, methodThread;
  Worker* t = Start([&](Worker& self) {
    bodyThread = std::this_thread::get_id();
    self.Sync([&] { methodThread = std::this_thread::get_id(); });
  });
  ASSERT_TRUE(t->Ref().WaitFor(kPatience))
      << "Synchronize waited for a GUI thread that is not there";
  EXPECT_EQ(methodThread, bodyThread);
  delete t;

  // On the dispatcher's own thread there is nothing to wait for.
  QueueDispatcher gui;
  InstalledDispatcher installed(&gui);
  Worker* u = Start(UntilTerminated);
  bool ran = false;
  u->Sync([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(gui.Pump(), 0u);
  u->Terminate();
  delete u;
}

TEST(PostToGui, CallsRunOnTheGuiThreadInPostingOrder) {
  QueueDispatcher gui;
  InstalledDispatcher installed(&gui);
  std::vector<int> order;  // GUI thread only
  std::atomic<bool> offGuiThread{false};
  const auto mainThread = std::this_thread::get_id();
  const auto record = [&](int i) {
    return [&, i] {
      if (std::this_thread::get_id() != mainThread) offGuiThread = true;
      order.push_back(i);
    };
  };

  Worker* t = Start([&](Worker&) {
    for (int i = 0; i < 200; ++i) PostToGui(record(i));
  });
  ASSERT_TRUE(t->Ref().WaitFor(kPatience));
  delete t;
  EXPECT_TRUE(order.empty()) << "a call ran before the GUI thread pumped";

  // A call that posts another: the new one runs in the same pump, after those before it.
  PostToGui([&] { PostToGui(record(1000)); });
  EXPECT_EQ(gui.Pump(), 202u);
  std::vector<int> expected;
  for (int i = 0; i < 200; ++i) expected.push_back(i);
  expected.push_back(1000);
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(offGuiThread);
  EXPECT_EQ(gui.Pump(), 0u);
}

TEST(PostToGui, WithNoDispatcherACallRunsAtOnceOnTheCallingThread) {
  SetGuiDispatcher(nullptr);
  std::thread::id bodyThread, ranOn;
  bool ranBeforeReturn = false;
  Worker* t = Start([&](Worker&) {
    bodyThread = std::this_thread::get_id();
    PostToGui([&] { ranOn = std::this_thread::get_id(); });
    ranBeforeReturn = ranOn == bodyThread;
  });
  ASSERT_TRUE(t->Ref().WaitFor(kPatience));
  EXPECT_TRUE(ranBeforeReturn);
  delete t;
}

}  // namespace
