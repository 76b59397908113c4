// The driver ids of the open instances.
//
// DRV_OPEN enters its instance in a slot of a fixed table and hands out an id
// made of the slot's number and generation; every later message finds its
// instance through the table. An id that was closed, was never opened or was
// made up by a host names no instance, and memory of a closed instance is
// never read. Messages to one instance are serialised by the instance's own
// lock; the table itself takes no lock, so different instances never wait
// for each other.
#pragma once

#include <windows.h>

namespace voxa {

class DriverInstance;

// Enters an open instance; the id that names it, or 0 when the table is full
// (the instance is then deleted).
DWORD_PTR EnterInstance(DriverInstance* instance);

// DRV_CLOSE of an id, from a caller that holds the instance (or found every
// reference taken): the instance goes when the last message working on it is
// done, however many hold it. Ids that name no open instance are ignored.
void CloseInstance(DWORD_PTR id);

// Deletes every instance still open (a host that never closed them), when the
// library is unloaded.
void DeleteOpenInstances();

// The instance an id names, held for one message: its lock is taken, and it
// stays alive until the message is done, even if another thread closes it.
// Null for an id that names no open instance.
class InstanceAccess {
 public:
  explicit InstanceAccess(DWORD_PTR id);
  ~InstanceAccess();
  InstanceAccess(const InstanceAccess&) = delete;
  InstanceAccess& operator=(const InstanceAccess&) = delete;

  DriverInstance* get() const { return instance_; }

 private:
  int slot_;
  DriverInstance* instance_ = nullptr;
};

}  // namespace voxa
