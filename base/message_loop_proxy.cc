#include "base/message_loop_proxy.h"

#include "base/message_loop.h"

namespace base {

// static
scoped_refptr<MessageLoopProxy> MessageLoopProxy::current() {
  MessageLoop* loop = MessageLoop::current();
  return loop ? loop->message_loop_proxy() : scoped_refptr<MessageLoopProxy>();
}

}  // namespace base
