#pragma once
// Replacing a file's contents so that it is either wholly the old file or
// wholly the new one: written beside it, flushed, then renamed over it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <sys/types.h>

namespace zembrix::xls {

// Seams for tests that inject failures; the defaults are the system calls.
struct FileOps {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;
};

// Writes bytes to target. When expected is given, the file now at target must
// hold exactly those bytes (it is what we opened), or nothing is written.
// Throws WorkbookError (SaveFailed or ChangedOnDisk); target is untouched then,
// and no temporary file is left behind.
void replaceFileContents(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                         std::optional<std::span<const std::uint8_t>> expected, const FileOps* ops = nullptr);

}  // namespace zembrix::xls
