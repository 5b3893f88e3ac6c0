#pragma once

// Memory for bulk work over a whole table (its records, the keys of an index being built):
// left uninitialised, and for large sizes mapped with transparent huge pages asked for, since
// on some machines touching millions of small pages costs more than the work itself.

#include <cstddef>
#include <cstdint>

namespace korva::paradox {

class BigBuffer {
public:
    BigBuffer() = default;
    explicit BigBuffer(std::size_t size);
    ~BigBuffer();
    BigBuffer(BigBuffer&& other) noexcept;
    BigBuffer& operator=(BigBuffer&& other) noexcept;
    BigBuffer(const BigBuffer&) = delete;
    BigBuffer& operator=(const BigBuffer&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    void release();

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace korva::paradox
