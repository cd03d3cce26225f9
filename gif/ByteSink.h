// Where the GIF writer puts its bytes: a file or memory. A failed write marks
// the sink failed and later writes are dropped, so the writer checks once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    void Write(const uint8_t* bytes, std::size_t n) {
        if (!failed_ && n > 0 && !Put(bytes, n)) failed_ = true;
    }
    void Byte(uint8_t b) { Write(&b, 1); }
    void Word(uint16_t w) {
        const uint8_t le[2] = {uint8_t(w & 0xFF), uint8_t(w >> 8)};
        Write(le, 2);
    }
    bool Failed() const { return failed_; }

  protected:
    virtual bool Put(const uint8_t* bytes, std::size_t n) = 0;
    void Fail() { failed_ = true; }

  private:
    bool failed_ = false;
};

class VectorSink : public ByteSink {
  public:
    std::vector<uint8_t> bytes;

  protected:
    bool Put(const uint8_t* p, std::size_t n) override {
        bytes.insert(bytes.end(), p, p + n);
        return true;
    }
};

// A file opened for binary writing, closed when the sink ends.
class FileSink : public ByteSink {
  public:
    explicit FileSink(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
        if (!file_) Fail();
    }
    ~FileSink() override { Close(); }
    // Closes the file; false when anything failed, flushing included.
    bool Close() {
        if (file_ && std::fclose(file_) != 0) Fail();
        file_ = nullptr;
        return !Failed();
    }

  protected:
    bool Put(const uint8_t* p, std::size_t n) override {
        return file_ && std::fwrite(p, 1, n, file_) == n;
    }

  private:
    std::FILE* file_;
};
