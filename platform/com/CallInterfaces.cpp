#include "platform/com/CallInterfaces.h"

#include <map>
#include <mutex>

namespace platform {

namespace {

// Registration happens while programs start; the lock keeps later look-ups safe anyway.
class CallInterfaceTable {
 public:
  static CallInterfaceTable& Instance() {
    static CallInterfaceTable table;
    return table;
  }
  const CallInterface* Find(REFIID iid) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_entries.find(iid);
    return found == m_entries.end() ? nullptr : &found->second;
  }
  void Add(REFIID iid, CallInterface entry) {
    const std::scoped_lock lock(m_mutex);
    m_entries.emplace(iid, entry);  // the first registration stays: readers hold its address
  }

 private:
  // The layer's own interfaces are there before any program registers its own.
  CallInterfaceTable() {
    m_entries.emplace(IidOf<IUnknown>, MakeCallInterface<IUnknown, CUnknownProxy>());
    m_entries.emplace(IidOf<IDispatch>, MakeCallInterface<IDispatch, CDispatchProxy>());
    m_entries.emplace(IidOf<IClassFactory>, MakeCallInterface<IClassFactory, CClassFactoryProxy>());
    m_entries.emplace(IidOf<IConnectionPoint>,
                      MakeCallInterface<IConnectionPoint, CConnectionPointProxy>());
    m_entries.emplace(
        IidOf<IConnectionPointContainer>,
        MakeCallInterface<IConnectionPointContainer, CConnectionPointContainerProxy>());
  }

  std::mutex m_mutex;
  std::map<IID, CallInterface> m_entries;  // node-based: found entries stay where they are
};

}  // namespace

const CallInterface* FindCallInterface(REFIID iid) {
  return CallInterfaceTable::Instance().Find(iid);
}

void AddCallInterface(REFIID iid, CallInterface entry) {
  CallInterfaceTable::Instance().Add(iid, entry);
}

void AddEventInterface(REFIID events) {
  const CallInterface* dispatch = FindCallInterface(IidOf<IDispatch>);
  AddCallInterface(events, *dispatch);
}

}  // namespace platform
