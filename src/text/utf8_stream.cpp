#include "text/utf8_stream.h"

#include <algorithm>
#include <iostream>

#include "platform/platform.h"
#include "text/utf8.h"

namespace {

constexpr std::size_t fileBufferChars = 1 << 16;
constexpr std::size_t consoleBufferChars = 1 << 14;
constexpr std::size_t readChunkBytes = 1 << 16;

}  // namespace

Utf8OutputBuf::Utf8OutputBuf(std::size_t capacity) : wide_(capacity, L'\0') {
  setp(wide_.data(), wide_.data() + wide_.size());
}

bool Utf8OutputBuf::drain() {
  bytes_.clear();
  for (const wchar_t* p = pbase(); p != pptr(); ++p) {
    auto v = static_cast<char32_t>(*p);
    if constexpr (sizeof(wchar_t) == 2) {
      if (pendingHigh_ != 0) {
        const auto high = static_cast<char32_t>(pendingHigh_);
        pendingHigh_ = 0;
        if (v >= 0xDC00 && v <= 0xDFFF) {
          appendUtf8(0x10000 + ((high - 0xD800) << 10) + (v - 0xDC00), bytes_);
          continue;
        }
        appendUtf8(0xFFFD, bytes_);
      }
      if (v >= 0xD800 && v <= 0xDBFF) {
        pendingHigh_ = *p;
        continue;
      }
    }
    appendUtf8(v, bytes_);
  }
  setp(wide_.data(), wide_.data() + wide_.size());
  return bytes_.empty() || writeBytes(bytes_);
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

bool Utf8FileWriter::Buf::writeBytes(const std::string& bytes) {
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
  if (buf_.file.open(path, std::ios_base::out | std::ios_base::trunc |
                               std::ios_base::binary) == nullptr) {
    setstate(std::ios_base::failbit);
    return false;
  }
  clear();
  return true;
}

bool Utf8FileWriter::is_open() const { return buf_.file.is_open(); }

bool Utf8FileWriter::close() {
  if (!is_open()) return false;
  const bool ok = buf_.finish();
  if (!ok) setstate(std::ios_base::badbit);
  return ok;
}

Utf8Console::Buf::Buf(int stream)
    : Utf8OutputBuf(consoleBufferChars), stream_(stream) {}

bool Utf8Console::Buf::writeBytes(const std::string& bytes) {
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

bool Utf8FileReader::open(const std::filesystem::path& path) {
  raw_.clear();
  decoded_.clear();
  setg(nullptr, nullptr, nullptr);
  lineFeeds_ = 0;
  eof_ = false;
  bad_ = false;
  return platform::openForReading(file_, path, std::ios_base::binary);
}

Utf8FileReader::int_type Utf8FileReader::underflow() {
  if (gptr() != egptr()) return traits_type::to_int_type(*gptr());
  decoded_.clear();
  while (decoded_.empty() && !bad_ && !(eof_ && raw_.empty())) {
    if (!eof_) {
      const std::size_t old = raw_.size();
      raw_.resize(old + readChunkBytes);
      const std::streamsize got = file_.is_open()
          ? file_.sgetn(raw_.data() + old, readChunkBytes) : 0;
      raw_.resize(old + static_cast<std::size_t>(std::max<std::streamsize>(got, 0)));
      if (got <= 0) eof_ = true;
    }
    // Keep a trailing CR back until the next byte shows whether an LF follows.
    std::size_t usable = raw_.size();
    if (!eof_ && usable > 0 && raw_[usable - 1] == '\r') --usable;
    std::wstring text;
    const std::size_t used =
        decodeUtf8Prefix(std::string_view(raw_).substr(0, usable), text);
    if (used < usable) {
      char32_t ignored = 0;
      const int state =
          scanUtf8Sequence(std::string_view(raw_).substr(used, usable - used), ignored);
      // An incomplete sequence at the end of a chunk waits for more bytes;
      // anything else, or a sequence cut off by the end of file, is bad.
      if (state != -1 || eof_) bad_ = true;
    }
    raw_.erase(0, used);
    decoded_.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
      if (text[i] == L'\n') ++lineFeeds_;
      decoded_.push_back(text[i]);
    }
    if (bad_) break;
  }
  if (decoded_.empty()) return traits_type::eof();
  setg(decoded_.data(), decoded_.data(), decoded_.data() + decoded_.size());
  return traits_type::to_int_type(*gptr());
}
