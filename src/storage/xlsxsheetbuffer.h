#pragma once
// Private to the reader.

#include <QtGlobal>
#include <algorithm>
#include <sys/mman.h>
#include <vector>

// The bytes of one inflated sheet. A big one is mapped in huge pages where the system offers
// them: filling 40 MB page by page took longer than inflating it.
class SheetBuffer {
public:
    explicit SheetBuffer(qint64 size) : size_(size_t(std::max<qint64>(size, 1))) {
        if (size_ < kHuge) {
            small_.resize(size_);
            data_ = small_.data();
            return;
        }
        mapped_ = (size_ + kHuge - 1) / kHuge * kHuge + kHuge;
        void* map =
            mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            mapped_ = 0;
            return;
        }
        map_ = static_cast<char*>(map);
        // Huge pages must start on a huge page boundary.
        data_ =
            reinterpret_cast<char*>((reinterpret_cast<quintptr>(map_) + kHuge - 1) / kHuge * kHuge);
#ifdef MADV_HUGEPAGE
        madvise(data_, mapped_ - size_t(data_ - map_), MADV_HUGEPAGE);
#endif
    }
    ~SheetBuffer() {
        if (map_)
            munmap(map_, mapped_);
    }
    SheetBuffer(const SheetBuffer&) = delete;
    SheetBuffer& operator=(const SheetBuffer&) = delete;
    char* data() {
        return data_;
    }

private:
    static constexpr size_t kHuge = size_t(2) << 20;
    size_t size_;
    size_t mapped_ = 0;
    char* map_ = nullptr;
    char* data_ = nullptr;
    std::vector<char> small_;
};
