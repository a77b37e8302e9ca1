#include "workbook/safe_save.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "workbook/error.h"

namespace zembrix::xls {
namespace fs = std::filesystem;
namespace {

std::string reason(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return "没有写入权限";
        case ENOSPC: return "磁盘空间不足";
        case EDQUOT: return "磁盘配额已用完";
        case EROFS: return "磁盘是只读的";
        case ENOENT: return "文件夹不存在或已被删除";
        case EISDIR: return "目标是一个文件夹";
        case EIO: return "磁盘读写错误";
        default: return std::strerror(error);
    }
}

[[noreturn]] void fail(const fs::path& target, const std::string& why) {
    throw WorkbookError(ErrorKind::SaveFailed,
                        "保存文件“" + target.string() + "”失败：" + why + "。原文件没有改动，请处理后重试。");
}

bool sameContents(const fs::path& path, std::span<const std::uint8_t> expected) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> buffer(1 << 16);
    std::size_t at = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > expected.size() - at) return false;
        if (std::memcmp(buffer.data(), expected.data() + at, got) != 0) return false;
        at += got;
    }
    return in.eof() && at == expected.size();
}

// Removes the temporary file unless it has been renamed into place.
class TempFile {
public:
    TempFile(const fs::path& target) {
        const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        std::string name(".");
        name.append(target.filename().string()).append(".zembrix-XXXXXX");
        pattern_ = (dir / name).string();
        fd_ = ::mkstemp(pattern_.data());
        if (fd_ < 0) fail(target, "无法在文件夹“" + dir.string() + "”中创建临时文件（" + reason(errno) + "）");
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(pattern_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    int fd() const { return fd_; }
    const std::string& path() const { return pattern_; }
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void commit() { committed_ = true; }

private:
    std::string pattern_;
    int fd_ = -1;
    bool committed_ = false;
};

// The file a path finally names, following symbolic links.
fs::path resolveTarget(const fs::path& path) {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(path, ec);
    if (ec || !fs::is_symlink(link)) return path;
    const fs::path target = fs::canonical(path, ec);
    if (ec) fail(path, "它是一个链接，但链接指向的文件不存在");
    return target;
}

}  // namespace

void replaceFileContents(const fs::path& requested, std::span<const std::uint8_t> bytes,
                         std::optional<std::span<const std::uint8_t>> expected, const FileOps* ops) {
    const fs::path target = resolveTarget(requested);

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) fail(target, "这个路径现在是一个文件夹");
    if (exists && !S_ISREG(st.st_mode)) fail(target, "这个路径不是普通文件");
    if (expected) {
        if (!exists || !sameContents(target, *expected)) {
            throw WorkbookError(ErrorKind::ChangedOnDisk,
                                "文件“" + target.string() +
                                    "”在打开之后已被其他程序修改、移动或删除。为了不覆盖别人的修改，没有保存。"
                                    "请重新打开该文件后再编排。");
        }
    }
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        fail(target, "文件是只读的");
    }

    TempFile temp(target);
    const mode_t mode = exists ? (st.st_mode & 07777) : 0644;
    if (::fchmod(temp.fd(), mode) != 0) fail(target, "无法设置临时文件的权限（" + reason(errno) + "）");
    if (exists) {
        // Keeps the owner when we may (as root); otherwise the file becomes ours, as any editor's save does.
        [[maybe_unused]] const int ignored = ::fchown(temp.fd(), st.st_uid, st.st_gid);
    }

    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        const ssize_t n = ops && ops->write ? ops->write(temp.fd(), bytes.data() + done, chunk)
                                            : ::write(temp.fd(), bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(target, "写入时出错（" + reason(n < 0 ? errno : ENOSPC) + "）");
        done += static_cast<std::size_t>(n);
    }
    if ((ops && ops->fsync ? ops->fsync(temp.fd()) : ::fsync(temp.fd())) != 0) {
        fail(target, "写入磁盘时出错（" + reason(errno) + "）");
    }
    if (temp.close() != 0) fail(target, "写入磁盘时出错（" + reason(errno) + "）");
    if ((ops && ops->rename ? ops->rename(temp.path().c_str(), target.c_str())
                            : ::rename(temp.path().c_str(), target.c_str())) != 0) {
        fail(target, "无法用新文件替换原文件（" + reason(errno) + "）");
    }
    temp.commit();

    // Makes the rename itself durable; a failure here no longer loses anything.
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace zembrix::xls
