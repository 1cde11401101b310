#pragma once

// Login sessions of the platform root: the session table (id, connect state, window station,
// user, and which session is at the console), the session of a process, the processes and
// threads by session, and the registration of windows for session-change notices. The session
// manager (SessionManager.h) owns the table; every process reads it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/user/Messages.h"

namespace platform {

enum WTS_CONNECTSTATE_CLASS : std::uint32_t {
  WTSActive = 0,
  WTSConnected = 1,
  WTSConnectQuery = 2,
  WTSShadow = 3,
  WTSDisconnected = 4,
  WTSIdle = 5,
  WTSListen = 6,
  WTSReset = 7,
  WTSDown = 8,
  WTSInit = 9,
};

// The names of the connect states, "WTSActive" to "WTSInit"; empty outside them.
std::string ConnectStateName(std::uint32_t state);

// The change types of WM_WTSSESSION_CHANGE are the windows layer's (platform/user/Messages.h).
inline constexpr std::uint32_t NOTIFY_FOR_THIS_SESSION = 0;
inline constexpr std::uint32_t NOTIFY_FOR_ALL_SESSIONS = 1;

// What WTSGetActiveConsoleSessionId answers while no session is at the console.
inline constexpr std::uint32_t kNoConsoleSession = 0xFFFFFFFFu;
// The services' session, always there.
inline constexpr std::uint32_t kServicesSession = 0;

struct WTS_SESSION_INFO {
  std::uint32_t SessionId = 0;
  std::u16string WinStationName;
  WTS_CONNECTSTATE_CLASS State = WTSDown;
  std::u16string UserName;
};

struct WTS_PROCESS_INFO {
  std::uint32_t SessionId = 0;
  std::uint32_t ProcessId = 0;
  std::u16string ProcessName;  // the program's file name with ".exe"
};

struct THREADENTRY32 {
  std::uint32_t th32ThreadID = 0;
  std::uint32_t th32OwnerProcessID = 0;
};

// Any thread may call these.

// The session at the console; kNoConsoleSession when none is (or no session manager has run).
std::uint32_t WTSGetActiveConsoleSessionId();
// The sessions in the order of their ids; nothing while no session manager has made the table.
std::optional<std::vector<WTS_SESSION_INFO>> WTSEnumerateSessions();
// The session of a process of the root; false for a process that is not one (or has ended).
bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t& sessionId);
// The processes of the root that this process may see, in the order of their ids.
std::optional<std::vector<WTS_PROCESS_INFO>> WTSEnumerateProcesses();
// A snapshot of the threads of every process of the root.
std::vector<THREADENTRY32> CreateThreadSnapshot();

inline constexpr LPARAM ENDSESSION_LOGOFF = static_cast<LPARAM>(0x80000000u);

// Registers a window (its 32-bit handle) of this process for session-change notices of all
// sessions (NOTIFY_FOR_ALL_SESSIONS) or of its own session; they are posted to it in the order
// the changes happen. Registering again replaces the flags. False when no session manager has
// made the table yet (ERROR_INVALID_HANDLE would come then) or the record cannot be written.
bool WTSRegisterSessionNotification(std::uint32_t window, std::uint32_t flags);
bool WTSUnRegisterSessionNotification(std::uint32_t window);

}  // namespace platform
