// Binary file streams. Every failure throws the stream's Exception record.
#pragma once

#include <cstdint>
#include <cstdio>

// fopen for reading that refuses anything but a regular file: a folder opens on Linux and
// its size reads as about 8 EiB. Null (errno EISDIR or EINVAL) as for a missing file.
FILE* open_regular_file(const char* path, const char* mode = "rb");

struct StreamException {
    char message[512]; // at most 511 characters
    int code;          // file position at the failure, or -1

    StreamException(const char* msg, int code);
};

class InputStream {
  public:
    using Exception = StreamException;
    virtual ~InputStream() = default;
    virtual void read(void* buffer, int count) = 0;
    virtual int64_t tell() = 0;
    virtual void seek(int64_t pos) = 0;       // from the start
    virtual void seekCur(int64_t offset) = 0; // from the current position
    virtual void seekEnd(int64_t offset) = 0; // from the end
};

class OutputStream {
  public:
    using Exception = StreamException;
    virtual ~OutputStream() = default;
    virtual void write(const void* buffer, int count) = 0;
    virtual int64_t tell() = 0;
    virtual void seek(int64_t pos) = 0;
    virtual void seekCur(int64_t offset) = 0;
    virtual void seekEnd(int64_t offset) = 0;
};

// Shared handle logic of the two file streams.
class FileStreamBase {
  public:
    bool isOpen() const { return file != nullptr; }
    void close();

  protected:
    FileStreamBase() = default;
    ~FileStreamBase() { close(); }
    FileStreamBase(const FileStreamBase&) = delete;
    FileStreamBase& operator=(const FileStreamBase&) = delete;

    void requireOpen() const;
    int64_t position() const;
    void seekTo(int64_t offset, int whence);
    [[noreturn]] void failAt(const char* msg) const;

    FILE* file = nullptr;
};

class FileInputStream : public InputStream, public FileStreamBase {
  public:
    FileInputStream() = default;
    explicit FileInputStream(const char* path) { open(path); }
    bool open(const char* path);
    void read(void* buffer, int count) override;
    int64_t tell() override { return position(); }
    void seek(int64_t pos) override { seekTo(pos, SEEK_SET); }
    void seekCur(int64_t offset) override { seekTo(offset, SEEK_CUR); }
    void seekEnd(int64_t offset) override { seekTo(offset, SEEK_END); }
};

class FileOutputStream : public OutputStream, public FileStreamBase {
  public:
    FileOutputStream() = default;
    explicit FileOutputStream(const char* path) { open(path); }
    bool open(const char* path); // creates or truncates
    void write(const void* buffer, int count) override;
    int64_t tell() override { return position(); }
    void seek(int64_t pos) override { seekTo(pos, SEEK_SET); }
    void seekCur(int64_t offset) override { seekTo(offset, SEEK_CUR); }
    void seekEnd(int64_t offset) override { seekTo(offset, SEEK_END); }
};
