#include "tools/churn/ResourceCensus.h"

#include <filesystem>
#include <ostream>
#include <set>
#include <sstream>

#include "platform/base/Text.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/sessions/RootProcesses.h"

namespace {

// What a descriptor is, from its /proc link: sockets and pipes by their kind alone.
std::string KindOf(const std::filesystem::path& p_Link) {
  std::error_code l_Error;
  const std::string l_Target = std::filesystem::read_symlink(p_Link, l_Error).string();
  for (const char* l_pKind : {"socket:", "pipe:"}) {
    if (l_Target.starts_with(l_pKind)) {
      return std::string(l_pKind, std::char_traits<char>::length(l_pKind) - 1);
    }
  }
  return l_Target;
}

void CountDescriptors(const std::filesystem::path& p_Folder, ProgramFigures& p_Figures) {
  std::error_code l_Error;
  for (std::filesystem::directory_iterator l_Entry(p_Folder, l_Error), l_End;
       !l_Error && l_Entry != l_End; l_Entry.increment(l_Error)) {
    ++p_Figures.m_nDescriptors;
    ++p_Figures.m_DescriptorKinds[KindOf(l_Entry->path())];
  }
}

int EntriesOf(const std::filesystem::path& p_Folder) {
  std::error_code l_Error;
  int l_nCount = 0;
  for (std::filesystem::directory_iterator l_Entry(p_Folder, l_Error), l_End;
       !l_Error && l_Entry != l_End; l_Entry.increment(l_Error)) {
    ++l_nCount;
  }
  return l_nCount;
}

void Describe(std::ostream& p_Out, const ProgramFigures& p_Figures) {
  p_Out << p_Figures.m_nProcesses << " processes, " << p_Figures.m_nDescriptors << " descriptors, "
        << p_Figures.m_nThreads << " threads";
}

// The kinds of descriptor of which there are more than at the baseline, as "socket +2, pipe +1";
// empty when there are none.
std::string GrownKinds(const std::map<std::string, int>& p_Was,
                       const std::map<std::string, int>& p_Is) {
  std::string l_Grown;
  for (const auto& [l_Kind, l_nCount] : p_Is) {
    const auto l_At = p_Was.find(l_Kind);
    const int l_nGrowth = l_nCount - (l_At != p_Was.end() ? l_At->second : 0);
    if (l_nGrowth > 0) {
      l_Grown.append(l_Grown.empty() ? "" : ", ").append(l_Kind).append(" +");
      l_Grown += std::to_string(l_nGrowth);
    }
  }
  return l_Grown;
}

// One line when the figure grew past its baseline.
void NoteGrowth(std::vector<std::string>& p_Found, const char* p_pWhat, std::uint32_t p_nBaseline,
                std::uint32_t p_nNow) {
  if (p_nNow > p_nBaseline) {
    std::ostringstream l_Line;
    l_Line << p_pWhat << " " << p_nNow << " (baseline " << p_nBaseline << ")";
    p_Found.push_back(l_Line.str());
  }
}

// The named objects of the table with their holders' program names.
std::vector<NamedObject> NamedObjects(
    const std::vector<platform::detail::NamedObjectCensus>& p_Table,
    const std::vector<platform::detail::RootProcess>& p_Processes) {
  const platform::detail::ProcessIdentity l_Self = platform::detail::ThisProcess();
  const auto ProgramOf = [&](const platform::detail::ProcessIdentity& p_Holder) -> std::string {
    if (p_Holder == l_Self) {
      return "this process";
    }
    for (const platform::detail::RootProcess& l_Process : p_Processes) {
      if (l_Process.identity == p_Holder) {
        return platform::ToUtf8(l_Process.imageName);
      }
    }
    std::string l_Unknown = "process ";
    l_Unknown += std::to_string(p_Holder.pid);
    return l_Unknown;
  };
  std::vector<NamedObject> l_Named;
  for (const platform::detail::NamedObjectCensus& l_Object : p_Table) {
    NamedObject& l_Entry = l_Named.emplace_back();
    if (l_Object.nameSpace == platform::detail::kGlobalNamespace) {
      l_Entry.m_Name = "Global\\";
    } else {
      l_Entry.m_nSession = l_Object.nameSpace;
    }
    l_Entry.m_Name += l_Object.name;
    for (const platform::detail::ProcessIdentity& l_Holder : l_Object.holders) {
      l_Entry.m_Holders.push_back(ProgramOf(l_Holder));
    }
  }
  return l_Named;
}

}  // namespace

