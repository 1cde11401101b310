#include "platform/com/CallLayer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <shared_mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/com/Apartment.h"
#include "platform/com/CallInterface.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

namespace platform {

namespace {

using detail::UniqueFd;
using wire::Message;
using wire::MessageKind;

// The objects this process exports, with the references that other processes (and published
// texts) hold on them. Any thread; final releases run outside the lock.
class ExportTable {
 public:
  // The number of `identity` here, exporting it when it is new (with no reference yet) from its
  // apartment `home`, where its calls run.
  std::uint64_t Export(IUnknown* identity, std::shared_ptr<CallDispatcher> home) {
    const std::scoped_lock lock(m_mutex);
    if (const auto found = m_ids.find(identity); found != m_ids.end()) return found->second;
    const std::uint64_t id = ++m_lastId;
    m_entries.emplace(id, Entry{ComPtr<IUnknown>(identity), 0, std::move(home)});
    m_ids.emplace(identity, id);
    return id;
  }
  ComPtr<IUnknown> Find(std::uint64_t id) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_entries.find(id);
    return found == m_entries.end() ? nullptr : found->second.object;
  }
  // The dispatcher of the object's apartment; null for the multithreaded apartment.
  std::shared_ptr<CallDispatcher> DispatcherOf(std::uint64_t id) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_entries.find(id);
    return found == m_entries.end() ? nullptr : found->second.dispatcher;
  }
  // One reference more on an exported object; false when it is not exported.
  bool AddReference(std::uint64_t id) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_entries.find(id);
    if (found == m_entries.end()) return false;
    ++found->second.references;
    return true;
  }
  void Release(std::uint64_t id, std::uint64_t count) {
    ComPtr<IUnknown> leaving;
    std::shared_ptr<CallDispatcher> apartment;
    {
      const std::scoped_lock lock(m_mutex);
      const auto found = m_entries.find(id);
      if (found == m_entries.end()) return;
      Entry& entry = found->second;
      entry.references -= std::min(entry.references, count);
      if (entry.references > 0) return;
      leaving = std::move(entry.object);
      apartment = std::move(entry.dispatcher);
      m_ids.erase(leaving.get());
      m_entries.erase(found);
    }
    // An object of a single-threaded apartment is also released there, as its calls run there.
    if (apartment)
      apartment->Deliver([leaving = std::move(leaving)]() mutable { leaving.Release(); });
  }
  // A reference that travels to a receiver under a token; it stays with `anchor` (a connection)
  // until claimed, and goes when the anchor ends first. A reusable grant is claimed any number
  // of times, each claim a new reference.
  std::uint64_t Grant(std::uint64_t id, std::uint64_t anchor, bool reusable) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_entries.find(id);
    if (found == m_entries.end()) return 0;
    ++found->second.references;
    const std::uint64_t token = m_tokens();
    m_grants.emplace(token, Granted{id, anchor, reusable});
    return token;
  }
  // Takes the reference of a grant; false for an unknown token or another object.
  bool Claim(std::uint64_t token, std::uint64_t id) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_grants.find(token);
    if (found == m_grants.end() || found->second.object != id) return false;
    if (found->second.reusable) {
      ++m_entries.at(id).references;
    } else {
      m_grants.erase(found);
    }
    return true;
  }
  void Revoke(std::uint64_t token) {
    std::optional<std::uint64_t> object;
    {
      const std::scoped_lock lock(m_mutex);
      const auto found = m_grants.find(token);
      if (found == m_grants.end()) return;
      object = found->second.object;
      m_grants.erase(found);
    }
    Release(*object, 1);
  }
  void DropAnchor(std::uint64_t anchor) {
    std::vector<std::uint64_t> objects;
    {
      const std::scoped_lock lock(m_mutex);
      std::erase_if(m_grants, [&](const auto& grant) {
        if (grant.second.anchor != anchor) return false;
        objects.push_back(grant.second.object);
        return true;
      });
    }
    for (const std::uint64_t object : objects) Release(object, 1);
  }
  std::size_t Count() {
    const std::scoped_lock lock(m_mutex);
    return m_entries.size();
  }
  // Releases every object, at the end of the layer.
  void Clear() {
    std::map<std::uint64_t, Entry> leaving;
    {
      const std::scoped_lock lock(m_mutex);
      leaving.swap(m_entries);
      m_ids.clear();
      m_grants.clear();
    }
  }

 private:
  struct Entry {
    ComPtr<IUnknown> object;
    std::uint64_t references;
    std::shared_ptr<CallDispatcher> dispatcher;
  };
  struct Granted {
    std::uint64_t object;
    std::uint64_t anchor;
    bool reusable;
  };

  std::mutex m_mutex;
  std::map<std::uint64_t, Entry> m_entries;
  std::map<IUnknown*, std::uint64_t> m_ids;
  std::map<std::uint64_t, Granted> m_grants;
  std::uint64_t m_lastId = 0;
  std::mt19937_64 m_tokens{std::random_device{}()};
};

