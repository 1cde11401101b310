#pragma once

// Connection points: how an event source keeps its sinks and calls them.

#include <cstdint>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Event.h"
#include "platform/com/Interface.h"
#include "platform/com/Object.h"

struct IConnectionPoint : IUnknown {
  // Connects `sink`, which must answer the connection's event interface; the cookie names the
  // connection for Unadvise.
  virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;
};

template <>
struct platform::InterfaceDeclaration<IConnectionPoint> {
  static constexpr IID iid = GuidLiteral(u"{CAC6E37A-E88E-4225-9581-F6BB972D3CD7}");
  static constexpr std::string_view name = "IConnectionPoint";
  using Base = IUnknown;
  using Methods =
      MethodList<COM_METHOD(IConnectionPoint, Advise), COM_METHOD(IConnectionPoint, Unadvise)>;
};

template <>
struct platform::InterfaceDeclaration<IConnectionPointContainer> {
  static constexpr IID iid = GuidLiteral(u"{88BF9EB5-E5DD-4E0E-B9A4-C3D986C5DBAA}");
  static constexpr std::string_view name = "IConnectionPointContainer";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IConnectionPointContainer, FindConnectionPoint)>;
};

namespace platform {

// The connections of one event interface. Advise asks the sink for the event interface's id and
// keeps that IDispatch; cookies count from 1 and are never reused. Firing calls every sink in the
// order of connection, on the calling thread; a sink may advise or unadvise while it is called
// (a sink connected meanwhile gets the next event, one disconnected meanwhile is not called).
// A sink in a process that has gone is disconnected by the first event that fails to reach it.
// Used on its apartment's thread only.
class ConnectionPoint final : public ComObject<IConnectionPoint> {
 public:
  explicit ConnectionPoint(const IID& events) : m_events(events) {}

  HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
  HRESULT Unadvise(std::uint32_t cookie) override;

  const IID& EventInterface() const noexcept { return m_events; }
  std::size_t ConnectionCount() const noexcept { return m_connections.size(); }

  // Invoke on every sink with `arguments` (reverse order); the last sink's HRESULT, S_OK when
  // none is connected.
  HRESULT Invoke(DISPID dispid, ArgumentList& arguments);
  // Fires event E with its arguments in declaration order.
  template <class E, class... Values>
  HRESULT Fire(Values&&... values) {
    ArgumentList arguments;
    BuildArguments<E>(arguments, std::forward<Values>(values)...);
    return Invoke(E::dispid, arguments);
  }
  // Drops every connection, so that no later event reaches a sink.
  void Close() noexcept;

 private:
  struct Connection {
    std::uint32_t cookie;
    ComPtr<IDispatch> sink;
  };

  IID m_events;
  std::vector<Connection> m_connections;
  std::uint32_t m_lastCookie = 0;
};

// The connection points of one source object, for its FindConnectionPoint. Same thread rule.
class ConnectionPoints {
 public:
  ConnectionPoints() = default;
  ConnectionPoints(const ConnectionPoints&) = delete;
  ConnectionPoints& operator=(const ConnectionPoints&) = delete;
  // The connections end with the source, even where someone still holds a connection point.
  ~ConnectionPoints();

  // Adds a connection point for `events` and returns it (owned by this container).
  ConnectionPoint& Add(const IID& events);
  HRESULT Find(REFIID iid, IConnectionPoint** point) const;

 private:
  std::vector<ComPtr<ConnectionPoint>> m_points;
};

// Connects `sink` to `source`'s connection point for `events`: E_POINTER for a null source,
// sink or cookie, E_NOINTERFACE when the source has no connection points, CONNECT_E_NOCONNECTION
// when it has none for `events`, else the connection point's answer.
HRESULT Advise(IUnknown* source, REFIID events, IUnknown* sink, std::uint32_t* cookie);
HRESULT Unadvise(IUnknown* source, REFIID events, std::uint32_t cookie);

}  // namespace platform
