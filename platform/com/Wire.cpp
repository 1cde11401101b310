#include "platform/com/Wire.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace platform::wire {

namespace {

static_assert(std::endian::native == std::endian::little, "the wire format is little-endian");

constexpr std::uint32_t kNullLength = 0xFFFFFFFFu;

enum class VariantTag : std::uint8_t { Empty, Int32, Bool, Double, Text, Object, Array };

class Writer {
 public:
  template <class T>
  requires std::is_arithmetic_v<T>
  void Put(T value) {
    const auto* bytes = reinterpret_cast<const std::byte*>(&value);
    m_bytes.insert(m_bytes.end(), bytes, bytes + sizeof(T));
  }
  void Put(const GUID& guid) {
    Put(guid.Data1);
    Put(guid.Data2);
    Put(guid.Data3);
    for (const std::uint8_t byte : guid.Data4) Put(byte);
  }
  void Put(const Text& text) {
    if (text.isNull) {
      Put(kNullLength);
      return;
    }
    Put(static_cast<std::uint32_t>(text.characters.size()));
    for (const char16_t c : text.characters) Put(static_cast<std::uint16_t>(c));
  }
  void Put(const std::string& text) {
    Put(static_cast<std::uint32_t>(text.size()));
    for (const char c : text) Put(static_cast<std::uint8_t>(c));
  }
  void Put(const TextArray& array) {
    if (array.isNull) {
      Put(kNullLength);
      return;
    }
    Put(static_cast<std::uint32_t>(array.elements.size()));
    Put(array.lowerBound);
    for (const Text& text : array.elements) Put(text);
  }
  void Put(const ObjectReference& reference) {
    Put(reference.exporter);
    Put(reference.object);
    Put(reference.iid);
    Put(reference.token);
  }
  void Put(const VariantValue& variant) {
    Put(variant.type);
    Put(static_cast<std::uint8_t>(variant.value.index()));
    std::visit(
        [this](const auto& value) {
          if constexpr (!std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) Put(value);
        },
        variant.value);
  }
  void Put(const DispatchArguments& arguments) {
    Put(static_cast<std::uint32_t>(arguments.values.size()));
    for (const VariantValue& value : arguments.values) Put(value);
  }
  void Put(const Value& value) {
    Put(static_cast<std::uint8_t>(value.index()));
    std::visit([this](const auto& alternative) { Put(alternative); }, value);
  }

  std::vector<std::byte> Take() { return std::move(m_bytes); }

 private:
  std::vector<std::byte> m_bytes;
};

// Reads values from a body; after the first failure every read fails and Failed() says so.
class Reader {
 public:
  explicit Reader(std::span<const std::byte> bytes) : m_bytes(bytes) {}

  bool Failed() const noexcept { return m_failed; }
  bool AtEnd() const noexcept { return m_at == m_bytes.size(); }

  template <class T>
  requires std::is_arithmetic_v<T> T Get() {
    T value{};
    if (!Has(sizeof(T))) return value;
    std::memcpy(&value, m_bytes.data() + m_at, sizeof(T));
    m_at += sizeof(T);
    return value;
  }
  GUID GetGuid() {
    GUID guid;
    guid.Data1 = Get<std::uint32_t>();
    guid.Data2 = Get<std::uint16_t>();
    guid.Data3 = Get<std::uint16_t>();
    for (std::uint8_t& byte : guid.Data4) byte = Get<std::uint8_t>();
    return guid;
  }
  Text GetText() {
    Text text;
    const auto length = Get<std::uint32_t>();
    if (Failed() || length == kNullLength) return text;
    if (!Has(std::size_t{length} * 2)) return text;
    text.isNull = false;
    text.characters.resize(length);
    for (char16_t& c : text.characters) c = static_cast<char16_t>(Get<std::uint16_t>());
    return text;
  }
  std::string GetName() {
    std::string text;
    const auto length = Get<std::uint32_t>();
    if (!Has(length)) return text;
    text.resize(length);
    for (char& c : text) c = static_cast<char>(Get<std::uint8_t>());
    return text;
  }
  TextArray GetTextArray() {
    TextArray array;
    const auto count = Get<std::uint32_t>();
    if (Failed() || count == kNullLength) return array;
    array.lowerBound = Get<std::int32_t>();
    // Each element takes at least its length word: a count beyond that is a lie.
    if (!Has(std::size_t{count} * 4)) return array;
    array.isNull = false;
    array.elements.reserve(count);
    for (std::uint32_t i = 0; i < count && !Failed(); ++i) array.elements.push_back(GetText());
    return array;
  }
  ObjectReference GetReference() {
    ObjectReference reference;
    reference.exporter = GetName();
    reference.object = Get<std::uint64_t>();
    reference.iid = GetGuid();
    reference.token = Get<std::uint64_t>();
    return reference;
  }
  VariantValue GetVariant() {
    VariantValue variant;
    variant.type = Get<VARTYPE>();
    const auto tag = static_cast<VariantTag>(Get<std::uint8_t>());
    if (Failed()) return variant;
    // The tag must be the one the type calls for, so a decoded VARIANT is always well-formed.
    switch (variant.type) {
      case VT_EMPTY:
        Expect(tag, VariantTag::Empty);
        break;
      case VT_I4:
        if (Expect(tag, VariantTag::Int32)) variant.value = Get<std::int32_t>();
        break;
      case VT_BOOL:
        if (Expect(tag, VariantTag::Bool)) variant.value = Get<std::int16_t>();
        break;
      case VT_R8:
        if (Expect(tag, VariantTag::Double)) variant.value = Get<double>();
        break;
      case VT_BSTR:
        if (Expect(tag, VariantTag::Text)) variant.value = GetText();
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (Expect(tag, VariantTag::Object)) variant.value = GetReference();
        break;
      case VT_ARRAY | VT_BSTR:
        if (Expect(tag, VariantTag::Array)) variant.value = GetTextArray();
        break;
      default:
        m_failed = true;
    }
    return variant;
  }
  DispatchArguments GetDispatchArguments() {
    DispatchArguments arguments;
    const auto count = Get<std::uint32_t>();
    if (!Has(std::size_t{count} * 3)) return arguments;  // a type and a tag at least
    arguments.values.reserve(count);
    for (std::uint32_t i = 0; i < count && !Failed(); ++i) arguments.values.push_back(GetVariant());
    return arguments;
  }
  std::optional<Value> GetValue() {
    const auto tag = Get<std::uint8_t>();
    if (Failed()) return std::nullopt;
    switch (tag) {
      case 0:
        return Value(Get<std::int32_t>());
      case 1:
        return Value(Get<std::uint32_t>());
      case 2:
        return Value(Get<std::int16_t>());
      case 3:
        return Value(Get<std::uint16_t>());
      case 4:
        return Value(Get<double>());
      case 5:
        return Value(GetText());
      case 6:
        return Value(GetVariant());
      case 7:
        return Value(GetTextArray());
      case 8:
        return Value(GetGuid());
      case 9:
        return Value(GetReference());
      case 10:
        return Value(GetDispatchArguments());
      default:
        m_failed = true;
        return std::nullopt;
    }
  }