// Runs incoming calls on layer threads: a waiting thread takes each task, and a new thread is
// started when none waits, so that a call that waits on another call never blocks a third. A
// thread that is done while another waits ends, and the next queue joins it; the destructor
// joins the rest. Any thread may queue.
class WorkerPool {
 public:
  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool() { Stop(); }

  void Queue(std::function<void()> task) {
    const std::scoped_lock lock(m_mutex);
    if (m_stopping) return;
    JoinEnded();
    m_tasks.push_back(std::move(task));
    if (m_idle == 0) {
      m_threads.emplace_back([this] { Work(); });
    } else {
      m_wake.notify_one();
    }
  }
  void Stop() {
    std::vector<std::thread> threads;
    {
      const std::scoped_lock lock(m_mutex);
      m_stopping = true;
      threads.swap(m_threads);
    }
    m_wake.notify_all();
    for (std::thread& thread : threads) thread.join();
  }

 private:
  void Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      ++m_idle;
      m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
      --m_idle;
      if (m_tasks.empty()) return;
      std::function<void()> task = std::move(m_tasks.front());
      m_tasks.pop_front();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
      // A burst of calls leaves no crowd of idle workers behind: one waiting is enough.
      if (m_idle > 0 && m_tasks.empty() && !m_stopping) {
        m_ended.push_back(std::this_thread::get_id());
        return;
      }
    }
  }
  // Under m_mutex: joins the workers that have ended (each has let go of the lock for good).
  void JoinEnded() {
    for (const std::thread::id ended : m_ended) {
      const auto found =
          std::find_if(m_threads.begin(), m_threads.end(),
                       [ended](const std::thread& each) { return each.get_id() == ended; });
      found->join();
      m_threads.erase(found);
    }
    m_ended.clear();
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_tasks;
  std::vector<std::thread> m_threads;
  std::vector<std::thread::id> m_ended;  // workers that ended and are still to be joined
  std::size_t m_idle = 0;
  bool m_stopping = false;
};

bool SendFrame(int descriptor, const std::vector<std::byte>& frame) {
  std::size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t written =
        send(descriptor, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    sent += static_cast<std::size_t>(written);
  }
  return true;
}

// Reads frames from a stream socket until it ends or a frame is malformed; `handle` gets each
// decoded message.
void ReadMessages(int descriptor, const std::function<void(Message)>& handle) {
  wire::FrameReader frames;
  std::vector<std::byte> buffer(64 * 1024);
  for (;;) {
    const ssize_t received = recv(descriptor, buffer.data(), buffer.size(), 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return;
    frames.Append(std::span(buffer).first(static_cast<std::size_t>(received)));
    while (auto body = frames.Next()) {
      std::optional<Message> message = wire::DecodeBody(*body);
      if (!message) return;
      handle(std::move(*message));
    }
    if (frames.Malformed()) return;
  }
}

std::filesystem::path SocketFolder() { return PlatformRoot() / "com"; }

}  // namespace

void MakeSocketFolder() {
  std::error_code ignored;
  // Every user's processes put their sockets here; none removes another's.
  if (std::filesystem::create_directories(SocketFolder(), ignored)) {
    chmod(SocketFolder().c_str(), 01777);
  }
}

namespace {

std::optional<sockaddr_un> AddressOf(const std::string& exporter) {
  // A name is made by this layer: digits, letters and a dash, nothing that leaves the folder.
  if (exporter.empty() || exporter.find_first_not_of("0123456789abcdef-") != std::string::npos) {
    return std::nullopt;
  }
  return detail::LocalSocketAddress(SocketFolder() / exporter);
}

bool MayCall(uid_t caller, uid_t server) { return caller == server || caller == 0 || server == 0; }

// Waits under `lock` until `answered`: serving the calling thread's single-threaded apartment
// meanwhile when it has one (the answer wakes it), otherwise on `changed`.
void AwaitAnswer(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 CallDispatcher* apartment, const std::function<bool()>& answered) {
  if (apartment != nullptr) {
    lock.unlock();
    apartment->WaitServing([&] {
      const std::scoped_lock looking(*lock.mutex());
      return answered();
    });
    lock.lock();
  }
  changed.wait(lock, answered);
}

// A task for an apartment or the workers that runs `run` once, or `refuse` when it is destroyed
// unrun (its apartment has ended), so that nobody waits for it in vain.
std::function<void()> RunOrRefuse(std::function<void()> run, std::function<void()> refuse) {
  class Once {
   public:
    Once(std::function<void()> run, std::function<void()> refuse)
        : m_run(std::move(run)), m_refuse(std::move(refuse)) {}
    Once(const Once&) = delete;
    Once& operator=(const Once&) = delete;
    ~Once() {
      if (m_refuse) m_refuse();
    }
    void Run() {
      m_refuse = nullptr;
      m_run();
    }

   private:
    std::function<void()> m_run;
    std::function<void()> m_refuse;
  };
  auto once = std::make_shared<Once>(std::move(run), std::move(refuse));
  return [once] { once->Run(); };
}

class CallLayerCore;

// This process's connection to one exporting process, shared by every proxy of its objects.
// Requests from any thread; a reader thread matches replies to them and is joined by the
// destructor (unless the destructor runs on the reader itself, at its very end).
class ClientConnection {
 public:
  ClientConnection(UniqueFd socket, std::shared_ptr<ExportTable> table, std::uint64_t anchor)
      : m_socket(std::move(socket)), m_table(std::move(table)), m_anchor(anchor) {
    m_reader = std::thread([this] { Read(); });
  }
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;
  ~ClientConnection() {
    Shutdown();
    // The reader's last act may release an object whose proxies held this connection last;
    // it cannot join itself, and touches nothing of the connection after that act.
    if (m_reader.get_id() == std::this_thread::get_id()) {
      m_reader.detach();
    } else {
      m_reader.join();
    }
  }

