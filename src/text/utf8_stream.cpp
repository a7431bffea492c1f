#include "text/utf8_stream.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string_view>

#include "platform/platform.h"
#include "text/utf8.h"

namespace {

constexpr std::size_t fileBufferChars = 1 << 16;
constexpr std::size_t consoleBufferChars = 1 << 14;
constexpr std::size_t readChunkBytes = 1 << 16;
// A wide unit encodes to at most four bytes (a 16-bit unit to at most three,
// plus one U+FFFD for a first half left over from the drain before).
constexpr std::size_t maxUtf8BytesPerUnit = 4;
// Room for the bytes that a chunk leaves undelivered (Utf8LineReader::fill).
constexpr std::size_t carryBytes = 8;

}  // namespace

Utf8OutputBuf::Utf8OutputBuf(std::size_t capacity)
    : wide_(capacity, L'\0'),
      bytes_(std::make_unique<char[]>(capacity * maxUtf8BytesPerUnit)) {
  setp(wide_.data(), wide_.data() + wide_.size());
}

bool Utf8OutputBuf::drain() {
  char* out = bytes_.get();
  for (const wchar_t* p = pbase(); p != pptr(); ++p) {
    auto v = static_cast<char32_t>(*p);
    if (v < 0x80 && pendingHigh_ == 0) {
      *out++ = static_cast<char>(v);
      continue;
    }
    if constexpr (sizeof(wchar_t) == 2) {
      if (pendingHigh_ != 0) {
        const auto high = static_cast<char32_t>(pendingHigh_);
        pendingHigh_ = 0;
        if (v >= 0xDC00 && v <= 0xDFFF) {
          out = putUtf8(0x10000 + ((high - 0xD800) << 10) + (v - 0xDC00), out);
          continue;
        }
        out = putUtf8(0xFFFD, out);
      }
      if (v >= 0xD800 && v <= 0xDBFF) {
        pendingHigh_ = *p;
        continue;
      }
    }
    out = putUtf8(v, out);
  }
  setp(wide_.data(), wide_.data() + wide_.size());
  const auto size = static_cast<std::size_t>(out - bytes_.get());
  return size == 0 || writeBytes(std::string_view(bytes_.get(), size));
}

bool Utf8OutputBuf::writeUtf8(std::string_view bytes) {
  if (!drain()) return false;
  if (pendingHigh_ != 0) {  // a first half that no second half follows
    pendingHigh_ = 0;
    char replacement[4];
    if (!writeBytes(std::string_view(replacement,
                                     static_cast<std::size_t>(
                                         putUtf8(0xFFFD, replacement) - replacement)))) {
      return false;
    }
  }
  return bytes.empty() || writeBytes(bytes);
}

Utf8OutputBuf::int_type Utf8OutputBuf::overflow(int_type ch) {
  if (!drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
  }
  return traits_type::not_eof(ch);
}

int Utf8OutputBuf::sync() { return drain() && flushBytes() ? 0 : -1; }

Utf8FileWriter::Buf::Buf() : Utf8OutputBuf(fileBufferChars) {}

bool Utf8FileWriter::Buf::writeBytes(std::string_view bytes) {
  if (!file.is_open()) return false;
  if (file.sputn(bytes.data(), static_cast<std::streamsize>(bytes.size())) !=
      static_cast<std::streamsize>(bytes.size())) {
    failed = true;
  }
  return !failed;
}

bool Utf8FileWriter::Buf::flushBytes() {
  if (!file.is_open() || file.pubsync() != 0) failed = true;
  return !failed;
}

bool Utf8FileWriter::Buf::finish() {
  drain();
  if (file.pubsync() != 0) failed = true;
  if (file.close() == nullptr) failed = true;
  return !failed;
}

Utf8FileWriter::Utf8FileWriter() : std::wostream(&buf_) {}

Utf8FileWriter::~Utf8FileWriter() {
  if (is_open()) close();
}

