// Fuzz harness for the two readers of the remote protocol: the reply
// reader of the client and the greeting and request readers of the server.
// Byte 0 picks the piece size the stream hands out, bit 0 of byte 1 the side.
// ./test runs it through tests/support/fuzzdriver.cpp; with libFuzzer, from
// the source root:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. tests/remote/fuzz/wire_fuzz.cpp remote/wire.cpp -o /tmp/wire_fuzz
//   /tmp/wire_fuzz -max_total_time=60 -rss_limit_mb=512 tests/remote/fuzz/seeds
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "remote/wire.h"

namespace {

// Hands out the input in pieces of a size the input chooses, so lines and
// integers also straddle the reader's buffer refills.
class MemoryStream : public mv::ByteStream {
 public:
  MemoryStream(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
  std::ptrdiff_t Receive(char* buf, size_t cap) override {
    const size_t n = std::min({cap, size_ - pos_, piece_});
    std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }
  bool SendAll(const char*, size_t) override { return true; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  size_t piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] * 97;
  const bool server = (data[1] & 1) != 0;
  MemoryStream stream(data + 2, size - 2, piece);
  mv::WireReader r(stream);
  if (!server) {
    std::vector<mv::FindData> entries;
    int32_t status = 0;
    while (mv::ReadListReply(r, entries, status)) entries.clear();
    return 0;
  }
  mv::ClientHello hello;
  if (!mv::ReadClientHello(r, hello)) return 0;
  for (int32_t code = 0; r.ReadInt(code);) {
    mv::ListRequest list;
    mv::FilterRequest filter;
    if (code == mv::kRequestList && !mv::ReadListRequest(r, list)) break;
    if (code == mv::kRequestFilter && !mv::ReadFilterRequest(r, filter)) break;
  }
  return 0;
}
