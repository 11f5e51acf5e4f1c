#include "edog/data_map.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace e_dog {

DataMap::DataMap(int fd, std::uint32_t records) : fd_(fd), records_(records) {
    const std::size_t length = std::size_t{records} * kRecordSize;
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
        bytes_ = static_cast<const unsigned char*>(p);
        length_ = length;
    }
}

DataMap::~DataMap() {
    release();
}

DataMap::DataMap(DataMap&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      bytes_(std::exchange(other.bytes_, nullptr)),
      length_(std::exchange(other.length_, 0)),
      records_(std::exchange(other.records_, 0)) {}

DataMap& DataMap::operator=(DataMap&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        bytes_ = std::exchange(other.bytes_, nullptr);
        length_ = std::exchange(other.length_, 0);
        records_ = std::exchange(other.records_, 0);
    }
    return *this;
}

void DataMap::release() noexcept {
    if (bytes_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(bytes_), length_);
    }
    bytes_ = nullptr;
    length_ = 0;
    records_ = 0;
    fd_ = -1;
}

E_DOG_DATA DataMap::record(std::uint32_t i) const {
    if (bytes_ != nullptr) {
        return decode_record(bytes_ + std::size_t{i} * kRecordSize);
    }
    RecordBytes b{};
    const auto offset = static_cast<off_t>(i) * static_cast<off_t>(kRecordSize);
    if (::pread(fd_, b.data(), b.size(), offset) != static_cast<ssize_t>(b.size())) {
        return E_DOG_DATA{};
    }
    return decode_record(b.data());
}

}  // namespace e_dog
