#pragma once

// What the whole system holds at one moment: the object table's objects and handles, and for
// each program of the root in each session how many processes run it and their open descriptors
// and threads together. Processes come back under new ids after a fault, so they are counted by
// program and session rather than by id.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ProgramFigures {
  int m_nProcesses = 0;
  int m_nDescriptors = 0;  // entries of /proc/PID/fd
  int m_nThreads = 0;      // entries of /proc/PID/task
  // The descriptors by what they are: "socket", "pipe", "anon_inode:[eventfd]", or a file's path.
  std::map<std::string, int> m_DescriptorKinds;

  bool operator==(const ProgramFigures&) const = default;
};

// A named object of the table: its name as a program gives it ("Global\Name" for the machine's,
// "Name" for a session's) with the session of a session's name, and the program image names of
// the processes holding it ("this process" for this one), one per process.
struct NamedObject {
  std::string m_Name;
  std::optional<std::uint32_t> m_nSession;  // none: the machine's
  std::vector<std::string> m_Holders;
};

struct ResourceCensus {
  std::uint32_t m_nObjects = 0;
  std::uint32_t m_nHandles = 0;  // the table's handle records of live processes
  std::uint32_t m_nWaiters = 0;
  std::vector<std::string> m_TableFaults;  // where the table's derived state disagrees
  std::vector<NamedObject> m_NamedObjects;
  // By program image name and session; this process is left out.
  std::map<std::pair<std::string, std::uint32_t>, ProgramFigures> m_Programs;
};

// Takes the census of the root of this process (PLATFORM_ROOT), after releasing what processes
// that died still held in the table. Any thread.
ResourceCensus TakeResourceCensus();

// Every way in which `p_Now` holds more, or other, than `p_Baseline`, one line each; empty when
// they agree. Fewer table objects, handles, descriptors or threads than the baseline are no leak
// (a connection that a program makes when first used is not there after its restart), but any
// difference in the number of processes is: a program that did not come back is as wrong as one
// too many.
std::vector<std::string> CensusDifferences(const ResourceCensus& p_Baseline,
                                           const ResourceCensus& p_Now);
