// The command-line convention every program of ours follows:
//   --help      usage on standard output, exit 0;
//   bad usage   one line naming the problem and a hint to --help, on standard error, exit 2;
//   failure     a clear message on standard error while working, exit 1.
// Plus the two things every tool does with its input: strict numbers and whole files.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// "program: message" and the hint, on standard error; returns kExitUsage.
inline int UsageError(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%.*s: %.*s\nTry '%.*s --help' for more information.\n",
                 static_cast<int>(program.size()), program.data(), static_cast<int>(message.size()),
                 message.data(), static_cast<int>(program.size()), program.data());
    return kExitUsage;
}

// "program: message" on standard error; returns kExitFailed.
inline int Failure(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(program.size()), program.data(),
                 static_cast<int>(message.size()), message.data());
    return kExitFailed;
}

// Runs a program's body and returns its exit status; an exception that escapes the body is
// reported as a failure rather than ending the program with an abort.
template <class Body> int Guarded(std::string_view program, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Failure(program, "out of memory");
    } catch (const std::exception& e) {
        return Failure(program, e.what());
    } catch (...) {
        return Failure(program, "unexpected failure");
    }
}

// A whole number and nothing else: an optional minus sign, then decimal digits (or "0x" and
// hexadecimal digits when fHex), within [nMin, nMax]. Anything else, "1x", "" or an
// out-of-range value included, gives nothing.
inline std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t nMin,
                                                std::int64_t nMax, bool fHex = false) {
    bool fNegative = !text.empty() && text.front() == '-';
    if (fNegative) text.remove_prefix(1);
    int nBase = 10;
    if (fHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        nBase = 16;
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    std::uint64_t nMagnitude = 0;
    auto [pEnd, ec] = std::from_chars(text.data(), text.data() + text.size(), nMagnitude, nBase);
    if (ec != std::errc() || pEnd != text.data() + text.size()) return std::nullopt;
    // Magnitudes beyond the int64 range are refused before they are negated.
    constexpr std::uint64_t kMaxMagnitude = std::uint64_t{1} << 63;
    if (nMagnitude > (fNegative ? kMaxMagnitude : kMaxMagnitude - 1)) return std::nullopt;
    std::int64_t n = fNegative ? static_cast<std::int64_t>(0 - nMagnitude)
                               : static_cast<std::int64_t>(nMagnitude);
    if (n < nMin || n > nMax) return std::nullopt;
    return n;
}

// Reads a whole regular file of at most cbLimit bytes. On failure returns false and sets
// *pError to a sentence naming the file and what is wrong (missing, a folder, unreadable,
// too large); the size is checked before anything is read.
inline bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>* pData,
                          std::string* pError, std::uint64_t cbLimit = std::uint64_t{1} << 30) {
    namespace fs = std::filesystem;
    const std::string strName = path.string();
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        *pError = strName + ": no such file";
        return false;
    }
    if (fs::is_directory(status)) {
        *pError = strName + ": is a folder, not a file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *pError = strName + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    std::uint64_t cbFile = 0;
    if (fs::is_regular_file(status)) {
        cbFile = fs::file_size(path, ec);
        if (!ec && cbFile > cbLimit) {
            *pError = strName + ": too large (" + std::to_string(cbFile) + " bytes; at most " +
                      std::to_string(cbLimit) + ")";
            return false;
        }
    }
    // Pipes and devices have no size: they are read in pieces, up to the same limit.
    pData->clear();
    pData->reserve(static_cast<std::size_t>(cbFile));
    char buffer[65536];
    while (file) {
        file.read(buffer, sizeof(buffer));
        pData->insert(pData->end(), buffer, buffer + file.gcount());
        if (pData->size() > cbLimit) {
            *pError = strName + ": too large (more than " + std::to_string(cbLimit) + " bytes)";
            return false;
        }
    }
    if (file.bad()) {
        *pError = strName + ": read failed";
        return false;
    }
    return true;
}

} // namespace cli
