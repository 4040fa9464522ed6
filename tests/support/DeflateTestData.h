// Deterministic inputs and an in-memory TDeflateIO for compressor tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/deflate/DeflateFile.h"

namespace qm::test {

// Reads from a string and collects the output; records every request and hand-over.
class TMemoryDeflateIO : public TDeflateIO {
  public:
    explicit TMemoryDeflateIO(std::string Input) : FInput(std::move(Input)) {}

    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override;
    void WriteOutput(const uint8_t* Buffer, uint32_t Count) override;

    const std::string& Output() const { return FOutput; }
    struct TRead {
        const uint8_t* Buffer;
        uint32_t Asked;
        uint32_t Got;
    };
    std::vector<TRead> Reads;
    std::vector<uint32_t> Writes;

  private:
    std::string FInput;
    size_t FPosition = 0;
    std::string FOutput;
};

// English-like text from a fixed vocabulary.
std::string MakeText(size_t Size, uint32_t Seed = 1);
// Records of mixed integers, small counters and zero padding, like an executable's tables.
std::string MakeBinary(size_t Size, uint32_t Seed = 2);
// Uniformly random bytes: incompressible.
std::string MakeRandom(size_t Size, uint32_t Seed = 3);
// A de Bruijn sequence over Alphabet letters from First: every 3-byte string occurs once.
std::string MakeDeBruijn3(int Alphabet, char First = 'a');

}  // namespace qm::test
