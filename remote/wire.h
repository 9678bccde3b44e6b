#pragma once
// The byte forms of the remote listing protocol, and the readers and
// writers of its greeting, requests and replies.
//
// Line: the text followed by CR LF; read up to LF, the CR LF removed.
// Integer: 32-bit two's complement, most significant byte first.
//
// Limits of what a reader accepts from its peer (beyond them the request
// fails and the connection is dropped, so a broken or hostile peer costs
// bounded memory):
// - a line holds at most kMaxLineBytes bytes before its LF;
// - a listing reply holds at most kMaxReplyEntries entries and at most
//   kMaxReplyNameBytes bytes of names in all;
// - a negative entry count is an error status only from -1 down to
//   kMinReplyStatus; anything below is a broken reply;
// - every reply and request ends with kEndOfReply where the protocol puts it.
// Names that contain CR or LF cannot travel in a line; the server leaves
// such entries out of its replies rather than corrupt the stream.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/finddata.h"
#include "remote/socket.h"

namespace mv {

inline constexpr uint16_t kRemotePort = 52001;
inline constexpr const char* kServerName = "Mirava Server 0.503";
inline constexpr const char* kServerVersion = "00005030";
inline constexpr const char* kMinClientVersion = "00005031";
inline constexpr const char* kClientName = "Mirava Client 0.503";
inline constexpr const char* kClientVersion = "00005031";
inline constexpr int32_t kRequestList = 1;
inline constexpr int32_t kRequestFilter = 17;
inline constexpr int32_t kEndOfReply = 65535;

inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
inline constexpr int32_t kMaxReplyEntries = 1'000'000;
inline constexpr std::size_t kMaxReplyNameBytes = 128u * 1024 * 1024;
inline constexpr int32_t kMinReplyStatus = -65535;

// Buffered reading of lines and integers from a stream.
class WireReader {
 public:
  explicit WireReader(ByteStream& stream) : stream_(stream) {}
  // False at the end of the stream, on an error or time-out.
  bool ReadInt(int32_t& value);
  // False as ReadInt, and for a line longer than kMaxLineBytes.
  bool ReadLine(std::string& line);
  // Bytes received but not read yet.
  std::size_t Buffered() const { return end_ - pos_; }

 private:
  bool Fill();

  ByteStream& stream_;
  std::array<char, 16 * 1024> buf_{};
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

// Collects lines and integers and sends them in large pieces.
class WireWriter {
 public:
  explicit WireWriter(ByteStream& stream) : stream_(stream) {}
  void Int(int32_t value);
  // The line must not contain CR or LF (see LineSafe).
  void Line(std::string_view text);
  // Sends what is collected; false once any send has failed.
  bool Flush();

 private:
  void FlushIfLarge();

  ByteStream& stream_;
  std::string out_;
  bool ok_ = true;
};

// True when text can travel as one line.
bool LineSafe(std::string_view text);

// --- Greeting ----------------------------------------------------------------

struct ClientHello {
  std::string Name;
  std::string Version;
  int32_t Number = 0;
};

void WriteServerHello(WireWriter& w);
bool ReadServerHello(WireReader& r);  // both lines read, not examined
void WriteClientHello(WireWriter& w, const ClientHello& hello);
bool ReadClientHello(WireReader& r, ClientHello& hello);

// --- Requests (server side reads them) -------------------------------------------

struct ListRequest {
  std::string Path;
  std::string Mask;
  int32_t Hint = 0;
};

struct FilterRequest {
  std::string IncludeFileNames;
  std::string ExcludeFileNames;
  std::string IncludeDirNames;
  std::string ExcludeDirNames;
};

// The fields after the request code. False: the connection is broken.
bool ReadListRequest(WireReader& r, ListRequest& request);
bool ReadFilterRequest(WireReader& r, FilterRequest& request);

// The whole request with its code. False when a text cannot travel as a line.
bool WriteListRequest(WireWriter& w, const ListRequest& request);
bool WriteFilterRequest(WireWriter& w, const FilterRequest& request);

// --- Replies (client side reads them) ----------------------------------------------

// One entry of a listing reply.
struct ReplyEntry {
  int32_t Time = 0;
  int32_t Size = 0;
  int32_t Attr = 0;
  std::string Name;
};

// A listing reply: count, records, closing integer. A negative status is
// sent without records.
void WriteListReply(WireWriter& w, int32_t status, const std::vector<ReplyEntry>& entries);

// Reads a listing reply, appending its entries, and sets status to 0 or
// the (negative) status the server sent. False, with nothing appended, when
// the reply breaks the protocol or its limits: the connection is then of no
// further use.
bool ReadListReply(WireReader& r, std::vector<FindData>& entries, int32_t& status);
// The same, handing each entry to `each` as it is read; on false `each` may
// have seen some of them.
bool ReadListReply(WireReader& r, const std::function<void(FindData&&)>& each, int32_t& status);

// Reads the closing integer of a reply; false unless it is kEndOfReply.
bool ReadEndOfReply(WireReader& r);

}  // namespace mv
