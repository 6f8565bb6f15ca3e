#include "sources/compressed_source.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/failure.h"

namespace pdsplit {

namespace {

constexpr std::size_t kInputBlock = std::size_t{256} << 10;

// Reads the compressed bytes of the raw file in blocks, with what has been
// read but not yet taken by the decompressor. The first bytes, read to
// recognise the compression, are handed out first.
class RawInput {
 public:
  RawInput(std::unique_ptr<Source> raw, std::string head, const std::string& name)
      : raw_(std::move(raw)), buffer_(std::move(head)), name_(name) {}

  // The unread bytes; refilled when empty. Empty at the end of the file.
  std::string_view pending() {
    if (taken_ == buffer_.size() && !at_end_) fill();
    return std::string_view(buffer_).substr(taken_);
  }
  void take(std::size_t n) { taken_ += n; }
  bool at_end() const { return at_end_ && taken_ == buffer_.size(); }
  const std::string& name() const { return name_; }

 private:
  void fill() {
    buffer_.resize(kInputBlock);
    taken_ = 0;
    for (;;) {
      long got = raw_->read(buffer_.data(), buffer_.size());
      if (got == -EINTR) continue;
      if (got < 0)
        throw stop_with_message("Error! Cannot read " + name_ + ": " +
                                std::strerror(static_cast<int>(-got)));
      buffer_.resize(static_cast<std::size_t>(got));
      if (got == 0) at_end_ = true;
      return;
    }
  }

  std::unique_ptr<Source> raw_;
  std::string buffer_;
  std::size_t taken_ = 0;
  bool at_end_ = false;
  std::string name_;
};

[[noreturn]] void fail_damaged(const std::string& name, const std::string& what) {
  throw stop_with_message("Error! Cannot read " + name + ": " + what);
}

// The three decompressors differ only in their library calls: each turns
// the pending compressed bytes into text, stream after stream (files made by
// concatenating archives, as parallel compressors do, hold several).
class Decompressor : public Source {
 public:
  explicit Decompressor(RawInput input) : input_(std::move(input)) {}

  long read(char* out, std::size_t size) final {
    std::size_t done = 0;
    while (done == 0 && !finished_) {
      std::string_view in = input_.pending();
      if (in.empty()) {
        // The compressed data ended inside a stream, or after the last.
        if (in_stream_) fail_damaged(input_.name(), "the compressed file is cut short");
        if (padding_unit() != 0 && padding_ % padding_unit() != 0)
          fail_damaged(input_.name(), "its stream padding is damaged");
        finished_ = true;
        break;
      }
      if (!in_stream_) {
        // Zero bytes after a stream are padding where the format allows
        // them (gzip ignores them at the end, xz pads in groups of four).
        if (padding_unit() != 0 && in.front() == '\0') {
          std::size_t zeros = in.find_first_not_of('\0');
          if (zeros == std::string_view::npos) zeros = in.size();
          input_.take(zeros);
          padding_ += zeros;
          continue;
        }
        if (padding_ % (padding_unit() != 0 ? padding_unit() : 1) != 0)
          fail_damaged(input_.name(), "its stream padding is damaged");
        padding_ = 0;
        start_stream();
        in_stream_ = true;
      }
      std::size_t used = 0;
      bool stream_end = step(in, used, out + done, size - done, done);
      input_.take(used);
      if (stream_end) in_stream_ = false;
    }
    return static_cast<long>(done);
  }
  std::optional<std::uint64_t> size() const final { return std::nullopt; }

 protected:
  // Begins a stream (the first, or one that follows another).
  virtual void start_stream() = 0;
  // Decompresses from `in` into out[0, room): adds the bytes made to
  // `made`, sets `used` to the bytes of `in` consumed; true at the end of a
  // stream. A Failure for damaged data.
  virtual bool step(std::string_view in, std::size_t& used, char* out, std::size_t room,
                    std::size_t& made) = 0;
  const std::string& name() const { return input_.name(); }
  // The zero bytes may follow a stream in groups of this many (0: none).
  virtual std::size_t padding_unit() const { return 0; }

 private:
  RawInput input_;
  std::uint64_t padding_ = 0;  // zero bytes since the last stream
  bool in_stream_ = false;
  bool finished_ = false;
};

class GzipSource final : public Decompressor {
 public:
  using Decompressor::Decompressor;
  ~GzipSource() override {
    if (started_) inflateEnd(&z_);
  }

 private:
  std::size_t padding_unit() const override { return 1; }
  void start_stream() override {
    if (started_) {
      inflateReset(&z_);
      return;
    }
    z_ = z_stream{};
    if (inflateInit2(&z_, 15 + 16) != Z_OK) fail_damaged(name(), "zlib cannot start");
    started_ = true;
  }
  bool step(std::string_view in, std::size_t& used, char* out, std::size_t room,
            std::size_t& made) override {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 1u << 30));
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = static_cast<uInt>(std::min<std::size_t>(room, 1u << 30));
    int status = inflate(&z_, Z_NO_FLUSH);
    used = in.size() > 0 ? static_cast<std::size_t>(reinterpret_cast<const char*>(z_.next_in) - in.data()) : 0;
    made += static_cast<std::size_t>(reinterpret_cast<char*>(z_.next_out) - out);
    if (status == Z_STREAM_END) return true;
    if (status == Z_MEM_ERROR) fail_damaged(name(), "not enough memory to decompress it");
    if (status != Z_OK && status != Z_BUF_ERROR)
      fail_damaged(name(), std::string("the gzip data is damaged (") +
                               (z_.msg != nullptr ? z_.msg : "zlib error") + ")");
    return false;
  }

