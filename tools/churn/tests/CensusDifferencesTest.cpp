// What the churn calls a leak: the census after the faults against the one before.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/churn/ResourceCensus.h"

namespace {

ResourceCensus Baseline() {
  ResourceCensus l_Census;
  l_Census.m_nObjects = 40;
  l_Census.m_nHandles = 90;
  l_Census.m_nWaiters = 6;
  l_Census.m_Programs[{"Tamsvard.exe", 0}] = {1, 30, 9, {{"socket", 26}, {"pipe", 4}}};
  l_Census.m_Programs[{"Ruvello.exe", 1}] = {1, 20, 4, {{"socket", 16}, {"/dev/null", 4}}};
  l_Census.m_Programs[{"wmplayer.exe", 1}] = {1, 12, 3, {{"socket", 8}, {"/dev/null", 4}}};
  return l_Census;
}

struct Case {
  const char* m_pName;
  void (*m_pChange)(ResourceCensus&);
  std::vector<std::string> m_Expected;
};

TEST(CensusDifferences, TellsEachWayTheSystemDiffersFromItsBaseline) {
  const Case l_Cases[] = {
      {"the same", [](ResourceCensus&) {}, {}},
      {"fewer table objects and handles",
       [](ResourceCensus& p_Census) {
         p_Census.m_nObjects = 30;
         p_Census.m_nHandles = 80;
       },
       {}},
      {"more table objects, handles and waiters",
       [](ResourceCensus& p_Census) {
         p_Census.m_nObjects = 41;
         p_Census.m_nHandles = 93;
         p_Census.m_nWaiters = 7;
       },
       {"table objects 41 (baseline 40)", "table handles 93 (baseline 90)",
        "table waiters 7 (baseline 6)"}},
      {"a socket more",
       [](ResourceCensus& p_Census) {
         ProgramFigures& l_Server = p_Census.m_Programs[{"Ruvello.exe", 1}];
         l_Server.m_nDescriptors = 21;
         l_Server.m_DescriptorKinds["socket"] = 17;
       },
       {"Ruvello.exe in session 1: 1 processes, 21 descriptors, 4 threads (baseline 1 processes, "
        "20 descriptors, 4 threads); more descriptors: socket +1"}},
      {"a pipe for a socket",
       [](ResourceCensus& p_Census) {
         ProgramFigures& l_Service = p_Census.m_Programs[{"Tamsvard.exe", 0}];
         l_Service.m_DescriptorKinds["socket"] = 25;
         l_Service.m_DescriptorKinds["pipe"] = 5;
       },
       {"Tamsvard.exe in session 0: 1 processes, 30 descriptors, 9 threads (baseline 1 processes, "
        "30 descriptors, 9 threads); more descriptors: pipe +1"}},
      {"a thread more",
       [](ResourceCensus& p_Census) {
         p_Census.m_Programs[{"Tamsvard.exe", 0}].m_nThreads = 10;
       },
       {"Tamsvard.exe in session 0: 1 processes, 30 descriptors, 10 threads (baseline 1 processes, "
        "30 descriptors, 9 threads)"}},
      {"a thread and a descriptor fewer",
       [](ResourceCensus& p_Census) {
         ProgramFigures& l_Player = p_Census.m_Programs[{"wmplayer.exe", 1}];
         l_Player.m_nThreads = 2;
         l_Player.m_nDescriptors = 11;
         l_Player.m_DescriptorKinds["socket"] = 7;
       },
       {}},
      {"a program that did not come back",
       [](ResourceCensus& p_Census) {
         p_Census.m_Programs.erase({"wmplayer.exe", 1});
       },
       {"wmplayer.exe in session 1: 0 processes, 0 descriptors, 0 threads (baseline 1 processes, "
        "12 descriptors, 3 threads)"}},
      {"a process of a session that was logged off",
       [](ResourceCensus& p_Census) {
         p_Census.m_Programs[{"Ruvello.exe", 2}] = {1, 20, 4, {{"socket", 20}}};
       },
       {"Ruvello.exe in session 2: 1 processes, 20 descriptors, 4 threads (baseline 0 processes, "
        "0 descriptors, 0 threads); more descriptors: socket +20"}},
      {"a fault in the table",
       [](ResourceCensus& p_Census) { p_Census.m_TableFaults = {"slot 3 counts 2 handles"}; },
       {"slot 3 counts 2 handles"}},
  };
  for (const Case& l_Case : l_Cases) {
    ResourceCensus l_Now = Baseline();
    l_Case.m_pChange(l_Now);
    EXPECT_EQ(CensusDifferences(Baseline(), l_Now), l_Case.m_Expected) << l_Case.m_pName;
  }
}

}  // namespace
