// A stream over a growable block of memory; used for records built in memory and by tests.
#pragma once

#include <string>
#include <vector>

#include "platform/Stream.h"

namespace qm {

class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string Bytes) : FData(Bytes.begin(), Bytes.end()) {}

    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    void SetSize(int64_t NewSize) override;

    const std::vector<unsigned char>& Bytes() const { return FData; }
    std::string Text() const { return std::string(FData.begin(), FData.end()); }
    void Clear() {
        FData.clear();
        FPosition = 0;
    }

  private:
    std::vector<unsigned char> FData;
    int64_t FPosition = 0;
};

}  // namespace qm