  std::uint64_t Anchor() const noexcept { return m_anchor; }
  bool Closed() {
    const std::scoped_lock lock(m_mutex);
    return m_closed;
  }
  // Wakes every waiting request and fails later ones.
  void Shutdown() noexcept { shutdown(m_socket.Get(), SHUT_RDWR); }

  // Sends a request and waits for its reply; RPC_E_DISCONNECTED when the connection ends first.
  // A thread of a single-threaded apartment serves its apartment while it waits.
  HRESULT Request(Message request, Message& reply) {
    const std::shared_ptr<CallDispatcher> apartment = CurrentApartmentDispatcher();
    std::unique_lock lock(m_mutex);
    if (m_closed) return RPC_E_DISCONNECTED;
    request.callId = ++m_lastCallId;
    const std::uint64_t id = request.callId;
    m_replies.emplace(id, Pending{std::nullopt, apartment.get()});
    {
      const std::scoped_lock sending(m_sendMutex);
      lock.unlock();
      if (!SendFrame(m_socket.Get(), wire::EncodeFrame(request))) Shutdown();
    }
    lock.lock();
    AwaitAnswer(lock, m_replied, apartment.get(),
                [&] { return m_closed || m_replies.at(id).reply.has_value(); });
    std::optional<Message> answer = std::move(m_replies.at(id).reply);
    m_replies.erase(id);
    if (!answer) return RPC_E_DISCONNECTED;
    reply = std::move(*answer);
    return S_OK;
  }
  // Sends a message that has no reply.
  void Post(const Message& message) {
    const std::scoped_lock sending(m_sendMutex);
    SendFrame(m_socket.Get(), wire::EncodeFrame(message));
  }

 private:
  void Read() {
    ReadMessages(m_socket.Get(), [this](Message message) {
      if (message.kind != MessageKind::Reply) return;
      const std::scoped_lock lock(m_mutex);
      const auto found = m_replies.find(message.callId);
      if (found == m_replies.end()) return;
      found->second.reply = std::move(message);
      m_replied.notify_all();
      if (found->second.waiter != nullptr) found->second.waiter->Wake();
    });
    {
      const std::scoped_lock lock(m_mutex);
      m_closed = true;
      for (const auto& [id, pending] : m_replies) {
        if (pending.waiter != nullptr) pending.waiter->Wake();
      }
    }
    m_replied.notify_all();
    // References on their way to receivers through this connection go with it.
    m_table->DropAnchor(m_anchor);
  }

  UniqueFd m_socket;
  std::shared_ptr<ExportTable> m_table;
  std::uint64_t m_anchor;
  std::mutex m_sendMutex;  // one frame at a time on the stream
  std::mutex m_mutex;
  std::condition_variable m_replied;
  // A request's reply once it is in, and the apartment its caller serves while it waits.
  struct Pending {
    std::optional<Message> reply;
    CallDispatcher* waiter;  // held by the waiting Request
  };
  std::map<std::uint64_t, Pending> m_replies;
  std::uint64_t m_lastCallId = 0;
  bool m_closed = false;
  std::thread m_reader;
};

// The marshaller of the messages that go over one connection: local objects are exported with
// a grant anchored to it, proxies pass on their original reference.
class LayerMarshaller final : public ReferenceMarshaller {
 public:
  LayerMarshaller(CallLayerCore& core, std::uint64_t anchor) : m_core(core), m_anchor(anchor) {}
  HRESULT Export(IUnknown* object, REFIID iid, wire::ObjectReference& reference) override;
  HRESULT Import(const wire::ObjectReference& reference, REFIID iid, void** object) override;

