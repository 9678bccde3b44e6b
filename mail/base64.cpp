#include "mail/base64.h"

#include <fstream>

namespace mv {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

std::string TBase64Encoder::Encode(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(data[k])); };
  for (; i + 3 <= data.size(); i += 3) {
    const uint32_t v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 0x3F];
  }
  const size_t rest = data.size() - i;
  if (rest > 0) {
    const uint32_t v = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
    out += kAlphabet[(v >> 18) & 0x3F];
    out += kAlphabet[(v >> 12) & 0x3F];
    out += rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

void TBase64Encoder::EncodeLines(std::string_view data, std::string& out) {
  for (size_t i = 0; i < data.size(); i += kLineBytes) {
    out += Encode(data.substr(i, kLineBytes));
    out += "\r\n";
  }
}

bool TBase64Encoder::EncodeFile(const std::string& fileName, std::string& out) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  // A multiple of the line size, so every piece but the last ends a line.
  std::string buffer(kLineBytes * 1456, '\0');
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    EncodeLines(std::string_view(buffer.data(), static_cast<size_t>(in.gcount())), out);
  }
  return in.eof() && !in.bad();
}

}  // namespace mv
