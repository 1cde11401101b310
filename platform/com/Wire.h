#pragma once

// The call layer's wire format: the messages that cross a connection between two processes and
// the decoder that reads them back from bytes, checking every length against what is there.
//
// A frame is a 32-bit little-endian body length followed by the body. A body is a fixed header
// (kind, call id, object id, interface id, method number or count, result, transfer token) and
// then a count of values, each a tag byte followed by its bytes. Values describe themselves, so
// a message decodes without knowing the interface; the stub then checks each value against the
// method's declared argument kinds.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/Status.h"
#include "platform/com/Guid.h"
#include "platform/com/VarType.h"

namespace platform::wire {

// A frame body longer than this is refused as malformed.
inline constexpr std::uint32_t kMaxBodyLength = 16u << 20;

// A BSTR: null and empty are different texts on the wire, as they are to the receiver.
struct Text {
  bool isNull = true;
  std::u16string characters;
  friend bool operator==(const Text&, const Text&) = default;
};

// A SAFEARRAY of BSTR, or null.
struct TextArray {
  bool isNull = true;
  std::int32_t lowerBound = 0;
  std::vector<Text> elements;
  friend bool operator==(const TextArray&, const TextArray&) = default;
};

// An interface pointer as a reference to the object that implements it: the exporting process's
// name, the object's number there, and the interface. The receiver claims the reference count that
// travels with it by its token. An empty exporter is a null pointer.
struct ObjectReference {
  std::string exporter;
  std::uint64_t object = 0;
  IID iid{};
  std::uint64_t token = 0;
  bool IsNull() const noexcept { return exporter.empty(); }
  friend bool operator==(const ObjectReference&, const ObjectReference&) = default;
};

// A VARIANT of the types that cross: VT_EMPTY, VT_I4, VT_BOOL, VT_R8, VT_BSTR, VT_UNKNOWN,
// VT_DISPATCH and VT_ARRAY | VT_BSTR.
struct VariantValue {
  VARTYPE type = VT_EMPTY;
  std::variant<std::monostate, std::int32_t, std::int16_t, double, Text, ObjectReference, TextArray>
      value;
  friend bool operator==(const VariantValue&, const VariantValue&) = default;
};

// Positional dispatch arguments, the last argument first as DISPPARAMS keeps them.
struct DispatchArguments {
  std::vector<VariantValue> values;
  friend bool operator==(const DispatchArguments&, const DispatchArguments&) = default;
};

// The alternatives' order is their tag on the wire.
using Value = std::variant<std::int32_t, std::uint32_t, std::int16_t, std::uint16_t, double, Text,
                           VariantValue, TextArray, GUID, ObjectReference, DispatchArguments>;

enum class MessageKind : std::uint8_t {
  Hello = 1,  // first message of a connection; its reply carries the client's number
  Call = 2,   // a method of `iid` (number `method`) on `object`, values in declaration order
  Reply = 3,  // `result` and the out values of call `callId`
  QueryInterface = 4,  // asks `object` for `iid`; the reply carries one reference
  Release = 5,         // gives back `count` references to `object`; no reply
  Claim = 6,           // takes over the reference travelling under `token`; replied
  Grant = 7,           // asks for one reference to `object` for a third process; the reply's token
};

struct Message {
  MessageKind kind = MessageKind::Call;
  std::uint64_t callId = 0;
  std::uint64_t object = 0;
  IID iid{};
  std::uint32_t method = 0;  // the method number of a Call, the count of a Release
  HRESULT result = S_OK;
  std::uint64_t token = 0;
  std::vector<Value> values;
  friend bool operator==(const Message&, const Message&) = default;
};

// The frame of one message (length prefix included).
std::vector<std::byte> EncodeFrame(const Message& message);

// Reads one frame body; nullopt when it is malformed or truncated, or has bytes left over.
std::optional<Message> DecodeBody(std::span<const std::byte> body);

// Collects the bytes of a stream and cuts them into frame bodies. One thread.
class FrameReader {
 public:
  void Append(std::span<const std::byte> bytes);
  // The next whole body, empty when more bytes are needed; `malformed` is set for a length over
  // the limit, after which the stream is unusable.
  std::optional<std::vector<std::byte>> Next();
  bool Malformed() const noexcept { return m_malformed; }

 private:
  std::vector<std::byte> m_pending;
  std::size_t m_start = 0;
  bool m_malformed = false;
};

}  // namespace platform::wire