 private:
  CallLayerCore& m_core;
  std::uint64_t m_anchor;
};

// One reference to a remote object, as one proxy holds it.
class RemoteReference final : public RemoteObject {
 public:
  RemoteReference(CallLayerCore& core, std::shared_ptr<ClientConnection> connection,
                  std::string exporter, std::uint64_t object, const IID& iid)
      : m_connection(std::move(connection)),
        m_exporter(std::move(exporter)),
        m_object(object),
        m_iid(iid),
        m_marshaller(core, m_connection->Anchor()),
        m_core(core) {}
  ~RemoteReference() override {
    Message release;
    release.kind = MessageKind::Release;
    release.object = m_object;
    release.method = 1;
    m_connection->Post(release);
  }

  const IID& Iid() const noexcept override { return m_iid; }
  // The exporter grants the reference, anchored to its side of the connection.
  HRESULT PassOn(REFIID iid, std::uint64_t /*anchor*/, wire::ObjectReference& reference) override {
    Message grant;
    grant.kind = MessageKind::Grant;
    grant.object = m_object;
    Message reply;
    if (const HRESULT hr = Exchange(std::move(grant), reply); FAILED(hr)) return hr;
    reference = {m_exporter, m_object, iid, reply.token};
    return S_OK;
  }
  HRESULT Call(std::uint32_t method, std::vector<wire::Value> in,
               std::vector<wire::Value>& out) override {
    Message call;
    call.kind = MessageKind::Call;
    call.object = m_object;
    call.iid = m_iid;
    call.method = method;
    call.values = std::move(in);
    Message reply;
    if (const HRESULT hr = m_connection->Request(std::move(call), reply); FAILED(hr)) return hr;
    out = std::move(reply.values);
    return reply.result;
  }
  HRESULT QueryInterface(REFIID iid, std::unique_ptr<RemoteObject>& other) override {
    Message query;
    query.kind = MessageKind::QueryInterface;
    query.object = m_object;
    query.iid = iid;
    Message reply;
    if (const HRESULT hr = Exchange(std::move(query), reply); FAILED(hr)) return hr;
    other = std::make_unique<RemoteReference>(m_core, m_connection, m_exporter, m_object, iid);
    return S_OK;
  }
  ReferenceMarshaller& Marshaller() noexcept override { return m_marshaller; }

 private:
  HRESULT Exchange(Message request, Message& reply) {
    if (const HRESULT hr = m_connection->Request(std::move(request), reply); FAILED(hr)) return hr;
    return reply.result;
  }

  std::shared_ptr<ClientConnection> m_connection;
  std::string m_exporter;
  std::uint64_t m_object;
  IID m_iid;
  LayerMarshaller m_marshaller;
  CallLayerCore& m_core;
};

class ServerConnection;

// The process's part of the layer: its exports, its listening socket, its connections.
class CallLayerCore {
 public:
  CallLayerCore() = default;
  CallLayerCore(const CallLayerCore&) = delete;
  CallLayerCore& operator=(const CallLayerCore&) = delete;
  ~CallLayerCore();

  ExportTable& Table() { return *m_table; }
  std::uint64_t NewAnchor() { return ++m_lastAnchor; }
  WorkerPool& Workers() { return m_workers; }

  // This process's exporter name, listening from the first call on; empty when it cannot listen.
  const std::string& Name();
  // Whether `exporter` is this process, without starting to listen.
  bool IsThisProcess(const std::string& exporter) {
    const std::scoped_lock lock(m_mutex);
    return !m_name.empty() && exporter == m_name;
  }
  HRESULT Connect(const std::string& exporter, std::shared_ptr<ClientConnection>& connection);
  HRESULT Import(const wire::ObjectReference& reference, REFIID iid, void** object);
  // A reference to an object of this process, whose calls run in `home` (null: on the workers).
  HRESULT ExportLocal(IUnknown* object, REFIID iid, std::shared_ptr<CallDispatcher> home,
                      std::uint64_t anchor, bool reusable, wire::ObjectReference& reference);

 private:
  void Accept();
  void ReapFinished();

  std::shared_ptr<ExportTable> m_table = std::make_shared<ExportTable>();
  std::atomic<std::uint64_t> m_lastAnchor{0};
  std::mutex m_mutex;
  std::string m_name;
  std::string m_socketPath;  // kept: the root's own value may be gone when the layer ends
  UniqueFd m_listener;
  std::thread m_acceptor;
  bool m_stopping = false;
  std::list<std::shared_ptr<ServerConnection>> m_servers;
  std::map<std::string, std::weak_ptr<ClientConnection>> m_clients;
  WorkerPool m_workers;
};

// A reference, held by a proxy on another thread of this process, to an object of a
// single-threaded apartment: each call runs in that apartment while the caller waits (serving its
// own apartment, if it has one), and the object's last release runs there too. Any thread.
class ApartmentReference final : public RemoteObject {
 public:
  // A proxy for `iid` of `object`, whose apartment is `home` (one reference for the caller).
  static HRESULT Make(CallLayerCore& core, ComPtr<IUnknown> object,
                      std::shared_ptr<CallDispatcher> home, REFIID iid, void** proxy) {
    std::unique_ptr<RemoteObject> reference;
    if (const HRESULT hr = Refer(core, std::move(object), std::move(home), iid, reference);
        FAILED(hr)) {
      return hr;
    }
    *proxy = FindCallInterface(iid)->proxy(std::move(reference));
    return S_OK;
  }