ResourceCensus TakeResourceCensus() {
  ResourceCensus l_Census;
  const std::vector<platform::detail::RootProcess> l_Processes =
      platform::detail::ListRootProcesses();
  if (platform::detail::ObjectTable* l_pTable = platform::detail::ObjectTable::Instance()) {
    platform::detail::ObjectTable::Lock l_Lock(*l_pTable);
    l_pTable->ReclaimDeadProcesses(l_Lock);
    platform::detail::TableCensus l_Table = l_pTable->Census(l_Lock);
    l_Census.m_nObjects = l_Table.objects;
    l_Census.m_nHandles = l_Table.references;
    l_Census.m_nWaiters = l_Table.waiters;
    l_Census.m_TableFaults = std::move(l_Table.faults);
    l_Census.m_NamedObjects = NamedObjects(l_Table.named, l_Processes);
    if (l_Table.recordsOfDeadProcesses != 0) {
      l_Census.m_TableFaults.push_back(std::to_string(l_Table.recordsOfDeadProcesses) +
                                       " records of dead processes after the reclaim");
    }
  } else {
    l_Census.m_TableFaults.emplace_back("the object table does not open");
  }
  const platform::detail::ProcessIdentity l_Self = platform::detail::ThisProcess();
  for (const platform::detail::RootProcess& l_Process : l_Processes) {
    if (l_Process.identity == l_Self) {
      continue;
    }
    const std::filesystem::path l_Folder =
        std::filesystem::path("/proc") / std::to_string(l_Process.identity.pid);
    ProgramFigures& l_Figures =
        l_Census.m_Programs[{platform::ToUtf8(l_Process.imageName), l_Process.sessionId}];
    ++l_Figures.m_nProcesses;
    CountDescriptors(l_Folder / "fd", l_Figures);
    l_Figures.m_nThreads += EntriesOf(l_Folder / "task");
  }
  return l_Census;
}

std::vector<std::string> CensusDifferences(const ResourceCensus& p_Baseline,
                                           const ResourceCensus& p_Now) {
  std::vector<std::string> l_Found = p_Now.m_TableFaults;
  NoteGrowth(l_Found, "table objects", p_Baseline.m_nObjects, p_Now.m_nObjects);
  NoteGrowth(l_Found, "table handles", p_Baseline.m_nHandles, p_Now.m_nHandles);
  NoteGrowth(l_Found, "table waiters", p_Baseline.m_nWaiters, p_Now.m_nWaiters);
  std::set<std::pair<std::string, std::uint32_t>> l_Keys;
  for (const auto& l_Entry : p_Baseline.m_Programs) l_Keys.insert(l_Entry.first);
  for (const auto& l_Entry : p_Now.m_Programs) l_Keys.insert(l_Entry.first);
  const auto FiguresOf = [](const ResourceCensus& p_Census, const auto& p_Key) {
    const auto l_At = p_Census.m_Programs.find(p_Key);
    return l_At != p_Census.m_Programs.end() ? l_At->second : ProgramFigures{};
  };
  for (const auto& l_Key : l_Keys) {
    const ProgramFigures l_Was = FiguresOf(p_Baseline, l_Key);
    const ProgramFigures l_Is = FiguresOf(p_Now, l_Key);
    const std::string l_Grown = GrownKinds(l_Was.m_DescriptorKinds, l_Is.m_DescriptorKinds);
    // Every descriptor is counted by its kind, so more descriptors are more of some kind.
    if (l_Is.m_nProcesses != l_Was.m_nProcesses || !l_Grown.empty() ||
        l_Is.m_nThreads > l_Was.m_nThreads) {
      std::ostringstream l_Line;
      l_Line << l_Key.first << " in session " << l_Key.second << ": ";
      Describe(l_Line, l_Is);
      l_Line << " (baseline ";
      Describe(l_Line, l_Was);
      l_Line << ")";
      if (!l_Grown.empty()) {
        l_Line << "; more descriptors: " << l_Grown;
      }
      l_Found.push_back(l_Line.str());
    }
  }
  return l_Found;
}
