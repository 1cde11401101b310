#include "service/device/FirmwareImage.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "service/device/tests/HexText.h"
#include "service/device/tests/TempFolder.h"

namespace {

TEST(ParseHex, ReadsHexDigitsOnly) {
  EXPECT_EQ(ParseHex2("00"), 0);
  EXPECT_EQ(ParseHex2("7F"), 0x7F);
  EXPECT_EQ(ParseHex2("fe"), 0xFE);
  EXPECT_EQ(ParseHex4("17EC"), 0x17EC);
  EXPECT_EQ(ParseHex4("FFFF"), 0xFFFF);
  for (const char* l_pText : {"", "1", "123", "G0", "0:", " 1", "1\n", "0x"}) {
    EXPECT_FALSE(ParseHex2(l_pText)) << l_pText;
  }
  for (const char* l_pText : {"", "17E", "17ECC", "17EG", "-123"}) {
    EXPECT_FALSE(ParseHex4(l_pText)) << l_pText;
  }
}

TEST(FirmwareImage, PlacesEachRecordAtItsOwnAddress) {
  const std::string l_Text = HexRecord(0, {0, 0}, 4) + HexRecord(0x1800, Counting(1, 3)) + "\r\n" +
                             HexRecord(0x1810, {0xAA}) + HexRecord(0, {}, 5) + kHexEndOfFile +
                             HexRecord(0x2000, {0x55});
  const FirmwareImageRead l_Read = FirmwareImage::Parse(l_Text);
  ASSERT_TRUE(l_Read.m_Image) << l_Read.m_Error;
  const FirmwareImage& l_Image = *l_Read.m_Image;
  EXPECT_EQ(l_Image.At(0x1800), 1);
  EXPECT_EQ(l_Image.At(0x1802), 3);
  EXPECT_FALSE(l_Image.Holds(0x1803));
  EXPECT_EQ(l_Image.NextHeld(0x1803), 0x1810u);
  EXPECT_EQ(l_Image.At(0x1810), 0xAA);
  EXPECT_FALSE(l_Image.NextHeld(0x1811)) << "records after the end-of-file record count";
}

TEST(FirmwareImage, ReadsLowerCaseDigitsAndTextsWithoutEndRecord) {
  std::string l_Text = HexRecord(0xFFFE, {0xAB, 0xCD});
  for (char& l_ch : l_Text) {
    l_ch = static_cast<char>(std::tolower(l_ch));
  }
  const FirmwareImageRead l_Read = FirmwareImage::Parse(l_Text);
  ASSERT_TRUE(l_Read.m_Image) << l_Read.m_Error;
  EXPECT_EQ(l_Read.m_Image->At(0xFFFF), 0xCD);
  EXPECT_EQ(l_Read.m_Image->NextHeld(0x1800), 0xFFFEu);
  EXPECT_EQ(l_Read.m_Image->NextHeld(0xFFFF), 0xFFFFu) << "the last address is found";
  EXPECT_FALSE(l_Read.m_Image->NextHeld(0x10000));
  const FirmwareImageRead l_Empty = FirmwareImage::Parse(kHexEndOfFile);
  ASSERT_TRUE(l_Empty.m_Image) << l_Empty.m_Error;
  EXPECT_FALSE(l_Empty.m_Image->NextHeld(0));
}

struct BadText {
  std::string m_Text;
  std::string m_Error;
};

TEST(FirmwareImage, RefusesEveryFaultyRecordWithItsLine) {
  const std::string l_Good = HexRecord(0x1800, Counting(0, 20));
  std::string l_BadChecksum = l_Good;
  l_BadChecksum[l_BadChecksum.size() - 2] ^= 1;
  std::string l_NoDigit = l_Good;
  l_NoDigit[12] = 'G';
  const std::vector<BadText> l_Cases = {
      {"1800" + l_Good, "line 1: the line does not start with ':'"},
      {l_Good + ":1418", "line 2: the line is not a whole record"},
      {":00000001F", "line 1: the line is not a whole record"},
      {l_Good.substr(0, 49) + "\n", "line 1: the line's length does not match its byte count"},
      {l_Good.substr(0, 51) + "00\n", "line 1: the line's length does not match its byte count"},
      {l_BadChecksum, "line 1: the checksum does not match"},
      {l_NoDigit, "line 1: the line holds a character that is no hex digit"},
      {l_Good + " " + l_Good, "line 2: the line does not start with ':'"},
      {l_Good.substr(0, 51) + " \n", "line 1: the line is not a whole record"},
      {HexRecord(0, {}, 6), "line 1: the record type is unknown"},
      {HexRecord(0, {0, 1}, 4),
       "line 1: the record moves the image beyond the device's 16-bit addresses"},
      {HexRecord(0, {0x10, 0}, 2),
       "line 1: the record moves the image beyond the device's 16-bit addresses"},
      {HexRecord(0, {0}, 4),
       "line 1: the record moves the image beyond the device's 16-bit addresses"},
      {HexRecord(0xFFF0, Counting(0, 20)), "line 1: the record runs past address 0xFFFF"},
      {l_Good + HexRecord(0x1813, {1}), "line 2: the record overlaps an earlier one"},
  };
  for (const BadText& l_Case : l_Cases) {
    const FirmwareImageRead l_Read = FirmwareImage::Parse(l_Case.m_Text);
    EXPECT_FALSE(l_Read.m_Image) << l_Case.m_Text;
    EXPECT_EQ(l_Read.m_Error, l_Case.m_Error) << l_Case.m_Text;
  }
}

TEST(FirmwareImage, ReadsAFileAndNamesAMissingOne) {
  const TempFolder l_Temp;
  const std::filesystem::path& l_Folder = l_Temp.Path();
  std::ofstream(l_Folder / kFirmwareImageName) << HexRecord(0x1800, {7}) << kHexEndOfFile;

  const FirmwareImageRead l_Read = FirmwareImage::ReadFile(l_Folder / kFirmwareImageName);
  ASSERT_TRUE(l_Read.m_Image) << l_Read.m_Error;
  EXPECT_EQ(l_Read.m_Image->At(0x1800), 7);
  const FirmwareImageRead l_Missing = FirmwareImage::ReadFile(l_Folder / "missing.hex");
  EXPECT_FALSE(l_Missing.m_Image);
  EXPECT_NE(l_Missing.m_Error.find("missing.hex"), std::string::npos);
}

}  // namespace
