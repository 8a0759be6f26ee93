#include "TarnelSetup/setup_thread_impl.h"

#include "TarnelSetup/setup_thread_table.h"
#include "base/auto_lock.h"
#include "base/logging.h"

namespace setup {

SetupThreadImpl::SetupThreadImpl(const std::string& name, int identifier)
    : base::Thread(name), identifier_(identifier) {}

SetupThreadImpl::~SetupThreadImpl() {
  Stop();
  if (identifier_ < 0 || identifier_ >= ID_COUNT) return;
  SetupThreadTable* table = SetupThreadTable::Get();
  base::AutoLock lock(table->lock());
  // Leave a newer registration under the same identifier alone.
  if (table->thread(identifier_) == this) table->set_thread(identifier_, nullptr);
}

void SetupThreadImpl::Register() {
  DCHECK(identifier_ >= 0 && identifier_ < ID_COUNT);
  if (identifier_ < 0 || identifier_ >= ID_COUNT) return;
  SetupThreadTable* table = SetupThreadTable::Get();
  base::AutoLock lock(table->lock());
  DCHECK(!table->thread(identifier_)) << "setup thread registered twice";
  table->set_thread(identifier_, this);
}

void SetupThreadImpl::Run(base::MessageLoop* message_loop) {
  base::Thread::Run(message_loop);
  // Posters find the loop under the table lock; once it is cleared here no
  // one can reach the loop that is about to be destroyed.
  SetupThreadTable* table = SetupThreadTable::Get();
  base::AutoLock lock(table->lock());
  set_message_loop(nullptr);
}

}  // namespace setup
