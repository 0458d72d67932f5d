/* A stand-in ASPI library for the loader tests. FAKE_ADAPTERS sets the answer
   of the support-info entry so a test can tell which copy was loaded; with
   FAKE_WITHOUT_SEND the send entry is missing. */
#include <stdint.h>

__attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo(void) { return 0x0100u | FAKE_ADAPTERS; }

#ifndef FAKE_WITHOUT_SEND
__attribute__((visibility("default"))) uint32_t SendASPI32Command(void* request) {
  unsigned char* block = (unsigned char*)request;
  block[1] = 0x01; /* every request completes */
  return 0x01u;
}
#endif
