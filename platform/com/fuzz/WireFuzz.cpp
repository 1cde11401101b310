// Bytes as a connected peer would send them: cut into frames, each decoded, and a decoded
// message's values read back into the types a stub makes of them.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/com/Marshal.h"
#include "platform/com/Wire.h"

namespace {

// Refuses every reference, as a call layer does for one it cannot reach.
class RefusingMarshaller final : public platform::ReferenceMarshaller {
 public:
  HRESULT Export(IUnknown*, REFIID, platform::wire::ObjectReference&) override { return E_FAIL; }
  HRESULT Import(const platform::wire::ObjectReference&, REFIID, void** object) override {
    *object = nullptr;
    return E_FAIL;
  }
};

void ReadBack(const platform::wire::Message& message) {
  RefusingMarshaller marshaller;
  for (const platform::wire::Value& value : message.values) {
    if (const auto* variant = std::get_if<platform::wire::VariantValue>(&value)) {
      platform::Variant out;
      platform::FromWire(*variant, marshaller, out);
    } else if (const auto* array = std::get_if<platform::wire::TextArray>(&value)) {
      platform::FromWire(*array);
    } else if (const auto* arguments = std::get_if<platform::wire::DispatchArguments>(&value)) {
      platform::ValueCursor cursor(std::span(&value, 1));
      platform::MarshalContext context{marshaller};
      platform::StubArgument<DISPPARAMS*> slot;
      slot.Load(cursor, context);
      static_cast<void>(arguments);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::wire::FrameReader reader;
  reader.Append(std::as_bytes(std::span(data, size)));
  while (auto body = reader.Next()) {
    if (const auto message = platform::wire::DecodeBody(*body)) {
      ReadBack(*message);
      // What decodes encodes to the same frame body.
      const auto frame = platform::wire::EncodeFrame(*message);
      if (!std::equal(frame.begin() + 4, frame.end(), body->begin(), body->end())) __builtin_trap();
    }
  }
  return 0;
}
