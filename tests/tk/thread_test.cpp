#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tk_exception.hpp"
#include "tk_thread.hpp"

namespace {

using namespace std::chrono_literals;

// Works until asked to stop, checking between "records" as the driver does.
class record_loop final : public tk_converter {
 public:
  void run() override {
    while (!stop_requested()) {
      ++records;
      std::this_thread::sleep_for(1ms);
    }
    b_stopped_cleanly = true;
  }
  std::atomic<int> records{0};
  std::atomic<bool> b_stopped_cleanly{false};
};

class loop_thread final : public tk_thread {
 public:
  ~loop_thread() override { stop(); }
  record_loop loop;

 protected:
  tk_converter& make_runnable() override { return loop; }
};

class quick_work final : public tk_converter {
 public:
  bool is_ready() override { return true; }
  void work() override { ++done; }
  std::atomic<int> done{0};
};

class quick_thread final : public tk_thread {
 public:
  ~quick_thread() override { stop(); }
  quick_work job;

 protected:
  tk_converter& make_runnable() override { return job; }
};

TEST(tk_thread, kill_asks_the_run_to_stop_and_waits_for_it) {
  loop_thread thread;
  thread.start();
  while (thread.loop.records < 3) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(thread.is_running());
  thread.kill();
  EXPECT_FALSE(thread.is_running());
  EXPECT_TRUE(thread.loop.b_stopped_cleanly);
}

TEST(tk_thread, default_run_polls_ready_then_works) {
  quick_thread thread;
  thread.start();
  while (thread.is_running()) std::this_thread::sleep_for(1ms);
  thread.clean_up();
  EXPECT_EQ(thread.job.done, 1);
  // A finished thread can be started again.
  thread.start();
  while (thread.is_running()) std::this_thread::sleep_for(1ms);
  thread.clean_up();
  EXPECT_EQ(thread.job.done, 2);
}

TEST(tk_thread, bare_runnable_idles_until_stopped) {
  tk_thread thread(7);
  EXPECT_EQ(thread.param(), 7);
  thread.start();
  EXPECT_TRUE(thread.is_running());
  const auto begin = std::chrono::steady_clock::now();
  thread.kill();
  // It stops at the next poll, not after some external timeout.
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

TEST(tk_thread, starting_twice_is_an_internal_error) {
  loop_thread thread;
  thread.start();
  try {
    thread.start();
    ADD_FAILURE() << "second start accepted";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level(), tk_level_internal);
  }
  thread.kill();
}

TEST(tk_thread, destruction_stops_a_running_thread) {
  auto thread = std::make_unique<loop_thread>();
  thread->start();
  thread.reset();  // must neither hang nor terminate the process
  SUCCEED();
}

}  // namespace
