// SendCommand and its two deliveries (SG_IO on the drive node, or the ASPI
// library with a completion event), the transfer ring and the command log.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <sys/time.h>

#include "qvr/data/scsi_device.h"

namespace qvr::data {

TSCSIDevice::TSCSIDevice() = default;
TSCSIDevice::~TSCSIDevice() { CloseDevice(*this); }

namespace {

const std::array<std::string, 256>& CommandNames() {
  static const std::array<std::string, 256> names = [] {
    std::array<std::string, 256> n;
    const std::pair<uint8_t, const char*> table[] = {
        {0x00, "TEST UNIT READY"},      {0x01, "REWIND UNIT"},          {0x03, "REQUEST SENSE"},
        {0x04, "FORMAT UNIT"},          {0x12, "INQUIRY"},              {0x1B, "START STOP UNIT"},
        {0x1E, "PREVENT/ALLOW REMOVAL"}, {0x23, "READ FORMAT CAPACITIES"}, {0x25, "READ CAPACITY"},
        {0x28, "READ (10)"},            {0x2A, "WRITE (10)"},           {0x2B, "SEEK (10)"},
        {0x2E, "WRITE AND VERIFY (10)"}, {0x2F, "VERIFY (10)"},         {0x35, "SYNCHRONIZE CACHE"},
        {0x42, "READ SUB-CHANNEL"},     {0x43, "READ TOC/PMA/ATIP"},    {0x45, "PLAY AUDIO (10)"},
        {0x46, "GET CONFIGURATION"},    {0x47, "PLAY AUDIO MSF"},       {0x4A, "GET EVENT/STATUS NOTIF"},
        {0x4B, "PAUSE/RESUME"},         {0x4E, "STOP PLAY/SCAN"},       {0x51, "READ DISC INFORMATION"},
        {0x52, "READ TRACK INFORMATION"}, {0x53, "RESERVE TRACK"},      {0x54, "SEND OPC INFORMATION"},
        {0x55, "MODE SELECT (10)"},     {0x58, "REPAIR TRACK"},         {0x5A, "MODE SENSE (10)"},
        {0x5B, "CLOSE TRACK/SESSION"},  {0x5C, "READ BUFFER CAPACITY"}, {0x5D, "SEND CUE SHEET"},
        {0xA1, "BLANK"},                {0xA2, "SEND EVENT"},           {0xA3, "SEND KEY"},
        {0xA4, "REPORT KEY"},           {0xA5, "PLAY AUDIO (12)"},      {0xA6, "LOAD/UNLOAD CD/DVD"},
        {0xA7, "SET READ AHEAD"},       {0xA8, "READ (12)"},            {0xAA, "WRITE (12)"},
        {0xAC, "GET PERFORMANCE"},      {0xAD, "READ DVD STRUCTURE"},   {0xB6, "SET STREAMING"},
        {0xB9, "READ CD MSF"},          {0xBA, "SCAN"},                 {0xBB, "SET CD SPEED"},
        {0xBD, "MECHANISM STATUS"},     {0xBE, "READ CD"},              {0xBF, "SEND DVD STRUCTURE"},
    };
    for (const auto& [code, name] : table) {
      std::string padded = name;
      padded.resize(22, ' ');
      n[code] = padded;
    }
    return n;
  }();
  return names;
}

uint8_t Deliver(TSCSIDevice& device, TSCSIRequest& request) {
  if (device.UsePassThrough) return SendPassThrough(device, request);
  if (!device.SendASPICommand) return kRequestError;
  return static_cast<uint8_t>(device.SendASPICommand(&request.srb));
}

}  // namespace

const std::string& CommandName(uint8_t opcode) { return CommandNames()[opcode]; }

void LogText(TSCSIDevice& device, const std::string& text) {
  if (!device.LogStream) return;
  std::fwrite(text.data(), 1, text.size(), device.LogStream);
  std::fflush(device.LogStream);
}

bool OpenCommandLog(TSCSIDevice& device, const std::string& path, bool truncate) {
  CloseCommandLog(device);
  device.LogStream = std::fopen(path.c_str(), truncate ? "wb" : "ab");
  return device.LogStream != nullptr;
}

void CloseCommandLog(TSCSIDevice& device) {
  if (device.LogStream) std::fclose(device.LogStream);
  device.LogStream = nullptr;
}

std::string CommandLogLine(const TSCSIDevice& device, const TSCSIRequest& request, int minute, int second,
                           int millisecond) {
  const aspi::SRB_ExecSCSICmd& s = request.srb;
  std::string line;
  char buffer[160];
  if (reinterpret_cast<std::uintptr_t>(s.SRB_BufPointer) % 4 != 0) line += "- NAL -> ";
  std::snprintf(buffer, sizeof buffer, "%.2d:%.2d:%.3d %s (%.2x) {%.2x:%.2x} - %.1x:%.1x:%.1x <%.2x> [%.5x] ",
                minute, second, millisecond, CommandName(s.CDBByte[0]).c_str(), s.CDBByte[0], s.SRB_Flags,
                s.SRB_CDBLen, s.SRB_HaId, s.SRB_Target, s.SRB_Lun, s.SRB_Status, s.SRB_BufLen);
  line += buffer;
  for (int i = 1; i < 16; ++i) {
    std::snprintf(buffer, sizeof buffer, "%.2x ", s.CDBByte[i]);
    line += buffer;
  }
  line += "| ";
  const uint32_t shown = s.SRB_BufPointer ? std::min<uint32_t>(100, s.SRB_BufLen) : 0;
  for (uint32_t i = 0; i < shown; ++i) {
    std::snprintf(buffer, sizeof buffer, "%.2x ", s.SRB_BufPointer[i]);
    line += buffer;
  }
  const uint8_t* sense = SenseArea(request);
  std::snprintf(buffer, sizeof buffer, "%.2x:%.2x", sense[12], sense[13]);
  line += buffer;
  if (device.UsePassThrough) line += ", " + std::to_string(device.LastOSError);
  line += "\r\n";
  return line;
}

uint8_t SendCommand(TSCSIDevice& device, TSCSIRequest& request) {
  aspi::SRB_ExecSCSICmd& s = request.srb;
  if (!device.Initialised || device.HostAdapter == 255 || device.Target == 255) {
    s.SRB_Status = kRequestError;
    return kRequestError;
  }
  aspi::AspiEvent event;
  s.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
  s.SRB_HaId = device.HostAdapter;
  s.SRB_Target = device.Target;
  s.SRB_Lun = device.Lun;
  s.SRB_SenseLen = kSenseRequestLength;
  s.SRB_Flags |= aspi::SRB_EVENT_NOTIFY;
  s.SRB_PostProc = &event;
  if (device.SeekQuirk && s.CDBByte[0] == 0x2B) s.CDBByte[2] = s.CDBByte[3] = 0;

  if (Deliver(device, request) == kRequestPending) {
    while (!event.Wait(std::chrono::hours(24))) {
    }
  }
  event.Reset();
  s.SRB_PostProc = nullptr;

  if (device.LogStream) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    const std::time_t now = tv.tv_sec;
    localtime_r(&now, &tm);
    LogText(device, CommandLogLine(device, request, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000)));
  }
  device.Busy = s.SRB_Status != kRequestPending && s.SRB_Status != kRequestDone &&
                s.SRB_TargStat == aspi::STATUS_BUSY;
  const uint8_t* sense = SenseArea(request);
  std::copy(sense, sense + kSenseAreaBytes, device.Sense.begin());
  if (sense[12] != 0) device.LastSense.store(static_cast<uint16_t>(sense[12] << 8 | sense[13]));
  return s.SRB_Status;
}

