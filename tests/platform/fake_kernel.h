#pragma once
// A stand-in for open/close/ioctl: records what the pass-through asks of the
// kernel and answers SG_IO with a scripted status, sense and data.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <scsi/sg.h>
#include <set>
#include <string>
#include <vector>

#include "qvr/platform/pass_through.h"

struct FakeKernel {
  struct Answer {
    std::uint8_t status = 0;
    std::uint16_t host_status = 0;
    std::uint16_t driver_status = 0;
    std::vector<std::uint8_t> sense;
    std::vector<std::uint8_t> data_in;  // copied into the caller's buffer
    int ioctl_errno = 0;                // the ioctl itself fails
  };

  std::mutex mutex;
  std::map<std::string, int> open_errno_rw;  // node -> errno of an O_RDWR open
  std::map<std::string, int> open_errno_ro;  // node -> errno of an O_RDONLY open
  std::vector<std::string> opens;            // "node rw" / "node ro"
  int next_fd = 100;
  std::set<int> open_fds;
  int closes = 0;
  std::vector<sg_io_hdr_t> sg_calls;
  std::vector<std::vector<std::uint8_t>> cdbs;
  std::vector<std::vector<std::uint8_t>> data_out;
  bool record_data_out = true;  // off for long streams
  std::function<Answer(const std::vector<std::uint8_t>& cdb)> answer = [](const auto&) { return Answer{}; };
  // When set, answers instead of `answer` and also sees the data sent to the drive.
  std::function<Answer(const std::vector<std::uint8_t>& cdb, const std::uint8_t* data_out, std::uint32_t length)>
      answer_with_data;
  std::function<int(int fd, unsigned long request, void* arg)> other_ioctl = [](int, unsigned long, void*) {
    errno = ENOTTY;
    return -1;
  };

  qvr::platform::SystemCalls Calls() {
    return {
        [this](const char* path, int flags) {
          std::lock_guard lock(mutex);
          bool rw = (flags & O_ACCMODE) == O_RDWR;
          opens.push_back(std::string(path) + (rw ? " rw" : " ro"));
          auto& table = rw ? open_errno_rw : open_errno_ro;
          if (auto it = table.find(path); it != table.end() && it->second != 0) {
            errno = it->second;
            return -1;
          }
          int fd = next_fd++;
          open_fds.insert(fd);
          return fd;
        },
        [this](int fd) {
          std::lock_guard lock(mutex);
          ++closes;
          open_fds.erase(fd);
          return 0;
        },
        [this](int fd, unsigned long request, void* arg) {
          if (request != SG_IO) return other_ioctl(fd, request, arg);
          auto* hdr = static_cast<sg_io_hdr_t*>(arg);
          std::vector<std::uint8_t> cdb(hdr->cmdp, hdr->cmdp + hdr->cmd_len);
          Answer a;
          {
            std::lock_guard lock(mutex);
            if (!open_fds.count(fd)) {
              errno = EBADF;
              return -1;
            }
            sg_calls.push_back(*hdr);
            cdbs.push_back(cdb);
            if (hdr->dxfer_direction == SG_DXFER_TO_DEV && record_data_out) {
              auto* p = static_cast<std::uint8_t*>(hdr->dxferp);
              data_out.emplace_back(p, p + hdr->dxfer_len);
            }
          }
          if (answer_with_data) {
            const bool out = hdr->dxfer_direction == SG_DXFER_TO_DEV;
            a = answer_with_data(cdb, out ? static_cast<const std::uint8_t*>(hdr->dxferp) : nullptr,
                                 out ? hdr->dxfer_len : 0);
          } else {
            a = answer(cdb);
          }
          if (a.ioctl_errno) {
            errno = a.ioctl_errno;
            return -1;
          }
          hdr->status = a.status;
          hdr->masked_status = a.status >> 1;
          hdr->host_status = a.host_status;
          hdr->driver_status = a.driver_status;
          std::size_t n = std::min<std::size_t>(a.sense.size(), hdr->mx_sb_len);
          if (n) std::memcpy(hdr->sbp, a.sense.data(), n);
          hdr->sb_len_wr = static_cast<unsigned char>(n);
          if (hdr->dxfer_direction == SG_DXFER_FROM_DEV) {
            std::size_t m = std::min<std::size_t>(a.data_in.size(), hdr->dxfer_len);
            if (m) std::memcpy(hdr->dxferp, a.data_in.data(), m);
            hdr->resid = static_cast<int>(hdr->dxfer_len - m);
          }
          return 0;
        },
    };
  }
};