  ApartmentReference(CallLayerCore& core, ComPtr<IUnknown> object, ComPtr<IUnknown> target,
                     std::shared_ptr<CallDispatcher> home, const IID& iid,
                     CallInterface::StubFunction stub)
      : m_core(core),
        m_object(std::move(object)),
        m_target(std::move(target)),
        m_home(std::move(home)),
        m_iid(iid),
        m_stub(stub),
        m_marshaller(core, 0) {}
  ApartmentReference(const ApartmentReference&) = delete;
  ApartmentReference& operator=(const ApartmentReference&) = delete;
  ~ApartmentReference() override {
    // Unrun when the apartment has ended: then the references go here.
    m_home->Deliver([object = std::move(m_object), target = std::move(m_target)] {});
  }

  const IID& Iid() const noexcept override { return m_iid; }
  HRESULT PassOn(REFIID iid, std::uint64_t anchor, wire::ObjectReference& reference) override;
  HRESULT Call(std::uint32_t method, std::vector<wire::Value> in,
               std::vector<wire::Value>& out) override {
    const std::shared_ptr<CallDispatcher> caller = CurrentApartmentDispatcher();
    const auto call = std::make_shared<PendingCall>(caller.get());
    // The caller waits for the answer, so the call may use this reference's marshaller.
    m_home->Deliver(RunOrRefuse(
        [this, call, method, in = std::move(in)] {
          std::vector<wire::Value> values;
          const HRESULT result = m_stub(m_target.get(), method, in, values, m_marshaller);
          call->Finish(result, std::move(values));
        },
        [call] { call->Finish(RPC_E_DISCONNECTED, {}); }));
    std::unique_lock lock(call->mutex);
    AwaitAnswer(lock, call->finished, caller.get(), [&] { return call->result.has_value(); });
    out = std::move(call->out);
    return *call->result;
  }
  HRESULT QueryInterface(REFIID iid, std::unique_ptr<RemoteObject>& other) override {
    return Refer(m_core, m_object, m_home, iid, other);
  }
  ReferenceMarshaller& Marshaller() noexcept override { return m_marshaller; }

 private:
  // The answer of one call, and the apartment its caller serves while it waits.
  struct PendingCall {
    explicit PendingCall(CallDispatcher* caller) : waiter(caller) {}
    void Finish(HRESULT answer, std::vector<wire::Value> values) {
      const std::scoped_lock lock(mutex);
      result = answer;
      out = std::move(values);
      finished.notify_all();
      if (waiter != nullptr) waiter->Wake();
    }

    std::mutex mutex;
    std::condition_variable finished;
    std::optional<HRESULT> result;  // guarded by mutex
    std::vector<wire::Value> out;   // guarded by mutex
    CallDispatcher* const waiter;   // held by the waiting caller
  };

  static HRESULT Refer(CallLayerCore& core, ComPtr<IUnknown> object,
                       std::shared_ptr<CallDispatcher> home, REFIID iid,
                       std::unique_ptr<RemoteObject>& reference) {
    const CallInterface* entry = FindCallInterface(iid);
    if (entry == nullptr) return E_NOINTERFACE;
    ComPtr<IUnknown> target;
    if (const HRESULT hr = object->QueryInterface(iid, target.put_void()); FAILED(hr)) return hr;
    reference = std::make_unique<ApartmentReference>(core, std::move(object), std::move(target),
                                                     std::move(home), iid, entry->stub);
    return S_OK;
  }

  CallLayerCore& m_core;
  ComPtr<IUnknown> m_object;
  ComPtr<IUnknown> m_target;  // the interface `m_iid` of the object, as its stub takes it
  std::shared_ptr<CallDispatcher> m_home;
  IID m_iid;
  CallInterface::StubFunction m_stub;
  LayerMarshaller m_marshaller;
};

HRESULT ApartmentReference::PassOn(REFIID iid, std::uint64_t anchor,
                                   wire::ObjectReference& reference) {
  return m_core.ExportLocal(m_object.get(), iid, m_home, anchor, false, reference);
}

// One client process connected to this one: its requests, and the references it holds. The
// reader thread hands requests to the workers; it is joined by the core.
class ServerConnection : public std::enable_shared_from_this<ServerConnection> {
 public:
  ServerConnection(CallLayerCore& core, UniqueFd socket, bool allowed)
      : m_core(core),
        m_socket(std::move(socket)),
        m_allowed(allowed),
        m_anchor(core.NewAnchor()),
        m_marshaller(core, m_anchor) {}
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  void Start() {
    m_reader = std::thread([self = shared_from_this()] { self->Read(); });
  }
  void Shutdown() noexcept {
    const std::shared_lock open(m_socketLife);
    if (m_socket) shutdown(m_socket.Get(), SHUT_RDWR);
  }
  bool Finished() const noexcept { return m_finished.load(std::memory_order_acquire); }
  void Join() {
    if (m_reader.joinable()) m_reader.join();
  }

