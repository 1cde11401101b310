#pragma once

// Class objects and activation: a server registers the class objects of its session, and a
// caller binds a session moniker ("Session:%d!clsid:{...}") to the class object registered in
// that session. When none is, the layer starts the class's registered "LocalServer32" command
// there (with the embedding switch and PLATFORM_SESSION set) and answers
// HRESULT_FROM_WIN32(ERROR_PIPE_NOT_CONNECTED) until the server has registered; a server that
// cannot be started answers CO_E_SERVER_EXEC_FAILURE. Binds at once, from any process, start one
// server.
//
// The class's application id ("AppID" of its class key) says more:
//   "RunAs" = "Interactive User": the server runs as the user of the session it starts in. Only a
//     binder that runs as root can switch users; any other binder, or a session user who is no
//     account of this machine, starts the server as the binder's own user.
//   "LocalService" = a service name: the class lives in that service, registered in the
//     services' session and bound from every session; the bind asks the service manager to
//     start the service (which needs the right to start it) and answers as above until it has
//     registered.
// CoCreateInstance waits for a starting server without polling: it wakes when the session's
// class objects change or the server it waits for ends (one that ends without registering fails
// the call with CO_E_SERVER_EXEC_FAILURE, as does one that has not registered within 30 s).
// Every function may be called from any thread.

#include <cstdint>
#include <string>

#include "platform/com/ClassFactory.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Interface.h"
#include "platform/com/Registry.h"

inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;
inline constexpr HRESULT kServerStarting = HRESULT_FROM_WIN32(ERROR_PIPE_NOT_CONNECTED);

struct IBindCtx : IUnknown {};
struct IMoniker : IUnknown {
  // `left` must be null; `iid` is the interface of the bound object.
  virtual HRESULT BindToObject(IBindCtx* context, IMoniker* left, REFIID iid, void** object) = 0;
};
template <>
struct platform::InterfaceDeclaration<IBindCtx> {
  static constexpr IID iid = GuidLiteral(u"{4F0A7E21-93B6-4C1D-8A2E-6B5C3D9F1E08}");
  static constexpr std::string_view name = "IBindCtx";
  using Base = IUnknown;
  using Methods = MethodList<>;
};
template <>
struct platform::InterfaceDeclaration<IMoniker> {
  static constexpr IID iid = GuidLiteral(u"{8C3B5D12-7A4E-4F69-B1D0-2E6F9A7C4B35}");
  static constexpr std::string_view name = "IMoniker";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IMoniker, BindToObject)>;
};

// Registers `object` (an IClassFactory) as the class object of `clsid` in this process's
// session, for every caller (REGCLS_MULTIPLEUSE), until revoked by its cookie.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags,
                              DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

// A local server's lock count: its objects and its locks; the server ends when it falls to 0.
ULONG CoAddRefServerProcess();
ULONG CoReleaseServerProcess();

HRESULT CreateBindCtx(DWORD reserved, IBindCtx** context);
// Parses "Session:<id>!clsid:<guid>" (the guid with or without braces); MK_E_SYNTAX otherwise,
// with `eaten` the characters read.
HRESULT MkParseDisplayNameEx(IBindCtx* context, const OLECHAR* name, ULONG* eaten,
                             IMoniker** moniker);

// An instance of a local server's class in the caller's own session: binds the class object
// (waiting while the server starts) and creates the instance through it.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

namespace platform {

// The class object of `clsid` registered in `session`, starting the server when none is.
HRESULT BindClassObject(std::uint32_t session, REFCLSID clsid, REFIID iid, void** object);

// Registration of a local server class: its command, its program id and its application id.
bool RegisterLocalServer(REFCLSID clsid, std::u16string_view command, std::u16string_view progId,
                         REFGUID appId);

}  // namespace platform
