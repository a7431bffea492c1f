#pragma once

// Streams that carry UTF-8 bytes: output files and the console are written
// as UTF-8 whatever the process locale, and scenario files are read as lines
// of checked UTF-8 bytes in text mode (CR LF arrives as LF).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

// A wide stream buffer that encodes what it is given as UTF-8 and hands the
// bytes to writeBytes(). A value that is no Unicode scalar value is written
// as U+FFFD, so one bad character never loses the rest of a line.
class Utf8OutputBuf : public std::wstreambuf {
 public:
  explicit Utf8OutputBuf(std::size_t capacity);
  ~Utf8OutputBuf() override = default;

  // Hand over what is buffered, then `bytes`, which are UTF-8 already.
  // Return false when they could not be written.
  bool writeUtf8(std::string_view bytes);

 protected:
  int_type overflow(int_type ch) override;
  int sync() override;
  // Take the encoded bytes; return false when they could not be written.
  virtual bool writeBytes(std::string_view bytes) = 0;
  // Push what writeBytes() took on to its destination (a flush).
  virtual bool flushBytes() { return true; }
  // Encode and hand over everything buffered so far.
  bool drain();

 private:
  std::wstring wide_;
  std::unique_ptr<char[]> bytes_;  // room for the encoding of all of wide_
  wchar_t pendingHigh_ = 0;  // first half of a surrogate pair (16-bit wchar_t)
};

// A wide output file written as UTF-8 in binary mode (every "\n" one LF byte).
class Utf8FileWriter : public std::wostream {
 public:
  Utf8FileWriter();
  ~Utf8FileWriter() override;

  // Open `path` for output, truncating it. Return false when it does not
  // open or names anything but a regular file (after following links).
  bool open(const std::filesystem::path& path);
  bool is_open() const;
  // Write `bytes`, which are UTF-8 already, after what the stream holds,
  // without the wide-stream machinery. Like `<<`, do nothing once the stream
  // has failed, and set badbit when the write fails.
  void writeUtf8(std::string_view bytes);
  // Write out what is buffered and close the file. Return false when any
  // write or the close failed; the stream then also has badbit set.
  bool close();

 private:
  class Buf : public Utf8OutputBuf {
   public:
    Buf();
    std::filebuf file;
    bool failed = false;
    bool finish();

   protected:
    bool writeBytes(std::string_view bytes) override;
    bool flushBytes() override;
  };
  Buf buf_;
};

// Routes std::wcout and std::wcerr through UTF-8 writers to the console for
// its lifetime and puts the original buffers back, flushed, when destroyed.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  class Buf : public Utf8OutputBuf {
   public:
    explicit Buf(int stream);

   protected:
    bool writeBytes(std::string_view bytes) override;

   private:
    int stream_;
  };
  Buf out_;
  Buf err_;
  std::wstreambuf* oldOut_;
  std::wstreambuf* oldErr_;
};

// Reads a file as lines of UTF-8 bytes in text mode. A line ends at an LF,
// which is not part of it, nor is a CR directly before that LF (a lone CR
// stays); text after the last LF is a last line when it is not empty.
// Reading ends, as at the end of the file, at the first byte sequence that is
// not UTF-8 (a sequence cut off by the end of the file included); the text of
// the line before it is still delivered. Only a buffer of fixed size is held
// besides the line being read.
class Utf8LineReader {
 public:
  Utf8LineReader();

  // Open `path` for reading, forgetting any earlier file. Return false when
  // it does not open; a folder does not open.
  bool open(const std::filesystem::path& path);
  bool is_open() const { return file_.is_open(); }
  void close() { file_.close(); }

  // Take a byte-order mark (EF BB BF) that starts the unread text. Return
  // whether one was taken.
  bool skipByteOrderMark();

  // Replace `line` by the next line. Return false, with `line` empty, when
  // no line is left.
  bool readLine(std::string& line);

  // True once reading has stopped at bytes that are not UTF-8.
  bool stoppedAtBadBytes() const { return bad_; }
  // The number (from 1) of the line in which the bad bytes stand, once all
  // lines before them have been read.
  std::int64_t badLine() const { return lineFeeds_ + 1; }

 private:
  // Read the next chunk and check it. Return false when nothing more can be
  // read: at the end of the file or after bad bytes.
  bool fill();

  std::filebuf file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_ = 0;     // bytes in buffer_
  std::size_t begin_ = 0;    // first byte not yet delivered
  std::size_t checked_ = 0;  // end of the bytes known to be whole UTF-8
  std::int64_t lineFeeds_ = 0;  // LF bytes delivered so far
  bool eof_ = false;
  bool bad_ = false;
};
