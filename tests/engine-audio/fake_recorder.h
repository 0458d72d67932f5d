#pragma once
// A small CD recorder behind the stand-in kernel: enough MMC for the audio
// engine's selection, disc checks and write jobs, with the faults the tests
// need. It records every command and the sectors written.

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "fake_kernel.h"
#include "qvr/audio/aspi_layer.h"

struct FakeRecorder {
  FakeKernel kernel;
  std::mutex mutex;
  // Medium.
  std::uint16_t profile = 0x0009;  // CD-R
  std::uint8_t disc_status = 0;    // 0 empty, 1 incomplete, 2 complete
  bool erasable = false;
  // Faults.
  bool refuse_cue = false;
  int long_write_answers = 0;  // WRITE (10) answered "long write in progress" this many times
  std::int32_t write_error_lba = INT32_MIN;
  int not_ready_answers = 0;  // TEST UNIT READY and READ DISC INFORMATION: "becoming ready" this many times
  bool speed_fields_zero = false;  // page 2Ah reports write speeds of 0
  // What happened.
  std::vector<std::uint8_t> opcodes;
  std::vector<std::uint8_t> cue_sheet;
  std::map<std::int32_t, std::vector<std::uint8_t>> sectors;  // LBA -> 2352 bytes
  std::vector<std::int32_t> write_lbas;  // start LBA of every successful WRITE (10)
  int write_attempts = 0;
  std::uint8_t write_type = 0;  // page 05h byte 2 as last selected
  std::int32_t next_writable = 0;
  int closed_sessions = 0;

  FakeRecorder() {
    kernel.record_data_out = false;
    kernel.answer_with_data = [this](const std::vector<std::uint8_t>& cdb, const std::uint8_t* out,
                                     std::uint32_t length) { return Answer(cdb, out, length); };
  }

  qvr::audio::AspiLayer::Environment Environment() {
    return {
        [] {
          qvr::platform::OpticalDrive d;
          d.node = "/dev/sr0";
          d.letter = 'D';
          d.address = qvr::platform::ScsiAddress{1, 0, 0, 0};
          return std::vector<qvr::platform::OpticalDrive>{d};
        },
        kernel.Calls(),
        [](qvr::platform::AspiLibrary&, const std::string&) -> std::optional<qvr::audio::AspiLayer::EntryPoints> {
          return std::nullopt;
        },
    };
  }

