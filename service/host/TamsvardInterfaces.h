#pragma once

// The service's own component identifiers and interfaces: its application id, its type library
// TamsvardLib, and the two dual interfaces that the library declares, neither with methods of
// its own.

#include "platform/com/Dispatch.h"
#include "platform/com/Guid.h"
#include "platform/com/Interface.h"

inline constexpr GUID APPID_Tamsvard =
    platform::GuidLiteral(u"{1800BF5D-1987-4272-BCD9-12246FA968FE}");
inline constexpr GUID LIBID_TamsvardLib =
    platform::GuidLiteral(u"{F4A87201-429A-4D3A-AA51-831B5A0857BC}");
inline constexpr CLSID CLSID_WMPEventSinkOld =
    platform::GuidLiteral(u"{0B710C19-69F1-427D-A7E5-174CC1122B7F}");
inline constexpr CLSID CLSID_HalmavetEventSink =
    platform::GuidLiteral(u"{C9BB4D75-ABB1-4EC6-BD32-DA93E4EE47E7}");

struct IWMPEventSinkOld : IDispatch {};
template <>
struct platform::InterfaceDeclaration<IWMPEventSinkOld> {
  static constexpr IID iid = GuidLiteral(u"{02A6F5C6-54CD-482A-96D6-AE4139982734}");
  static constexpr std::string_view name = "IWMPEventSinkOld";
  using Base = IDispatch;
  using Methods = MethodList<>;
};

struct IHalmavetEventSink : IDispatch {};
template <>
struct platform::InterfaceDeclaration<IHalmavetEventSink> {
  static constexpr IID iid = GuidLiteral(u"{105E70B1-DD2A-45C5-9BCE-34D105BFFA70}");
  static constexpr std::string_view name = "IHalmavetEventSink";
  using Base = IDispatch;
  using Methods = MethodList<>;
};

// The player's event interface as a class that sinks it declares it. Nothing in the system calls
// its methods: the service's sinks receive the player's events through dispatch.
struct IWMPEvents : IUnknown {};
template <>
struct platform::InterfaceDeclaration<IWMPEvents> {
  static constexpr IID iid = GuidLiteral(u"{19A6627B-DA9E-47C1-BB23-00B5E668236A}");
  static constexpr std::string_view name = "IWMPEvents";
  using Base = IUnknown;
  using Methods = MethodList<>;
};