void CloseDriveNode(TSCSIDevice& device) {
  if (device.Node) device.Node->Close();
}

void SetCloseAfterCommand(TSCSIDevice& device, bool on) {
  device.CloseAfterCommand = on;
  if (device.Node) device.Node->SetCloseAfterCommand(on);
}

uint8_t SendPassThrough(TSCSIDevice& device, TSCSIRequest& request) {
  aspi::SRB_ExecSCSICmd& s = request.srb;
  const int slot = device.SelectedSlot;
  const std::string node = slot >= 0 && slot < kDeviceSlots ? device.Slots[slot].Node : std::string();
  if (!device.Node || device.Node->node() != node) {
    device.Node = std::make_unique<platform::PassThroughDevice>(node, device.Calls);
  }
  device.Node->SetCloseAfterCommand(device.CloseAfterCommand);

  uint8_t sense[kSenseAreaBytes] = {};
  platform::PassThroughCommand command;
  command.cdb = s.CDBByte;
  command.cdb_length = s.SRB_CDBLen;
  command.direction = (s.SRB_Flags & aspi::SRB_DIR_IN)    ? platform::Direction::kIn
                      : (s.SRB_Flags & aspi::SRB_DIR_OUT) ? platform::Direction::kOut
                                                          : platform::Direction::kNone;
  command.data = s.SRB_BufPointer;
  command.data_length = s.SRB_BufLen;
  command.sense = sense;
  command.sense_capacity = s.SRB_SenseLen ? s.SRB_SenseLen : kSenseRequestLength;
  command.timeout_ms = 12000u * 1000u;
  const platform::PassThroughResult result = device.Node->Execute(command);
  device.LastOSError = result.os_error;

  if (result.outcome == platform::Outcome::kGood) {
    s.SRB_Status = kRequestDone;
    s.SRB_HaStat = aspi::HASTAT_OK;
    s.SRB_TargStat = aspi::STATUS_GOOD;
  } else {
    s.SRB_Status = kRequestError;
    std::copy(sense, sense + kSenseRequestLength, SenseArea(request));
    s.SRB_TargStat = result.scsi_status;
    s.SRB_HaStat = result.outcome == platform::Outcome::kTimeout     ? aspi::HASTAT_COMMAND_TIMEOUT
                   : result.outcome == platform::Outcome::kHostError ? aspi::HASTAT_SEL_TO
                                                                     : aspi::HASTAT_OK;
  }
  return s.SRB_Status;
}

