#include "service/host/ServiceStatus.h"

void CServiceStatus::SetHandle(platform::SERVICE_STATUS_HANDLE p_hStatus) {
  const std::lock_guard l_Lock(m_Lock);
  m_hServiceStatus = p_hStatus;
}

void CServiceStatus::SetExitCode(std::uint32_t p_dwExitCode) {
  const std::lock_guard l_Lock(m_Lock);
  m_Status.dwWin32ExitCode = p_dwExitCode;
}

std::uint32_t CServiceStatus::ExitCode() const {
  const std::lock_guard l_Lock(m_Lock);
  return m_Status.dwWin32ExitCode;
}

platform::SERVICE_STATUS_HANDLE CServiceStatus::Handle() const {
  const std::lock_guard l_Lock(m_Lock);
  return m_hServiceStatus;
}

bool CServiceStatus::Report(std::uint32_t p_dwState) {
  const std::lock_guard l_Lock(m_Lock);
  m_Status.dwCurrentState = p_dwState;
  return m_hServiceStatus && platform::SetServiceStatus(m_hServiceStatus, m_Status);
}
