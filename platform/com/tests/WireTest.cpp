#include "platform/com/Wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace platform::wire;

Message Sample() {
  Message message;
  message.kind = MessageKind::Call;
  message.callId = 42;
  message.object = 7;
  message.iid = platform::GuidLiteral(u"{6C497D62-8919-413C-82DB-E935FB3EC584}");
  message.method = 3;
  message.token = 99;
  message.values = {
      Value(std::int32_t{-5}),
      Value(std::uint32_t{5}),
      Value(std::int16_t{-1}),
      Value(std::uint16_t{1}),
      Value(2.5),
      Value(Text{false, u"Road Trip"}),
      Value(Text{}),
      Value(VariantValue{VT_BSTR, Text{false, u""}}),
      Value(VariantValue{VT_UNKNOWN, ObjectReference{"p12", 3, {}, 8}}),
      Value(TextArray{false, 1, {Text{false, u"a"}, Text{}}}),
      Value(ObjectReference{}),
      Value(DispatchArguments{{VariantValue{VT_I4, std::int32_t{4}}, VariantValue{}}}),
  };
  return message;
}

std::vector<std::byte> BodyOf(const std::vector<std::byte>& frame) {
  return {frame.begin() + 4, frame.end()};
}

TEST(Wire, EveryValueKindRoundTrips) {
  const Message message = Sample();
  const auto decoded = DecodeBody(BodyOf(EncodeFrame(message)));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, message);
}

TEST(Wire, EveryTruncationIsRefused) {
  const std::vector<std::byte> body = BodyOf(EncodeFrame(Sample()));
  for (std::size_t length = 0; length < body.size(); ++length) {
    EXPECT_FALSE(DecodeBody(std::span(body).first(length))) << length;
  }
  std::vector<std::byte> longer = body;
  longer.push_back(std::byte{0});
  EXPECT_FALSE(DecodeBody(longer));
}

// Patches a 32-bit word of an encoded body.
std::vector<std::byte> WithWord(std::vector<std::byte> body, std::size_t at, std::uint32_t word) {
  std::memcpy(body.data() + at, &word, sizeof word);
  return body;
}

TEST(Wire, LyingCountsAndTagsAreRefused) {
  Message text;
  text.values = {Value(Text{false, u"ab"})};
  const auto body = BodyOf(EncodeFrame(text));
  constexpr std::size_t kHeader = 1 + 8 + 8 + 16 + 4 + 4 + 8;
  EXPECT_TRUE(DecodeBody(body));
  EXPECT_FALSE(DecodeBody(WithWord(body, kHeader, 0xFFFFFFF0u)));      // value count
  EXPECT_FALSE(DecodeBody(WithWord(body, kHeader + 5, 0x7FFFFFFFu)));  // text length
  std::vector<std::byte> badTag = body;
  badTag[kHeader + 4] = std::byte{11};
  EXPECT_FALSE(DecodeBody(badTag));
  std::vector<std::byte> badKind = body;
  badKind[0] = std::byte{0};
  EXPECT_FALSE(DecodeBody(badKind));

  Message variant;
  variant.values = {Value(VariantValue{VT_I4, std::int32_t{1}})};
  auto variantBody = BodyOf(EncodeFrame(variant));
  variantBody[kHeader + 4 + 1 + 2] = std::byte{4};  // a text tag under VT_I4
  EXPECT_FALSE(DecodeBody(variantBody));
  variantBody = BodyOf(EncodeFrame(variant));
  variantBody[kHeader + 4 + 1] = std::byte{0x0C};  // VT_VARIANT does not cross
  EXPECT_FALSE(DecodeBody(variantBody));
}

TEST(FrameReader, CutsAStreamIntoBodiesWhateverItsChunks) {
  std::vector<std::byte> stream;
  for (std::uint64_t id = 1; id <= 3; ++id) {
    Message message = Sample();
    message.callId = id;
    const auto frame = EncodeFrame(message);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  FrameReader reader;
  std::vector<std::uint64_t> ids;
  for (std::size_t at = 0; at < stream.size(); at += 7) {
    reader.Append(std::span(stream).subspan(at, std::min<std::size_t>(7, stream.size() - at)));
    while (auto body = reader.Next()) ids.push_back(DecodeBody(*body).value().callId);
  }
  EXPECT_EQ(ids, (std::vector<std::uint64_t>{1, 2, 3}));
  EXPECT_FALSE(reader.Malformed());
}

TEST(FrameReader, AnOversizedLengthMakesTheStreamMalformed) {
  FrameReader reader;
  const std::uint32_t length = kMaxBodyLength + 1;
  reader.Append(std::as_bytes(std::span(&length, 1)));
  EXPECT_FALSE(reader.Next());
  EXPECT_TRUE(reader.Malformed());
}

}  // namespace