  std::size_t Count(std::uint8_t opcode) {
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count(opcodes.begin(), opcodes.end(), opcode));
  }

  // The bytes written from LBA `from` on, in LBA order, while sectors follow each other.
  std::vector<std::uint8_t> Stream(std::int32_t from) {
    std::lock_guard lock(mutex);
    std::vector<std::uint8_t> out;
    for (auto it = sectors.find(from); it != sectors.end() && it->first == from; ++it, ++from) {
      out.insert(out.end(), it->second.begin(), it->second.end());
    }
    return out;
  }

 private:
  static FakeKernel::Answer Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    FakeKernel::Answer a;
    a.status = 0x02;
    a.driver_status = qvr::platform::kDriverSense;
    a.sense.assign(18, 0);
    a.sense[0] = 0x70;
    a.sense[2] = key;
    a.sense[7] = 10;
    a.sense[12] = asc;
    a.sense[13] = ascq;
    return a;
  }

  static void Be32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    v[at] = x >> 24;
    v[at + 1] = x >> 16;
    v[at + 2] = x >> 8;
    v[at + 3] = x;
  }

  FakeKernel::Answer Answer(const std::vector<std::uint8_t>& cdb, const std::uint8_t* out, std::uint32_t length) {
    std::lock_guard lock(mutex);
    opcodes.push_back(cdb[0]);
    FakeKernel::Answer a;
    if ((cdb[0] == 0x00 || cdb[0] == 0x51) && not_ready_answers > 0) {
      --not_ready_answers;
      return Sense(2, 0x04, 0x01);
    }
    switch (cdb[0]) {
      case 0x12: {  // INQUIRY
        a.data_in.assign(96, ' ');
        a.data_in[0] = 0x05;
        a.data_in[1] = 0x80;
        std::memcpy(a.data_in.data() + 8, "QVR     FAKE RECORDER   1.00", 28);
        break;
      }
      case 0x46: {  // GET CONFIGURATION
        a.data_in.assign(16, 0);
        a.data_in[6] = profile >> 8;
        a.data_in[7] = profile & 0xFF;
        a.data_in[9] = cdb[3];
        break;
      }
      case 0x51: {  // READ DISC INFORMATION
        a.data_in.assign(34, 0);
        a.data_in[1] = 32;
        a.data_in[2] = static_cast<std::uint8_t>(disc_status | (erasable ? 0x10 : 0));
        break;
      }
      case 0x52: {  // READ TRACK INFORMATION of the invisible track
        a.data_in.assign(40, 0);
        a.data_in[2] = 1;
        a.data_in[6] = 0x40;
        a.data_in[7] = 0x01;
        Be32(a.data_in, 8, static_cast<std::uint32_t>(next_writable));
        Be32(a.data_in, 12, static_cast<std::uint32_t>(next_writable));
        break;
      }
      case 0x5A: {  // MODE SENSE (10)
        a.data_in.assign(8 + 60, 0);
        std::uint8_t page = cdb[2] & 0x3F;
        if (page != 0x2A && page != 0x05) return Sense(5, 0x24, 0);
        a.data_in[8] = page;
        if (page == 0x2A) {
          a.data_in[9] = 0x1C;
          a.data_in[8 + 3] = 0x03;   // writes CD-R and CD-RW
          a.data_in[8 + 4] = 0x80;   // buffer underrun protection
          a.data_in[8 + 19] = 0x90;  // 7056 kB/s
          a.data_in[8 + 18] = 0x1B;
          a.data_in[8 + 21] = 0x90;
          a.data_in[8 + 20] = 0x1B;
          if (speed_fields_zero) {
            for (int i = 18; i < 22; ++i) a.data_in[8 + i] = 0;
          }
        } else {
          a.data_in[9] = 0x32;
        }
        break;
      }
      case 0x55:  // MODE SELECT (10)
        if (out && length >= 11) write_type = out[8 + 2];
        break;
      case 0x5D:  // SEND CUE SHEET
        if (refuse_cue) return Sense(5, 0x26, 0);
        cue_sheet.assign(out, out + length);
        break;
      case 0x2A: {  // WRITE (10)
        ++write_attempts;
        if (long_write_answers > 0) {
          --long_write_answers;
          return Sense(2, 0x04, 0x08);
        }
        const auto lba = static_cast<std::int32_t>(cdb[2] << 24 | cdb[3] << 16 | cdb[4] << 8 | cdb[5]);
        const int blocks = cdb[7] << 8 | cdb[8];
        if (write_error_lba >= lba && write_error_lba < lba + blocks) return Sense(3, 0x0C, 0);
        for (int i = 0; i < blocks; ++i) sectors[lba + i].assign(out + i * 2352, out + (i + 1) * 2352);
        write_lbas.push_back(lba);
        next_writable = lba + blocks;
        break;
      }
      case 0x35:  // SYNCHRONIZE CACHE closes a track-at-once track
        if ((write_type & 0x0F) == 1 && !write_lbas.empty()) next_writable += 2 + 150;
        break;
      case 0x5B:  // CLOSE TRACK/SESSION
        if (cdb[2] == 2) ++closed_sessions;
        break;
      case 0x5C: {  // READ BUFFER CAPACITY
        a.data_in.assign(12, 0);
        Be32(a.data_in, 4, 2 * 1024 * 1024);
        Be32(a.data_in, 8, 0xFFFFFFFF);
        break;
      }
      case 0x03:  // REQUEST SENSE: nothing pending
        a.data_in.assign(18, 0);
        a.data_in[0] = 0x70;
        break;
      case 0x43:
        return Sense(5, 0x24, 0);
      default:
        break;
    }
    return a;
  }
};
