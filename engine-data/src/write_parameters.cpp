#include "qvr/data/write_parameters.h"

#include <algorithm>
#include <cstring>

#include "qvr/data/byte_fields.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"

namespace qvr::data {

namespace {

void SetWriteType(std::vector<uint8_t>& p, uint8_t type) { p[2] = static_cast<uint8_t>((p[2] & 0xF0) | type); }
void SetTrackMode(std::vector<uint8_t>& p, uint8_t mode) { p[3] = static_cast<uint8_t>((p[3] & 0xF0) | mode); }
void SetMultiSession(std::vector<uint8_t>& p, bool on) { p[3] = static_cast<uint8_t>((p[3] & 0x3F) | (on ? 0xC0 : 0)); }
void SetFixedPacket(std::vector<uint8_t>& p, bool on) { p[3] = static_cast<uint8_t>((p[3] & ~0x20) | (on ? 0x20 : 0)); }
void SetLinkSizeValid(std::vector<uint8_t>& p, bool on) { p[2] = static_cast<uint8_t>((p[2] & ~0x20) | (on ? 0x20 : 0)); }
void SetBufe(std::vector<uint8_t>& p, bool on) { p[2] = static_cast<uint8_t>((p[2] & ~0x40) | (on ? 0x40 : 0)); }
void SetPacketSize(std::vector<uint8_t>& p, uint32_t size) { Put32BE(p.data() + 10, size); }

}  // namespace

std::vector<uint8_t> BuildWriteParametersPage(uint8_t pageLength, const WriteParameterChoice& c) {
  std::vector<uint8_t> p(std::max<std::size_t>(pageLength + 2u, 16), 0);
  const uint8_t m = c.mediaType;
  p[0] = 0x05;
  p[1] = pageLength;
  p[2] = 0x42;
  p[3] = 0xC4;
  p[4] = 0x08;
  Put16BE(p.data() + 14, 150);

  SetWriteType(p, 1);  // track at once, mode 1
  p[4] = 8;
  p[8] = 0;
  SetTrackMode(p, 4);
  if (m == MediaDdcdR || m == MediaDdcdRw) {
    SetWriteType(p, 2);
    SetTrackMode(p, 5);
  } else if (m == MediaDvdR || m == 7 || m == MediaDvdRwRestricted || m == MediaDvdRwSequential) {
    SetWriteType(p, 0);  // incremental
    SetTrackMode(p, 5);
  }
  if (!c.testWrite) SetMultiSession(p, c.multiSession);
  if (m == MediaDvdR) {
    SetMultiSession(p, true);
    SetFixedPacket(p, true);
    SetPacketSize(p, 16);
    p[5] = 16;
    SetLinkSizeValid(p, true);
  } else if (m == MediaDvdRwRestricted || m == MediaDvdRwSequential) {
    SetMultiSession(p, true);
    SetFixedPacket(p, false);
    SetPacketSize(p, 16);
    p[5] = 16;
    SetLinkSizeValid(p, true);
  }
  p[4] = 8;
  if (m == MediaDvdPlusRw || m == MediaDvdPlusR) {
    SetWriteType(p, 2);
    SetTrackMode(p, 4);
    p[6] = 0;
    SetLinkSizeValid(p, true);
    p[5] = 16;
    if (m == MediaDvdPlusRw) {
      SetFixedPacket(p, false);
      SetPacketSize(p, 0);
    } else if (c.multiSession) {
      SetFixedPacket(p, true);
      SetPacketSize(p, 16);
    } else {
      SetFixedPacket(p, false);
      SetPacketSize(p, 0);
      p[5] = 0;
    }
  }
  if (m == MediaDvdPlusRDl) {
    SetWriteType(p, 2);
    SetTrackMode(p, 4);
    p[6] = 0;
    SetLinkSizeValid(p, true);
    p[5] = 0;
    SetFixedPacket(p, false);
    SetPacketSize(p, 0);
    SetMultiSession(p, c.multiSession);
  } else {
    SetBufe(p, c.burnProof && c.underrunProtection);
  }
  // Without buffer-underrun protection asked for, the page never carries BUFE.
  if (!c.burnProof) SetBufe(p, false);
  Put16BE(p.data() + 14, 150);
  if (c.testWrite) p[2] |= 0x10;
  p.resize(pageLength + 2u);
  return p;
}

bool SendWriteParameters(TSCSIDevice& d, bool testWrite, bool burnProof, bool multiSession, uint8_t mediaType) {
  uint8_t* b = d.DataBuffer.data();
  if (!ModeSense10(d, 0x05, false, b, 512)) return false;
  const std::size_t at = b[8] == 0x05 ? 8 : 16;
  if ((b[at] & 0x3F) != 0x05) return false;
  const uint8_t pageLength = b[at + 1];
  WriteParameterChoice choice{testWrite, burnProof, multiSession, mediaType, (d.CapsPage[4] & 0x80) != 0};
  const std::vector<uint8_t> page = BuildWriteParametersPage(pageLength, choice);
  std::memcpy(b + at, page.data(), page.size());
  // The mode data length is reserved in MODE SELECT.
  b[0] = b[1] = 0;
  return ModeSelect10(d, b, static_cast<uint16_t>(at + pageLength + 2));
}

}  // namespace qvr::data
