#include "audio/sf2/CMappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hml::audio {

std::unique_ptr<CMappedFile> CMappedFile::Open(const std::filesystem::path& path, EError& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = EError::FileOpen;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = EError::FileOpen;
        return nullptr;
    }
    std::unique_ptr<CMappedFile> file(new CMappedFile());
    file->size = static_cast<size_t>(st.st_size);
    if (file->size > 0) {
        void* p = ::mmap(nullptr, file->size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            ::close(fd);
            error = EError::Mem;
            return nullptr;
        }
        file->data = static_cast<const uint8_t*>(p);
    }
    ::close(fd);
    error = EError::Ok;
    return file;
}

CMappedFile::~CMappedFile() {
    if (data != nullptr)
        ::munmap(const_cast<uint8_t*>(data), size);
}

} // namespace hml::audio
