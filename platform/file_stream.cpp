#include "platform/file_stream.h"

#include <cerrno>
#include <sys/stat.h>

FILE* open_regular_file(const char* path, const char* mode) {
    if (!path) return nullptr;
    FILE* f = fopen(path, mode);
    if (!f) return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) return f;
    bool folder = fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
    fclose(f);
    errno = folder ? EISDIR : EINVAL;
    return nullptr;
}

StreamException::StreamException(const char* msg, int c) : code(c) {
    snprintf(message, sizeof(message), "%s", msg);
}

void FileStreamBase::close() {
    if (file) fclose(file);
    file = nullptr;
}

void FileStreamBase::requireOpen() const {
    if (!file) throw StreamException("file not opened", -1);
}

int64_t FileStreamBase::position() const {
    requireOpen();
    return int64_t(ftello(file));
}

void FileStreamBase::failAt(const char* msg) const {
    throw StreamException(msg, int(ftello(file)));
}

void FileStreamBase::seekTo(int64_t offset, int whence) {
    requireOpen();
    if (fseeko(file, off_t(offset), whence) != 0) failAt("file seek error");
}

bool FileInputStream::open(const char* path) {
    close();
    file = open_regular_file(path);
    return file != nullptr;
}

void FileInputStream::read(void* buffer, int count) {
    requireOpen();
    if (count < 0) throw StreamException("negative size in read()", -1);
    if (count > 0 && fread(buffer, 1, size_t(count), file) != size_t(count))
        failAt("error reading file");
}

bool FileOutputStream::open(const char* path) {
    close();
    file = path ? fopen(path, "wb") : nullptr;
    return file != nullptr;
}

void FileOutputStream::write(const void* buffer, int count) {
    requireOpen();
    if (count < 0) throw StreamException("negative size in write()", -1);
    if (count > 0 && fwrite(buffer, 1, size_t(count), file) != size_t(count))
        failAt("error writing file");
}
