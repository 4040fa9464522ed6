#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include "platform/ReplaceFile.h"

namespace fs = std::filesystem;

namespace qm {

namespace {

enum TLoad { ldLoaded, ldMissing, ldUnreadable };

// The whole file. A file that exists but cannot be read (no permission, no regular file, a read
// error) is told apart from a missing one: reads take both as missing, but a write must not
// replace a file it could not read, or the sections of other programs would be lost.
TLoad LoadFile(const std::string& FileName, std::string& Text) {
    Text.clear();
    // Non-blocking, so that a FIFO in place of the file cannot hang the open.
    int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? ldMissing : ldUnreadable;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        Text.reserve(static_cast<size_t>(st.st_size));
        char buffer[65536];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                Text.append(buffer, static_cast<size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                ok = false;
                break;
            }
        }
    }
    ::close(fd);
    if (!ok) Text.clear();
    return ok ? ldLoaded : ldUnreadable;
}

bool WriteAll(int Fd, const std::string& Text) {
    size_t done = 0;
    while (done < Text.size()) {
        ssize_t n = ::write(Fd, Text.data() + done, Text.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

// Creates a new file with a unique name from Pattern (ending in "XXXXXX", replaced) for
// writing. Made with mode 0666 less the process's umask, which the kernel applies: reading the
// umask would mean changing it, process-wide state that other threads may be using.
int CreateUniqueFile(std::string& Pattern) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const size_t suffix = Pattern.size() - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = suffix; i < Pattern.size(); ++i)
            Pattern[i] = kLetters[random() % (sizeof kLetters - 1)];
        int fd = ::open(Pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes Text into a new file next to Target and renames it over Target.
bool WriteReplacement(const fs::path& Target, const std::string& Text) {
    std::error_code ec;
    fs::path folder = Target.parent_path();
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) return false;

    std::string temp = (folder / ("." + Target.filename().string() + ".XXXXXX")).string();
    int fd = CreateUniqueFile(temp);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, Text);
    ok = (::close(fd) == 0) && ok;
    // A new settings file keeps the mode it was created with (0666 less the umask).
    ok = ok && ReplaceFile(temp, Target.string(), DefaultFileMode()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

}  // namespace

int StrToIntDef(std::string_view Text, int Default) {
    if (Text.empty()) return Default;
    std::string_view hex;
    if (Text.front() == '$')
        hex = Text.substr(1);
    else if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X'))
        hex = Text.substr(2);
    if (hex.data() != nullptr) {
        if (hex.empty()) return Default;
        unsigned long long value = 0;
        for (char c : hex) {
            int d = HexDigit(c);
            if (d < 0) return Default;
            value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFull) return Default;
        }
        return static_cast<int>(static_cast<uint32_t>(value));
    }
    bool negative = Text.front() == '-';
    std::string_view digits = negative ? Text.substr(1) : Text;
    if (digits.empty()) return Default;
    long long value = 0;
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    for (char c : digits) {
        if (c < '0' || c > '9') return Default;
        value = value * 10 + (c - '0');
        if (value > limit) return Default;
    }
    return static_cast<int>(negative ? -value : value);
}

std::string TProfileFile::ReadString(const std::string& Section, const std::string& Key,
                                     const std::string& Default) const {
    std::string text;
    if (LoadFile(FFileName, text) != ldLoaded) return Default;
    std::optional<std::string_view> value = FindProfileValue(text, Section, Key);
    // Whole, whatever its length: a cut file types list would back up the wrong files.
    return value ? std::string(*value) : Default;
}

int TProfileFile::ReadInteger(const std::string& Section, const std::string& Key,
                              int Default) const {
    return StrToIntDef(ReadString(Section, Key, std::string()), Default);
}

bool TProfileFile::ReadBool(const std::string& Section, const std::string& Key,
                            bool Default) const {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TProfileFile::WriteString(const std::string& Section, const std::string& Key,
                               const std::string& Value) const {
    CheckStorable(Section, Key, Value);
    std::string text;
    if (LoadFile(FFileName, text) == ldUnreadable) RaiseWriteError();
    Store(SetProfileValue(text, Section, Key, Value));
}

void TProfileFile::WriteInteger(const std::string& Section, const std::string& Key,
                                int Value) const {
    WriteString(Section, Key, std::to_string(Value));
}

void TProfileFile::WriteBool(const std::string& Section, const std::string& Key, bool Value) const {
    WriteString(Section, Key, Value ? "1" : "0");
}

void TProfileFile::EraseSection(const std::string& Section) const {
    std::string text;
    const TLoad load = LoadFile(FFileName, text);
    if (load == ldMissing) return;
    if (load == ldUnreadable) RaiseWriteError();
    if (EraseProfileSection(text, Section)) Store(text);
}

void TProfileFile::ReplaceSection(const std::string& Section,
                                  const std::vector<TProfileEntry>& Entries) const {
    if (Entries.empty()) {
        EraseSection(Section);
        return;
    }
    for (const auto& [key, value] : Entries) CheckStorable(Section, key, value);
    std::string text;
    if (LoadFile(FFileName, text) == ldUnreadable) RaiseWriteError();
    Store(ReplaceProfileSection(text, Section, Entries));
}

void TProfileFile::RaiseWriteError() const {
    std::error_code ec;
    fs::path full = fs::absolute(FFileName, ec);
    throw EIniFileException(
        FormatMessage("Unable to write to %s", ec ? FFileName : full.lexically_normal().string()));
}

void TProfileFile::CheckStorable(const std::string& Section, const std::string& Key,
                                 const std::string& Value) const {
    if (!IsStorableProfileSection(Section) || !IsStorableProfileKey(Key) ||
        !IsStorableProfileValue(Value))
        RaiseWriteError();
}

void TProfileFile::Store(const std::string& Text) const {
    std::error_code ec;
    fs::path target = fs::absolute(FFileName, ec);
    if (ec) RaiseWriteError();
    // Replace the file a symbolic link points to, not the link.
    if (!WriteReplacement(ReplacementTarget(target.string()), Text)) RaiseWriteError();
}

}  // namespace qm
