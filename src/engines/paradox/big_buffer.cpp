#include "engines/paradox/big_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

namespace korva::paradox {

namespace {
constexpr std::size_t kHugePage = 2u << 20;
}

BigBuffer::BigBuffer(std::size_t size) : size_(size)
{
    if (size == 0)
        return;
    if (size >= kHugePage) {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            // Only advice: without huge pages the memory works the same.
            ::madvise(p, size, MADV_HUGEPAGE);
            data_ = static_cast<std::uint8_t*>(p);
            mapped_ = true;
            return;
        }
    }
    data_ = static_cast<std::uint8_t*>(std::malloc(size));
    if (!data_)
        throw std::bad_alloc();
}

BigBuffer::~BigBuffer()
{
    release();
}

BigBuffer::BigBuffer(BigBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false))
{
}

BigBuffer& BigBuffer::operator=(BigBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

void BigBuffer::release()
{
    if (mapped_)
        ::munmap(data_, size_);
    else
        std::free(data_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

}  // namespace korva::paradox
