#pragma once
// Base64 (standard alphabet, "=" padding) for mail attachments.

#include <string>
#include <string_view>

namespace mv {

class TBase64Encoder {
 public:
  // Bytes per encoded line: 45 give one line of 60 characters.
  static constexpr size_t kLineBytes = 45;

  // data encoded without line breaks.
  static std::string Encode(std::string_view data);

  // data as MIME lines: each 45-byte group one line + CR LF, the last line
  // shorter and padded. Appended to out.
  static void EncodeLines(std::string_view data, std::string& out);

  // The file's content as EncodeLines gives it, appended to out. False when
  // the file cannot be opened or read (out then holds part of it).
  static bool EncodeFile(const std::string& fileName, std::string& out);
};

}  // namespace mv
