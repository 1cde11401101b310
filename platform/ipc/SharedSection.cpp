#include "platform/ipc/SharedSection.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/kernel/ObjectTable.h"

namespace platform {

using detail::ObjectKind;

namespace {

// Makes the file behind a new section: a new file is all zero bytes.
std::uint32_t CreateSectionFile(ObjectRef object, std::size_t size) {
  detail::ObjectTable* table = detail::ObjectTable::Instance();
  const std::filesystem::path file = table->SectionFile(object);
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  const detail::UniqueFd descriptor(
      open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!descriptor || ftruncate(descriptor.Get(), static_cast<off_t>(size)) != 0) {
    const auto error = static_cast<std::uint32_t>(errno);
    std::filesystem::remove(file, ignored);
    return error == ENOSPC ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

}  // namespace

HandleResult<SharedSection> SharedSection::Create(std::u16string_view name, std::size_t size) {
  if (size == 0) {
    return {{}, false, ERROR_INVALID_PARAMETER};
  }
  return Map(detail::OpenObject(
                 {ObjectKind::Section, false, false, size}, name, detail::Disposition::CreateOrOpen,
                 [size](ObjectRef object) { return CreateSectionFile(object, size); }),
             size);
}

HandleResult<SharedSection> SharedSection::Open(std::u16string_view name) {
  return Map(detail::OpenObject({ObjectKind::Section}, name, detail::Disposition::OpenOnly), 0);
}

HandleResult<SharedSection> SharedSection::Map(HandleResult<KernelHandle> opened,
                                               std::size_t atLeast) {
  HandleResult<SharedSection> result{{}, opened.alreadyExisted, opened.error};
  if (!opened.handle) {
    return result;
  }
  std::uint64_t size = 0;
  detail::WithObject(
      opened.handle.Ref(), ObjectKind::Section,
      [&size](detail::ObjectTable::Lock&, detail::SharedObject& section) { size = section.size; });
  if (size < atLeast) {
    result.error = ERROR_INVALID_PARAMETER;
    return result;
  }
  // The file stays while this process holds its handle, so it can be opened after the lock.
  const std::filesystem::path file =
      detail::ObjectTable::Instance()->SectionFile(opened.handle.Ref());
  const detail::UniqueFd descriptor(open(file.c_str(), O_RDWR | O_CLOEXEC));
  detail::Mapping mapping;
  if (descriptor) {
    mapping = detail::Mapping::Shared(descriptor.Get(), static_cast<std::size_t>(size));
  }
  if (!mapping) {
    result.error = ERROR_ACCESS_DENIED;
    return result;
  }
  result.handle.handle_ = std::move(opened.handle);
  result.handle.mapping_ = std::move(mapping);
  return result;
}

void SharedSection::Close() noexcept {
  mapping_.Reset();
  handle_.Close();
}

}  // namespace platform