 private:
  void Read() {
    ReadMessages(m_socket.Get(), [this](Message message) {
      if (!m_allowed) {
        Refuse(message, E_ACCESSDENIED);
        Shutdown();
        return;
      }
      if (message.kind == MessageKind::Release) {
        Drop(message.object, message.method);
        return;
      }
      // What touches an object runs in its apartment; the references run on the workers.
      const bool inApartment =
          message.kind == MessageKind::Call || message.kind == MessageKind::QueryInterface;
      const auto apartment = inApartment ? m_core.Table().DispatcherOf(message.object) : nullptr;
      auto request = std::make_shared<Message>(std::move(message));
      std::function<void()> answer = RunOrRefuse(
          [self = shared_from_this(), request] { self->Answer(std::move(*request)); },
          [self = shared_from_this(), request] { self->Refuse(*request, RPC_E_DISCONNECTED); });
      if (apartment != nullptr) {
        apartment->Deliver(std::move(answer));
      } else {
        m_core.Workers().Queue(std::move(answer));
      }
    });
    Shutdown();
    {
      // The descriptor goes with the client, not when the next client comes; answers still on
      // their way find it closed.
      const std::unique_lock closing(m_socketLife);
      m_socket.Reset();
    }
    // The client is gone: what it held and what travelled through it is given back.
    std::map<std::uint64_t, std::uint64_t> held;
    {
      const std::scoped_lock lock(m_mutex);
      held.swap(m_held);
    }
    for (const auto& [object, count] : held) m_core.Table().Release(object, count);
    m_core.Table().DropAnchor(m_anchor);
    m_finished.store(true, std::memory_order_release);
  }

  void Refuse(const Message& request, HRESULT result) {
    Message refusal;
    refusal.kind = MessageKind::Reply;
    refusal.callId = request.callId;
    refusal.result = result;
    Reply(refusal);
  }

  void Reply(const Message& reply) {
    const std::scoped_lock sending(m_sendMutex);
    const std::shared_lock open(m_socketLife);
    if (m_socket) SendFrame(m_socket.Get(), wire::EncodeFrame(reply));
  }

  bool Holds(std::uint64_t object) {
    const std::scoped_lock lock(m_mutex);
    return m_held.contains(object);
  }
  void Hold(std::uint64_t object) {
    const std::scoped_lock lock(m_mutex);
    ++m_held[object];
  }
  void Drop(std::uint64_t object, std::uint64_t count) {
    {
      const std::scoped_lock lock(m_mutex);
      const auto found = m_held.find(object);
      if (found == m_held.end()) return;
      count = std::min(count, found->second);
      found->second -= count;
      if (found->second == 0) m_held.erase(found);
    }
    m_core.Table().Release(object, count);
  }

  void Answer(Message request) {
    Message reply;
    reply.kind = MessageKind::Reply;
    reply.callId = request.callId;
    reply.result = Handle(request, reply);
    Reply(reply);
  }

  HRESULT Handle(Message& request, Message& reply) {
    switch (request.kind) {
      case MessageKind::Hello:
        return S_OK;
      case MessageKind::Claim:
        if (!m_core.Table().Claim(request.token, request.object)) return RPC_E_DISCONNECTED;
        Hold(request.object);
        return S_OK;
      case MessageKind::Grant:
        if (!Holds(request.object)) return E_ACCESSDENIED;
        reply.token = m_core.Table().Grant(request.object, m_anchor, false);
        return reply.token != 0 ? S_OK : RPC_E_DISCONNECTED;
      case MessageKind::QueryInterface: {
        if (!Holds(request.object)) return E_ACCESSDENIED;
        const ComPtr<IUnknown> object = m_core.Table().Find(request.object);
        if (object == nullptr) return RPC_E_DISCONNECTED;
        if (FindCallInterface(request.iid) == nullptr) return E_NOINTERFACE;
        ComPtr<IUnknown> found;
        if (const HRESULT hr = object->QueryInterface(request.iid, found.put_void()); FAILED(hr)) {
          return hr;
        }
        if (!m_core.Table().AddReference(request.object)) return RPC_E_DISCONNECTED;
        Hold(request.object);
        return S_OK;
      }
      case MessageKind::Call: {
        if (!Holds(request.object)) return E_ACCESSDENIED;
        const ComPtr<IUnknown> object = m_core.Table().Find(request.object);
        if (object == nullptr) return RPC_E_DISCONNECTED;
        const CallInterface* entry = FindCallInterface(request.iid);
        if (entry == nullptr) return E_NOINTERFACE;
        ComPtr<IUnknown> target;
        if (const HRESULT hr = object->QueryInterface(request.iid, target.put_void()); FAILED(hr)) {
          return hr;
        }
        return entry->stub(target.get(), request.method, request.values, reply.values,
                           m_marshaller);
      }
      case MessageKind::Reply:
      case MessageKind::Release:
        break;
    }
    return E_UNEXPECTED;
  }

