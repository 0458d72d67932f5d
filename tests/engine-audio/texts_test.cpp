#include <gtest/gtest.h>

#include <cstring>

#include "qvr/audio/request.h"
#include "qvr/audio/sense_texts.h"

using namespace qvr::audio;

namespace {

std::array<std::uint8_t, kSenseRoom> Sense(std::uint8_t code, std::uint8_t key_byte, std::uint8_t asc,
                                           std::uint8_t ascq, std::uint8_t additional = 10) {
  std::array<std::uint8_t, kSenseRoom> s{};
  s[0] = code;
  s[2] = key_byte;
  s[7] = additional;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

}  // namespace

TEST(Texts, StatusOfRequests) {
  struct Case {
    std::uint8_t status, host, target;
    const char* text;
  } cases[] = {
      {0x00, 0, 0, ""},
      {0x01, 0, 0, ""},
      {0x02, 0, 0, "OPERATION ABORTED BY USER"},
      {0x04, 0, 0x02, "CHECK CONDITION"},
      {0x04, 0, 0x08, "TARGET BUSY"},
      {0x04, 0, 0x18, "TARGET RESERVATION CONFLICT"},
      {0x04, 0, 0x28, "TARGET QUEUE FULL"},
      {0x04, 9, 0, "COMMAND TIMEOUT"},
      {0x04, 11, 0, "SRB TIMEOUT"},
      {0x04, 17, 0, "SELECTION TIMEOUT"},
      {0x04, 19, 0, "UNEXPECTED BUS FREE"},
      {0x80, 0, 0, "INVALID REQUEST"},
      {0x82, 0, 0, "NO DEVICE"},
      {0xE6, 0, 0, "BUFFER TOO BIG"},
      {0xE2, 0, 0, "UNKNOWN"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusText(c.status, c.host, c.target), c.text) << int(c.status) << "/" << int(c.host);
  }
}

TEST(Texts, FailedRequestTextFromSense) {
  struct Case {
    std::array<std::uint8_t, kSenseRoom> sense;
    const char* text;
  } cases[] = {
      {Sense(0x70, 0x02, 0x04, 0x08), "NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)"},
      {Sense(0xF0, 0x05, 0x21, 0x00), "ILLEGAL REQUEST (LOGICAL BLOCK ADDRESS OUT OF RANGE)"},
      {Sense(0x71, 0x03, 0x73, 0x03), "MEDIUM ERROR (POWER CALIBRATION AREA ERROR)"},
      {Sense(0x70, 0x05, 0x24, 0x00, 0), "ILLEGAL REQUEST"},  // no additional sense: no detail
      {Sense(0x70, 0x02, 0xEE, 0x07), "NOT READY (238,7)"},   // unknown pair in decimal
      {Sense(0x70, 0x0A, 0x3A, 0x01), "COPYABORTED (MEDIUM NOT PRESENT - TRAY CLOSED)"},
      {Sense(0x70, 0x09, 0x00, 0x00), "CHECK CONDITION (NO ADDITIONAL SENSE INFORMATION)"},
      {Sense(0x70, 0x80, 0x00, 0x00), "FILEMARK (NO ADDITIONAL SENSE INFORMATION)"},
      {Sense(0x70, 0x40, 0x00, 0x02), "END OF MEDIA (END-OF-PARTITION/MEDIUM DETECTED)"},
      {Sense(0x70, 0x20, 0x00, 0x00, 0), "ILLEGAL LENGTH"},
      {Sense(0x70, 0x00, 0x00, 0x00, 0), "NO ADDITIONAL SENSE INFORMATION"},
      {Sense(0x72, 0x05, 0x24, 0x00, 0), "UNKNOWN"},  // descriptor format
      {Sense(0x00, 0x05, 0x24, 0x00, 0), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorTextOf(0x04, 0, 0x02, c.sense.data()), c.text);
  }
  // A non-sense failure keeps its status text.
  EXPECT_EQ(ErrorTextOf(0x04, 0, 0x08, Sense(0x70, 2, 4, 8).data()), "TARGET BUSY");
}

TEST(Texts, AdditionalSenseTableIsSortedAndLarge) {
  EXPECT_GE(AdditionalSenseTextCount(), 250u);
  EXPECT_EQ(AdditionalSenseText(0x24, 0x00), "INVALID FIELD IN CDB");
  EXPECT_EQ(AdditionalSenseText(0x00, 0x00), "NO ADDITIONAL SENSE INFORMATION");
  EXPECT_EQ(AdditionalSenseText(0x73, 0x17), "RDZ IS FULL");
  EXPECT_EQ(AdditionalSenseText(0x24, 0x7F), "");
  // Every entry is found by the lookup, which relies on the order.
  int found = 0;
  for (int asc = 0; asc < 256; ++asc) {
    for (int ascq = 0; ascq < 256; ++ascq) {
      std::string t = AdditionalSenseText(static_cast<std::uint8_t>(asc), static_cast<std::uint8_t>(ascq));
      if (t.empty()) continue;
      ++found;
      for (char ch : t) EXPECT_FALSE(ch >= 'a' && ch <= 'z') << t;
    }
  }
  EXPECT_EQ(static_cast<std::size_t>(found), AdditionalSenseTextCount());
}

TEST(Texts, CommandNames) {
  EXPECT_EQ(CommandName(0x5D), "SEND CUE SHEET        ");
  EXPECT_EQ(CommandName(0x4A), "GET EVENT/STATUS NOTIF");
  EXPECT_EQ(CommandName(0x01), "REWIND UNIT           ");
  EXPECT_EQ(CommandName(0x02), "02");
  EXPECT_EQ(CommandName(0xFE), "FE");
  for (int op = 0; op < 256; ++op) {
    std::size_t n = CommandName(static_cast<std::uint8_t>(op)).size();
    EXPECT_TRUE(n == 22 || n == 2) << op;
  }
}

TEST(Texts, RoutineFailures) {
  for (std::uint8_t op : {0x00, 0x12, 0x1B, 0x46, 0x51, 0x52, 0x5A, 0x5C, 0xBB}) {
    EXPECT_TRUE(IsRoutineFailure(op, 0x24, 0)) << int(op);
  }
  for (std::uint8_t op : {0x2A, 0x5D, 0x5B, 0x54}) EXPECT_FALSE(IsRoutineFailure(op, 0x24, 0)) << int(op);
  EXPECT_TRUE(IsRoutineFailure(0x2A, 0x04, 0x08)) << "long write in progress is routine";
}

TEST(Texts, ErrorReportLine) {
  RequestBlock block;
  std::uint8_t data[3] = {0xAB, 0xCD, 0xEF};
  block.srb.SRB_Flags = 0x50;
  block.srb.SRB_CDBLen = 10;
  block.srb.SRB_BufLen = 3;
  block.srb.SRB_BufPointer = data;
  block.srb.CDBByte[0] = 0x5D;
  block.srb.CDBByte[8] = 0x30;
  RequestOutcome outcome;
  outcome.status = 0x04;
  outcome.target_status = 0x02;
  outcome.sense = Sense(0x70, 0x05, 0x26, 0x00);
  outcome.error_text = "ILLEGAL REQUEST (INVALID FIELD IN PARAMETER LIST)";
  EXPECT_EQ(ErrorReportLine(block, 1, 10, 0, outcome),
            "<<< SEND CUE SHEET         (5D) {50|0A} - 1:A:0 <04> [00003] "
            "00 00 00 00 00 00 00 30 00 00 00 00 00 00 00  |AB CD EF = 00 02 70 05 ASC:26,ASQ:00 "
            "ILLEGAL REQUEST (INVALID FIELD IN PARAMETER LIST)");
}
