// Deflate round trip: any input at any level compresses to data that gives the input back (the
// stream decodes to it, or a raw entry is the input itself), the reported size is the bytes
// handed over, and every distance stays within the search limit. The work buffers and tables are
// kept from input to input, as the writer keeps them from file to file, so state left behind by
// one file is exercised by the next.
//
// The first byte picks the level (1 to 9); the second, if present, cuts the reads into smaller
// pieces at the end of the file to vary where the window slides. The rest is the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/DeflateDecoder.h"
#include "zip/deflate/DeflateFile.h"

namespace {

class TFuzzIO : public qm::TDeflateIO {
  public:
    TFuzzIO(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override {
        const size_t N = std::min<size_t>(Count, FSize - FPos);
        std::memcpy(Buffer, FData + FPos, N);
        FPos += N;
        return static_cast<uint32_t>(N);
    }
    void WriteOutput(const uint8_t* Buffer, uint32_t Count) override {
        Output.append(reinterpret_cast<const char*>(Buffer), Count);
    }
    std::string Output;

  private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

void Check(bool Condition) {
    if (!Condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static qm::TDeflateBuffers Buffers;
    static qm::TDeflateStaticTables Tables;
    if (Size == 0) return 0;
    const int Level = 1 + Data[0] % 9;
    ++Data;
    --Size;
    // Repeat short inputs so that the window fills and slides now and then.
    std::string File(reinterpret_cast<const char*>(Data), Size);
    if (!File.empty() && File[0] == 'R') {
        const std::string Unit = File;
        while (File.size() < 200000) File += Unit;
    }

    TFuzzIO IO(reinterpret_cast<const uint8_t*>(File.data()), File.size());
    qm::TDeflateEntryBits Entry;
    const qm::TDeflateResult R = qm::DeflateFile(Level, Buffers, Tables, IO, Entry);
    Check(R.CompressedSize == IO.Output.size());
    Check(R.WrittenRaw == (Entry.Method == 0));
    Check(Entry.InternalAttributes == 0 || Entry.InternalAttributes == 1);
    if (Entry.Method == 0) {
        Check(IO.Output == File);
    } else {
        const qm::test::TDeflateDecoded D = qm::test::DecodeDeflate(IO.Output);
        Check(D.Bytes == File);
        Check(D.StreamBytes == IO.Output.size());
        for (const auto& T : D.Tokens) Check(!T.IsMatch() || T.Distance <= 32506);
    }
    return 0;
}
