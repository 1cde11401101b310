#include "hook/SnoopSharedData.h"

#include <algorithm>
#include <array>

namespace {

constexpr char16_t kSectionName[] = u"QuillombSharedData";

}  // namespace

TreeviewTransfer LoadTransfer(SnoopSharedData& p_Data) {
  TreeviewTransfer l_Bytes{};
  for (std::size_t l_nIndex = 0; l_nIndex < l_Bytes.size(); ++l_nIndex) {
    l_Bytes[l_nIndex] = SharedLoad(p_Data.transfer[l_nIndex]);
  }
  return l_Bytes;
}

void StoreTransfer(SnoopSharedData& p_Data, std::span<const std::uint8_t> p_Bytes) {
  const std::size_t l_nLength = std::min(p_Bytes.size(), kTreeviewTransferSize);
  for (std::size_t l_nIndex = 0; l_nIndex < kTreeviewTransferSize; ++l_nIndex) {
    SharedStore(p_Data.transfer[l_nIndex],
                l_nIndex < l_nLength ? p_Bytes[l_nIndex] : std::uint8_t{0});
  }
}

SnoopSection SnoopSection::Open() {
  SnoopSection l_Section;
  platform::HandleResult<platform::SharedSection> l_Opened =
      platform::SharedSection::Create(kSectionName, sizeof(SnoopSharedData));
  if (!l_Opened.handle || l_Opened.handle.Bytes().size() < sizeof(SnoopSharedData)) {
    return l_Section;
  }
  l_Section.m_Section = std::move(l_Opened.handle);
  l_Section.m_pData = reinterpret_cast<SnoopSharedData*>(l_Section.m_Section.Bytes().data());
  return l_Section;
}