bool Utf8FileWriter::open(const std::filesystem::path& path) {
  buf_.failed = false;
  if (!platform::openForWriting(buf_.file, path,
                                std::ios_base::out | std::ios_base::trunc |
                                    std::ios_base::binary)) {
    setstate(std::ios_base::failbit);
    return false;
  }
  clear();
  return true;
}

bool Utf8FileWriter::is_open() const { return buf_.file.is_open(); }

void Utf8FileWriter::writeUtf8(std::string_view bytes) {
  if (!good()) return;
  if (!buf_.writeUtf8(bytes)) setstate(std::ios_base::badbit);
}

bool Utf8FileWriter::close() {
  if (!is_open()) return false;
  const bool ok = buf_.finish();
  if (!ok) setstate(std::ios_base::badbit);
  return ok;
}

Utf8Console::Buf::Buf(int stream)
    : Utf8OutputBuf(consoleBufferChars), stream_(stream) {}

bool Utf8Console::Buf::writeBytes(std::string_view bytes) {
  platform::writeConsole(stream_, bytes);
  return true;  // a console that went away is ignored
}

Utf8Console::Utf8Console() : out_(1), err_(2) {
  platform::initConsole();
  oldOut_ = std::wcout.rdbuf(&out_);
  oldErr_ = std::wcerr.rdbuf(&err_);
}

Utf8Console::~Utf8Console() {
  std::wcout.flush();
  std::wcerr.flush();
  std::wcout.rdbuf(oldOut_);
  std::wcerr.rdbuf(oldErr_);
}

Utf8LineReader::Utf8LineReader()
    : buffer_(std::make_unique<char[]>(readChunkBytes + carryBytes)) {}

bool Utf8LineReader::open(const std::filesystem::path& path) {
  if (file_.is_open()) file_.close();
  size_ = begin_ = checked_ = 0;
  lineFeeds_ = 0;
  eof_ = false;
  bad_ = false;
  return platform::openForReading(file_, path, std::ios_base::binary);
}

bool Utf8LineReader::fill() {
  if (eof_ || bad_) return false;
  // Keep what is not delivered yet: a few checked bytes at most, and the
  // start of a sequence that the next bytes complete.
  const std::size_t tail = size_ - begin_;
  std::memmove(buffer_.get(), buffer_.get() + begin_, tail);
  size_ = tail;
  checked_ -= begin_;
  begin_ = 0;
  const std::streamsize got = file_.is_open()
      ? file_.sgetn(buffer_.get() + size_, readChunkBytes) : 0;
  if (got <= 0) {
    eof_ = true;
    bad_ = checked_ < size_;  // a sequence cut off by the end of the file
    return false;
  }
  size_ += static_cast<std::size_t>(got);
  const std::string_view bytes(buffer_.get(), size_);
  checked_ += validUtf8Prefix(bytes.substr(checked_));
  if (checked_ < size_) {
    char32_t ignored = 0;
    // An incomplete sequence at the end waits for more bytes.
    if (scanUtf8Sequence(bytes.substr(checked_), ignored) != -1) bad_ = true;
  }
  return true;
}

bool Utf8LineReader::skipByteOrderMark() {
  constexpr std::string_view mark = "\xEF\xBB\xBF";
  while (checked_ - begin_ < mark.size() && fill()) {
  }
  if (checked_ - begin_ < mark.size() ||
      std::string_view(buffer_.get() + begin_, mark.size()) != mark) {
    return false;
  }
  begin_ += mark.size();
  return true;
}

bool Utf8LineReader::readLine(std::string& line) {
  line.clear();
  for (;;) {
    const char* start = buffer_.get() + begin_;
    const std::size_t available = checked_ - begin_;
    if (available > 0) {
      const auto* lf = static_cast<const char*>(std::memchr(start, '\n', available));
      if (lf != nullptr) {
        const auto length = static_cast<std::size_t>(lf - start);
        line.append(start, length);
        begin_ += length + 1;
        ++lineFeeds_;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      line.append(start, available);
      begin_ = checked_;
    }
    if (!fill()) return !line.empty();
  }
}