  z_stream z_{};
  bool started_ = false;
};

class XzSource final : public Decompressor {
 public:
  using Decompressor::Decompressor;
  ~XzSource() override { lzma_end(&s_); }

 private:
  std::size_t padding_unit() const override { return 4; }
  void start_stream() override {
    lzma_end(&s_);
    s_ = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&s_, UINT64_MAX, 0) != LZMA_OK)
      fail_damaged(name(), "liblzma cannot start");
  }
  bool step(std::string_view in, std::size_t& used, char* out, std::size_t room,
            std::size_t& made) override {
    s_.next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    s_.avail_in = in.size();
    s_.next_out = reinterpret_cast<std::uint8_t*>(out);
    s_.avail_out = room;
    lzma_ret status = lzma_code(&s_, LZMA_RUN);
    used = in.size() - s_.avail_in;
    made += room - s_.avail_out;
    if (status == LZMA_STREAM_END) return true;
    switch (status) {
      case LZMA_OK:
      case LZMA_BUF_ERROR:
        return false;
      case LZMA_MEM_ERROR:
      case LZMA_MEMLIMIT_ERROR:
        fail_damaged(name(), "not enough memory to decompress it");
      case LZMA_FORMAT_ERROR:
        fail_damaged(name(), "the data after its first xz stream is no xz data");
      case LZMA_OPTIONS_ERROR:
        fail_damaged(name(), "it uses xz options this build cannot read");
      default:
        fail_damaged(name(), "the xz data is damaged");
    }
    return false;
  }

  lzma_stream s_ = LZMA_STREAM_INIT;
};

class Bzip2Source final : public Decompressor {
 public:
  using Decompressor::Decompressor;
  ~Bzip2Source() override {
    if (started_) BZ2_bzDecompressEnd(&b_);
  }

 private:
  void start_stream() override {
    if (started_) BZ2_bzDecompressEnd(&b_);
    b_ = bz_stream{};
    if (BZ2_bzDecompressInit(&b_, 0, 0) != BZ_OK) fail_damaged(name(), "libbz2 cannot start");
    started_ = true;
  }
  bool step(std::string_view in, std::size_t& used, char* out, std::size_t room,
            std::size_t& made) override {
    b_.next_in = const_cast<char*>(in.data());
    b_.avail_in = static_cast<unsigned>(std::min<std::size_t>(in.size(), 1u << 30));
    b_.next_out = out;
    b_.avail_out = static_cast<unsigned>(std::min<std::size_t>(room, 1u << 30));
    int status = BZ2_bzDecompress(&b_);
    used = static_cast<std::size_t>(b_.next_in - in.data());
    made += static_cast<std::size_t>(b_.next_out - out);
    if (status == BZ_STREAM_END) return true;
    if (status == BZ_MEM_ERROR) fail_damaged(name(), "not enough memory to decompress it");
    if (status != BZ_OK) fail_damaged(name(), "the bzip2 data is damaged");
    return false;
  }

  bz_stream b_{};
  bool started_ = false;
};

// Reads up to `size` first bytes of `raw`, less only at its end.
std::string read_head(Source& raw, std::size_t size, const std::string& name) {
  std::string head(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    long n = raw.read(head.data() + got, size - got);
    if (n == -EINTR) continue;
    if (n < 0)
      throw stop_with_message("Error! Cannot read " + name + ": " +
                              std::strerror(static_cast<int>(-n)));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return head;
}

// A plain file whose first bytes were read to look at them: hands them out
// first, then the rest of the file.
class PlainSource final : public Source {
 public:
  PlainSource(std::unique_ptr<Source> raw, std::string head)
      : raw_(std::move(raw)), head_(std::move(head)) {}
  long read(char* out, std::size_t size) override {
    if (given_ < head_.size()) {
      std::size_t n = std::min(size, head_.size() - given_);
      std::memcpy(out, head_.data() + given_, n);
      given_ += n;
      return static_cast<long>(n);
    }
    return raw_->read(out, size);
  }
  std::optional<std::uint64_t> size() const override { return raw_->size(); }

 private:
  std::unique_ptr<Source> raw_;
  std::string head_;
  std::size_t given_ = 0;
};

}  // namespace

Compression compression_of(std::string_view head) {
  if (head.size() >= 2 && head[0] == '\x1f' && head[1] == '\x8b') return Compression::Gzip;
  if (head.size() >= 6 && head.substr(0, 6) == std::string_view("\xfd" "7zXZ\0", 6))
    return Compression::Xz;
  if (head.size() >= 3 && head.substr(0, 3) == "BZh") return Compression::Bzip2;
  return Compression::None;
}

std::unique_ptr<Source> decompressed(std::unique_ptr<Source> raw, const std::string& name,
                                     Compression* compression) {
  std::string head = read_head(*raw, 6, name);
  Compression found = compression_of(head);
  if (compression != nullptr) *compression = found;
  switch (found) {
    case Compression::Gzip:
      return std::make_unique<GzipSource>(RawInput(std::move(raw), std::move(head), name));
    case Compression::Xz:
      return std::make_unique<XzSource>(RawInput(std::move(raw), std::move(head), name));
    case Compression::Bzip2:
      return std::make_unique<Bzip2Source>(RawInput(std::move(raw), std::move(head), name));
    case Compression::None:
      break;
  }
  return std::make_unique<PlainSource>(std::move(raw), std::move(head));
}

}  // namespace pdsplit
