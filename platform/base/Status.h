#pragma once

// Status codes as the system's code speaks them: a 32-bit HRESULT (never `long`, which is 64-bit
// here) and the automation boolean.

#include <cstdint>

using HRESULT = std::int32_t;
using VARIANT_BOOL = std::int16_t;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr HRESULT MakeHresult(std::uint32_t bits) noexcept { return static_cast<HRESULT>(bits); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHresult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHresult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHresult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHresult(0x80040202);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHresult(0x8002000E);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHresult(0x8002000B);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MakeHresult(0x8000401A);
inline constexpr HRESULT RPC_E_DISCONNECTED = MakeHresult(0x80010108);
inline constexpr HRESULT RPC_E_SERVER_DIED = MakeHresult(0x80010007);
inline constexpr HRESULT RPC_E_WRONG_THREAD = MakeHresult(0x8001010E);
inline constexpr HRESULT MK_E_SYNTAX = MakeHresult(0x800401E4);
inline constexpr HRESULT MK_E_UNAVAILABLE = MakeHresult(0x800401E3);

// Win32 error codes that the system's code reports or compares.
inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_INVALID_NAME = 123;
inline constexpr std::uint32_t ERROR_MOD_NOT_FOUND = 126;
inline constexpr std::uint32_t ERROR_PROC_NOT_FOUND = 127;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr std::uint32_t ERROR_PIPE_BUSY = 231;
inline constexpr std::uint32_t ERROR_NO_DATA = 232;
inline constexpr std::uint32_t ERROR_PIPE_NOT_CONNECTED = 233;
inline constexpr std::uint32_t ERROR_MORE_DATA = 234;
inline constexpr std::uint32_t ERROR_NOT_OWNER = 288;
inline constexpr std::uint32_t ERROR_BROKEN_PIPE = 109;
inline constexpr std::uint32_t ERROR_IO_PENDING = 997;
inline constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;
inline constexpr std::uint32_t ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr std::uint32_t ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr std::uint32_t ERROR_FILE_CORRUPT = 1392;
inline constexpr std::uint32_t ERROR_NO_SYSTEM_RESOURCES = 1450;
inline constexpr std::uint32_t ERROR_TIMEOUT = 1460;

// HRESULT_FROM_WIN32: a Win32 error as a failure HRESULT of the Win32 facility.
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) noexcept {
  return error == 0 ? S_OK : MakeHresult((error & 0xFFFFu) | 0x80070000u);
}

constexpr bool SUCCEEDED(HRESULT hr) noexcept { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) noexcept { return hr < 0; }

constexpr VARIANT_BOOL ToVariantBool(bool value) noexcept {
  return value ? VARIANT_TRUE : VARIANT_FALSE;
}
