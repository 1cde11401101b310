#include "platform/com/ConnectionPoint.h"

#include <algorithm>

namespace platform {

HRESULT ConnectionPoint::Advise(IUnknown* sink, std::uint32_t* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  *cookie = 0;
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(m_events, dispatch.put_void()))) return CONNECT_E_CANNOTCONNECT;
  m_connections.push_back({++m_lastCookie, std::move(dispatch)});
  *cookie = m_lastCookie;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t cookie) {
  const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                  [cookie](const Connection& c) { return c.cookie == cookie; });
  if (found == m_connections.end()) return CONNECT_E_NOCONNECTION;
  // The sink may be released only after it has left the list: its release may call back.
  const ComPtr<IDispatch> leaving = std::move(found->sink);
  m_connections.erase(found);
  return S_OK;
}

HRESULT ConnectionPoint::Invoke(DISPID dispid, ArgumentList& arguments) {
  // Sinks may change the list while they are called: walk a copy of the cookies.
  std::vector<std::uint32_t> cookies;
  cookies.reserve(m_connections.size());
  for (const Connection& connection : m_connections) cookies.push_back(connection.cookie);
  HRESULT last = S_OK;
  for (const std::uint32_t cookie : cookies) {
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [cookie](const Connection& c) { return c.cookie == cookie; });
    if (found == m_connections.end()) continue;
    const ComPtr<IDispatch> sink = found->sink;
    DISPPARAMS parameters{arguments.data(), nullptr, arguments.size(), 0};
    Variant result;
    last = sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                        result.put());
    // A sink whose process has gone never answers again: its connection goes.
    if (last == RPC_E_DISCONNECTED || last == RPC_E_SERVER_DIED) Unadvise(cookie);
  }
  return last;
}

void ConnectionPoint::Close() noexcept {
  std::vector<Connection> leaving;
  leaving.swap(m_connections);
}

ConnectionPoints::~ConnectionPoints() {
  for (const ComPtr<ConnectionPoint>& point : m_points) point->Close();
}

ConnectionPoint& ConnectionPoints::Add(const IID& events) {
  m_points.push_back(MakeObject<ConnectionPoint>(events));
  return *m_points.back();
}

HRESULT ConnectionPoints::Find(REFIID iid, IConnectionPoint** point) const {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  for (const ComPtr<ConnectionPoint>& candidate : m_points) {
    if (candidate->EventInterface() == iid) {
      *point = candidate.get();
      candidate->AddRef();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

namespace {

HRESULT FindPoint(IUnknown* source, REFIID events, ComPtr<IConnectionPoint>& point) {
  if (source == nullptr) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  if (const HRESULT hr =
          source->QueryInterface(IidOf<IConnectionPointContainer>, container.put_void());
      FAILED(hr)) {
    return hr;
  }
  return container->FindConnectionPoint(events, point.put());
}

}  // namespace

HRESULT Advise(IUnknown* source, REFIID events, IUnknown* sink, std::uint32_t* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  ComPtr<IConnectionPoint> point;
  if (const HRESULT hr = FindPoint(source, events, point); FAILED(hr)) return hr;
  return point->Advise(sink, cookie);
}

HRESULT Unadvise(IUnknown* source, REFIID events, std::uint32_t cookie) {
  ComPtr<IConnectionPoint> point;
  if (const HRESULT hr = FindPoint(source, events, point); FAILED(hr)) return hr;
  return point->Unadvise(cookie);
}

}  // namespace platform
