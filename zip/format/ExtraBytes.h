// TExtraBytes: the bytes of an entry's kept extra blocks in 16 bytes: up to 14 of them in place
// (a timestamp block, which nearly every entry has, is 9), more on the heap. A back-up may hold
// millions of entries, and a string would take twice the room.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace qm {

class TExtraBytes {
  public:
    TExtraBytes() = default;
    TExtraBytes(const TExtraBytes& Other) { Assign(Other.View()); }
    TExtraBytes& operator=(const TExtraBytes& Other) {
        if (this != &Other) Assign(Other.View());
        return *this;
    }
    TExtraBytes& operator=(std::string_view Bytes) {
        Assign(Bytes);
        return *this;
    }
    ~TExtraBytes() { Release(); }

    size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    const char* data() const { return FSize <= kInPlace ? FStore : Heap(); }
    void clear() { Assign({}); }
    std::string_view View() const { return {data(), FSize}; }
    operator std::string_view() const { return View(); }

    friend bool operator==(const TExtraBytes& A, std::string_view B) { return A.View() == B; }
    friend bool operator==(const TExtraBytes& A, const TExtraBytes& B) {
        return A.View() == B.View();
    }

  private:
    static constexpr size_t kInPlace = 14;

    char* Heap() const {
        char* p = nullptr;
        std::memcpy(&p, FStore, sizeof p);
        return p;
    }
    void Release() {
        if (FSize > kInPlace) delete[] Heap();
        FSize = 0;
    }
    void Assign(std::string_view Bytes) {
        char* heap = nullptr;
        if (Bytes.size() > kInPlace) {
            heap = new char[Bytes.size()];
            std::memcpy(heap, Bytes.data(), Bytes.size());
        }
        char copy[kInPlace];
        if (heap == nullptr && !Bytes.empty()) std::memcpy(copy, Bytes.data(), Bytes.size());
        Release();
        if (heap != nullptr)
            std::memcpy(FStore, &heap, sizeof heap);
        else if (!Bytes.empty())
            std::memcpy(FStore, copy, Bytes.size());
        FSize = static_cast<uint16_t>(Bytes.size());
    }

    alignas(8) char FStore[kInPlace] = {};
    uint16_t FSize = 0;  // extra fields are at most 65,535 bytes
};

}  // namespace qm