 private:
  // Whether `count` more bytes are there; fails the reader when not.
  bool Has(std::size_t count) {
    if (m_failed || count > m_bytes.size() - m_at) {
      m_failed = true;
      return false;
    }
    return true;
  }
  bool Expect(VariantTag tag, VariantTag wanted) {
    if (tag != wanted) m_failed = true;
    return !m_failed;
  }

  std::span<const std::byte> m_bytes;
  std::size_t m_at = 0;
  bool m_failed = false;
};

static_assert(std::variant_size_v<Value> == 11);

}  // namespace

std::vector<std::byte> EncodeFrame(const Message& message) {
  Writer writer;
  writer.Put(std::uint32_t{0});  // the length, filled in below
  writer.Put(static_cast<std::uint8_t>(message.kind));
  writer.Put(message.callId);
  writer.Put(message.object);
  writer.Put(message.iid);
  writer.Put(message.method);
  writer.Put(message.result);
  writer.Put(message.token);
  writer.Put(static_cast<std::uint32_t>(message.values.size()));
  for (const Value& value : message.values) writer.Put(value);
  std::vector<std::byte> frame = writer.Take();
  const auto length = static_cast<std::uint32_t>(frame.size() - sizeof(std::uint32_t));
  std::memcpy(frame.data(), &length, sizeof length);
  return frame;
}

std::optional<Message> DecodeBody(std::span<const std::byte> body) {
  Reader reader(body);
  Message message;
  const auto kind = reader.Get<std::uint8_t>();
  if (kind < static_cast<std::uint8_t>(MessageKind::Hello) ||
      kind > static_cast<std::uint8_t>(MessageKind::Grant)) {
    return std::nullopt;
  }
  message.kind = static_cast<MessageKind>(kind);
  message.callId = reader.Get<std::uint64_t>();
  message.object = reader.Get<std::uint64_t>();
  message.iid = reader.GetGuid();
  message.method = reader.Get<std::uint32_t>();
  message.result = reader.Get<HRESULT>();
  message.token = reader.Get<std::uint64_t>();
  const auto count = reader.Get<std::uint32_t>();
  if (reader.Failed() || count > body.size()) return std::nullopt;  // each value takes a byte
  message.values.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::optional<Value> value = reader.GetValue();
    if (!value || reader.Failed()) return std::nullopt;
    message.values.push_back(std::move(*value));
  }
  if (reader.Failed() || !reader.AtEnd()) return std::nullopt;
  return message;
}

void FrameReader::Append(std::span<const std::byte> bytes) {
  if (m_start > 0 && m_start == m_pending.size()) {
    m_pending.clear();
    m_start = 0;
  }
  m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
}

std::optional<std::vector<std::byte>> FrameReader::Next() {
  if (m_malformed) return std::nullopt;
  const std::size_t available = m_pending.size() - m_start;
  if (available < sizeof(std::uint32_t)) return std::nullopt;
  std::uint32_t length = 0;
  std::memcpy(&length, m_pending.data() + m_start, sizeof length);
  if (length > kMaxBodyLength) {
    m_malformed = true;
    return std::nullopt;
  }
  if (available - sizeof length < length) return std::nullopt;
  const auto begin = m_pending.begin() + static_cast<std::ptrdiff_t>(m_start + sizeof length);
  std::vector<std::byte> body(begin, begin + length);
  m_start += sizeof length + length;
  if (m_start == m_pending.size()) {
    m_pending.clear();
    m_start = 0;
  }
  return body;
}

}  // namespace platform::wire
