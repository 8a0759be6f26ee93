#ifndef TARNELSETUP_SETUP_THREAD_IMPL_H_
#define TARNELSETUP_SETUP_THREAD_IMPL_H_

#include <string>

#include "TarnelSetup/setup_thread.h"
#include "base/thread.h"

namespace setup {

// A setup thread: a base::Thread reachable through SetupThread by its
// identifier from Register() until its destruction. The UI thread's object
// is never started; it only carries the loop of the process's first thread
// (set_message_loop).
class SetupThreadImpl : public base::Thread, public SetupThread {
 public:
  SetupThreadImpl(const std::string& name, int identifier);
  // Stops the thread, then clears its table entry.
  ~SetupThreadImpl() override;

  // Enters this object into the table under its identifier (a second object
  // under one identifier replaces the first).
  void Register();

  int identifier() const { return identifier_; }
  void set_identifier(int identifier) { identifier_ = identifier; }

 protected:
  // Runs the loop; once it has quit, hides it from posters (under the table
  // lock) before the loop is destroyed.
  void Run(base::MessageLoop* message_loop) override;

 private:
  int identifier_;
};

}  // namespace setup

#endif  // TARNELSETUP_SETUP_THREAD_IMPL_H_