void CloseDevice(TSCSIDevice& device) {
  CloseCommandLog(device);
  device.Node.reset();
}

uint64_t TransferTicksNow() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void ClearTransferRing(TSCSIDevice& device) {
  std::lock_guard lock(device.RingMutex);
  device.Ring = TransferRing{};
  device.Ring.msPerTick = 1000.0 / 1e9;
}

void RecordTransfer(TSCSIDevice& device, uint64_t bytes, uint64_t ticks) {
  std::lock_guard lock(device.RingMutex);
  TransferRing& r = device.Ring;
  if (r.index < 0 || r.index >= TransferRing::kSize) r.index = 0;
  r.bytes[static_cast<std::size_t>(r.index)] = bytes;
  r.ticks[static_cast<std::size_t>(r.index)] = ticks;
  r.index = (r.index + 1) % TransferRing::kSize;
}

uint32_t TransferRate(const TSCSIDevice& device) {
  std::lock_guard lock(device.RingMutex);
  const TransferRing& r = device.Ring;
  uint64_t bytes = 0, ticks = 0;
  for (int i = 0; i < TransferRing::kSize; ++i) {
    bytes += r.bytes[static_cast<std::size_t>(i)];
    ticks += r.ticks[static_cast<std::size_t>(i)];
  }
  const double ms = static_cast<double>(ticks) * r.msPerTick;
  if (bytes == 0 || ms <= 0) return 0;
  return static_cast<uint32_t>(std::min(4.0e9, std::ceil(static_cast<double>(bytes) * 1000.0 / ms)));
}

}  // namespace qvr::data
