#include "remote/wire.h"

#include <algorithm>
#include <cstring>

namespace mv {

// --- WireReader -----------------------------------------------------------------

bool WireReader::Fill() {
  if (pos_ == end_) pos_ = end_ = 0;
  const std::ptrdiff_t n = stream_.Receive(buf_.data() + end_, buf_.size() - end_);
  if (n <= 0) return false;
  end_ += static_cast<std::size_t>(n);
  return true;
}

bool WireReader::ReadInt(int32_t& value) {
  unsigned char bytes[4];
  for (unsigned char& b : bytes) {
    if (pos_ == end_ && !Fill()) return false;
    b = static_cast<unsigned char>(buf_[pos_++]);
  }
  value = static_cast<int32_t>((uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                               (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]});
  return true;
}

bool WireReader::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    if (pos_ == end_ && !Fill()) return false;
    const char* begin = buf_.data() + pos_;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', end_ - pos_));
    const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - begin) : end_ - pos_;
    // The CR of CR LF is still part of the text here, hence the + 1.
    if (line.size() + take > kMaxLineBytes + 1) return false;
    line.append(begin, take);
    pos_ += take;
    if (lf != nullptr) {
      ++pos_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line.size() <= kMaxLineBytes;
    }
  }
}

// --- WireWriter -----------------------------------------------------------------

void WireWriter::Int(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 8), static_cast<char>(v)};
  out_.append(bytes, 4);
  FlushIfLarge();
}

void WireWriter::Line(std::string_view text) {
  out_.append(text);
  out_.append("\r\n");
  FlushIfLarge();
}

void WireWriter::FlushIfLarge() {
  if (out_.size() >= 64 * 1024) Flush();
}

bool WireWriter::Flush() {
  if (ok_ && !out_.empty()) ok_ = stream_.SendAll(out_.data(), out_.size());
  out_.clear();
  return ok_;
}

bool LineSafe(std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; }

// --- Greeting -------------------------------------------------------------------

void WriteServerHello(WireWriter& w) {
  w.Line(kServerName);
  w.Line(kServerVersion);
}

bool ReadServerHello(WireReader& r) {
  std::string line;
  return r.ReadLine(line) && r.ReadLine(line);
}

void WriteClientHello(WireWriter& w, const ClientHello& hello) {
  w.Line(hello.Name);
  w.Line(hello.Version);
  w.Int(hello.Number);
}

bool ReadClientHello(WireReader& r, ClientHello& hello) {
  return r.ReadLine(hello.Name) && r.ReadLine(hello.Version) && r.ReadInt(hello.Number);
}

// --- Requests -------------------------------------------------------------------

bool ReadListRequest(WireReader& r, ListRequest& request) {
  return r.ReadLine(request.Path) && r.ReadLine(request.Mask) && r.ReadInt(request.Hint);
}

bool ReadFilterRequest(WireReader& r, FilterRequest& request) {
  return r.ReadLine(request.IncludeFileNames) && r.ReadLine(request.ExcludeFileNames) &&
         r.ReadLine(request.IncludeDirNames) && r.ReadLine(request.ExcludeDirNames);
}

bool WriteListRequest(WireWriter& w, const ListRequest& request) {
  if (!LineSafe(request.Path) || !LineSafe(request.Mask)) return false;
  w.Int(kRequestList);
  w.Line(request.Path);
  w.Line(request.Mask);
  w.Int(request.Hint);
  return true;
}

bool WriteFilterRequest(WireWriter& w, const FilterRequest& request) {
  for (const std::string* text : {&request.IncludeFileNames, &request.ExcludeFileNames,
                                  &request.IncludeDirNames, &request.ExcludeDirNames})
    if (!LineSafe(*text)) return false;
  w.Int(kRequestFilter);
  w.Line(request.IncludeFileNames);
  w.Line(request.ExcludeFileNames);
  w.Line(request.IncludeDirNames);
  w.Line(request.ExcludeDirNames);
  return true;
}

// --- Replies --------------------------------------------------------------------

void WriteListReply(WireWriter& w, int32_t status, const std::vector<ReplyEntry>& entries) {
  if (status < 0) {
    w.Int(status);
  } else {
    w.Int(static_cast<int32_t>(entries.size()));
    for (const ReplyEntry& e : entries) {
      w.Int(e.Time);
      w.Int(e.Size);
      w.Int(e.Attr);
      w.Line(e.Name);
    }
  }
  w.Int(kEndOfReply);
}

bool ReadEndOfReply(WireReader& r) {
  int32_t end = 0;
  return r.ReadInt(end) && end == kEndOfReply;
}

namespace {

bool ReadEntries(WireReader& r, int32_t count, const std::function<void(FindData&&)>& each) {
  if (count > kMaxReplyEntries) return false;
  std::size_t nameBytes = 0;
  for (int32_t i = 0; i < count; ++i) {
    int32_t time = 0, size = 0, attr = 0;
    FindData found;
    if (!r.ReadInt(time) || !r.ReadInt(size) || !r.ReadInt(attr) || !r.ReadLine(found.Name))
      return false;
    nameBytes += found.Name.size();
    if (nameBytes > kMaxReplyNameBytes) return false;
    found.Time = static_cast<uint32_t>(time);
    found.Size = static_cast<uint32_t>(size);
    found.Attr = static_cast<uint32_t>(attr);
    each(std::move(found));
  }
  return true;
}

}  // namespace

bool ReadListReply(WireReader& r, const std::function<void(FindData&&)>& each, int32_t& status) {
  int32_t count = 0;
  if (!r.ReadInt(count)) return false;
  status = count < 0 ? count : 0;
  if (count < 0) return count >= kMinReplyStatus && ReadEndOfReply(r);
  return ReadEntries(r, count, each) && ReadEndOfReply(r);
}

bool ReadListReply(WireReader& r, std::vector<FindData>& entries, int32_t& status) {
  const std::size_t before = entries.size();
  if (ReadListReply(r, [&entries](FindData&& found) { entries.push_back(std::move(found)); }, status)) return true;
  entries.resize(before);  // half a listing must not pass for a short one
  return false;
}

}  // namespace mv