  CallLayerCore& m_core;
  UniqueFd m_socket;  // reset, under m_socketLife alone, once the reader has ended
  std::shared_mutex m_socketLife;
  bool m_allowed;
  std::uint64_t m_anchor;
  LayerMarshaller m_marshaller;
  std::mutex m_sendMutex;
  std::mutex m_mutex;
  std::map<std::uint64_t, std::uint64_t> m_held;  // object → references this client holds
  std::atomic<bool> m_finished{false};
  std::thread m_reader;
};

const std::string& CallLayerCore::Name() {
  const std::scoped_lock lock(m_mutex);
  if (!m_name.empty() || m_stopping) return m_name;
  MakeSocketFolder();
  std::ostringstream name;
  name << std::hex << getpid() << '-' << std::mt19937_64{std::random_device{}()}();
  const auto address = AddressOf(name.str());
  if (!address) return m_name;
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener ||
      bind(listener.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      listen(listener.Get(), 64) != 0) {
    return m_name;
  }
  // Any user may connect: the credentials are checked on each connection.
  chmod(address->sun_path, 0666);
  m_listener = std::move(listener);
  m_name = name.str();
  m_socketPath = address->sun_path;
  m_acceptor = std::thread([this] { Accept(); });
  return m_name;
}

void CallLayerCore::Accept() {
  for (;;) {
    UniqueFd client(accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    const bool known = getsockopt(client.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0;
    const bool allowed = known && MayCall(peer.uid, geteuid());
    const std::scoped_lock lock(m_mutex);
    if (m_stopping) return;
    ReapFinished();
    auto connection = std::make_shared<ServerConnection>(*this, std::move(client), allowed);
    connection->Start();
    m_servers.push_back(std::move(connection));
  }
}

void CallLayerCore::ReapFinished() {
  std::erase_if(m_servers, [](const std::shared_ptr<ServerConnection>& connection) {
    if (!connection->Finished()) return false;
    connection->Join();
    return true;
  });
}

CallLayerCore::~CallLayerCore() {
  std::list<std::shared_ptr<ServerConnection>> servers;
  std::vector<std::shared_ptr<ClientConnection>> clients;
  {
    const std::scoped_lock lock(m_mutex);
    m_stopping = true;
    if (m_listener) shutdown(m_listener.Get(), SHUT_RDWR);
    servers.swap(m_servers);
    for (const auto& [name, weak] : m_clients) {
      if (auto client = weak.lock()) clients.push_back(std::move(client));
    }
  }
  if (m_acceptor.joinable()) m_acceptor.join();
  for (const auto& client : clients) client->Shutdown();
  for (const auto& server : servers) server->Shutdown();
  for (const auto& server : servers) server->Join();
  m_workers.Stop();
  clients.clear();
  if (!m_socketPath.empty()) unlink(m_socketPath.c_str());
  m_table->Clear();
}

HRESULT CallLayerCore::Connect(const std::string& exporter,
                               std::shared_ptr<ClientConnection>& connection) {
  {
    const std::scoped_lock lock(m_mutex);
    if (m_stopping) return RPC_E_DISCONNECTED;
    if (const auto found = m_clients.find(exporter); found != m_clients.end()) {
      connection = found->second.lock();
      if (connection != nullptr && !connection->Closed()) return S_OK;
    }
  }
  const auto address = AddressOf(exporter);
  if (!address) return E_INVALIDARG;
  UniqueFd socketFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socketFd) return E_OUTOFMEMORY;
  if (connect(socketFd.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    return RPC_E_DISCONNECTED;
  }
  auto made = std::make_shared<ClientConnection>(std::move(socketFd), m_table, NewAnchor());
  Message hello;
  hello.kind = MessageKind::Hello;
  Message reply;
  if (const HRESULT hr = made->Request(hello, reply); FAILED(hr)) return hr;
  if (FAILED(reply.result)) return reply.result;
  const std::scoped_lock lock(m_mutex);
  // Two threads may have connected at once; the first one's connection serves both.
  if (const auto found = m_clients.find(exporter); found != m_clients.end()) {
    if (auto existing = found->second.lock(); existing != nullptr && !existing->Closed()) {
      connection = std::move(existing);
      return S_OK;
    }
  }
  m_clients.insert_or_assign(exporter, made);
  connection = std::move(made);
  return S_OK;
}

HRESULT CallLayerCore::ExportLocal(IUnknown* object, REFIID iid,
                                   std::shared_ptr<CallDispatcher> home, std::uint64_t anchor,
                                   bool reusable, wire::ObjectReference& reference) {
  if (FindCallInterface(iid) == nullptr) return E_NOINTERFACE;
  const std::string& name = Name();
  if (name.empty()) return E_FAIL;
  ComPtr<IUnknown> identity;
  if (const HRESULT hr = object->QueryInterface(IidOf<IUnknown>, identity.put_void()); FAILED(hr)) {
    return hr;
  }
  const std::uint64_t id = m_table->Export(identity.get(), std::move(home));
  const std::uint64_t token = m_table->Grant(id, anchor, reusable);
  if (token == 0) return RPC_E_DISCONNECTED;
  reference = {name, id, iid, token};
  return S_OK;
}

HRESULT CallLayerCore::Import(const wire::ObjectReference& reference, REFIID iid, void** object) {
  *object = nullptr;
  if (reference.IsNull()) return S_OK;
  if (IsThisProcess(reference.exporter)) {
    // Back home, and the travelling reference is given back: the object itself in its own
    // apartment, a proxy that calls into its apartment elsewhere.
    const ComPtr<IUnknown> local = m_table->Find(reference.object);
    if (local == nullptr || !m_table->Claim(reference.token, reference.object)) {
      return RPC_E_DISCONNECTED;
    }
    std::shared_ptr<CallDispatcher> home = m_table->DispatcherOf(reference.object);
    const HRESULT hr = home == nullptr || home == CurrentApartmentDispatcher()
                           ? local->QueryInterface(iid, object)
                           : ApartmentReference::Make(*this, local, std::move(home), iid, object);
    m_table->Release(reference.object, 1);
    return hr;
  }
  const CallInterface* entry = FindCallInterface(iid);
  if (entry == nullptr) return E_NOINTERFACE;
  std::shared_ptr<ClientConnection> connection;
  if (const HRESULT hr = Connect(reference.exporter, connection); FAILED(hr)) return hr;
  Message claim;
  claim.kind = MessageKind::Claim;
  claim.object = reference.object;
  claim.token = reference.token;
  Message reply;
  if (const HRESULT hr = connection->Request(claim, reply); FAILED(hr)) return hr;
  if (FAILED(reply.result)) return reply.result;
  *object = entry->proxy(std::make_unique<RemoteReference>(
      *this, std::move(connection), reference.exporter, reference.object, iid));
  return S_OK;
}

HRESULT LayerMarshaller::Export(IUnknown* object, REFIID iid, wire::ObjectReference& reference) {
  if (ComPtr<IRemoteIdentity> proxy;
      SUCCEEDED(object->QueryInterface(IidOf<IRemoteIdentity>, proxy.put_void()))) {
    return proxy->Remote().PassOn(iid, m_anchor, reference);
  }
  return m_core.ExportLocal(object, iid, CurrentApartmentDispatcher(), m_anchor, false, reference);
}

HRESULT LayerMarshaller::Import(const wire::ObjectReference& reference, REFIID iid, void** object) {
  return m_core.Import(reference, iid, object);
}

CallLayerCore& Core() {
  static CallLayerCore core;
  return core;
}

std::string ToText(const wire::ObjectReference& reference) {
  std::ostringstream text;
  text << reference.exporter << ' ' << reference.object << ' ' << reference.token;
  return text.str();
}

std::optional<wire::ObjectReference> FromText(const std::string& text, REFIID iid) {
  std::istringstream words(text);
  wire::ObjectReference reference;
  if (!(words >> reference.exporter >> reference.object >> reference.token)) return std::nullopt;
  reference.iid = iid;
  return reference;
}

}  // namespace

HRESULT PublishReference(IUnknown* object, REFIID iid, std::string& text) {
  if (object == nullptr) return E_POINTER;
  wire::ObjectReference reference;
  if (ComPtr<IRemoteIdentity> proxy;
      SUCCEEDED(object->QueryInterface(IidOf<IRemoteIdentity>, proxy.put_void()))) {
    return E_INVALIDARG;  // only the implementing process publishes its objects
  }
  if (const HRESULT hr =
          Core().ExportLocal(object, iid, CurrentApartmentDispatcher(), 0, true, reference);
      FAILED(hr)) {
    return hr;
  }
  text = ToText(reference);
  return S_OK;
}

HRESULT RevokeReference(const std::string& text) {
  const auto reference = FromText(text, IID_NULL);
  if (!reference || !Core().IsThisProcess(reference->exporter)) return E_INVALIDARG;
  Core().Table().Revoke(reference->token);
  return S_OK;
}

HRESULT UnmarshalReference(const std::string& text, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const auto reference = FromText(text, iid);
  if (!reference) return E_INVALIDARG;
  return Core().Import(*reference, iid, object);
}

std::size_t ExportedObjectCount() { return Core().Table().Count(); }

}  // namespace platform
