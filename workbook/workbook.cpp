#include "workbook/workbook.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "workbook/book.h"
#include "workbook/cfb.h"
#include "workbook/safe_save.h"

namespace zembrix::xls {
namespace fs = std::filesystem;
namespace {

const std::string kSaveAgain = "请用 Excel 或 WPS 打开它，另存为“Excel 97-2003 工作簿(*.xls)”后再打开。";

[[noreturn]] void notWorkbook(const std::string& what) {
    throw WorkbookError(ErrorKind::NotWorkbook, "这个文件" + what + "，不是 Excel 97-2003 工作簿(*.xls)。" + kSaveAgain);
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char wanted, char c) { return std::tolower(static_cast<unsigned char>(c)) == wanted; });
}

bool contains(std::string_view text, std::string_view needle) {
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           }) != text.end();
}

// BIFF2 to BIFF4 files are a bare record stream starting with their BOF.
bool isOldBiff(const std::uint8_t* d, std::size_t size) {
    if (size < 8 || d[1] > 0x04 || (d[1] != 0x00 && d[1] != 0x02 && d[1] != 0x04) || d[0] != 0x09) return false;
    const unsigned length = d[2] | (static_cast<unsigned>(d[3]) << 8);
    return length >= 4 && length <= 20;
}

class SheetView : public CellSheet {
public:
    explicit SheetView(Book& book) : book_(book) {}
    std::string readCell(int row, int column) override {
        if (row < 1 || row > kMaxRow || column < 1 || column > 256) return {};
        return book_.cellText(row, column);
    }
    void writeCell(int row, int column, std::string_view text) override { book_.setCellText(row, column, text); }

private:
    Book& book_;
};

std::vector<std::uint8_t> readWholeFile(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        throw WorkbookError(ErrorKind::NotFound, "找不到文件“" + path.string() + "”。请检查文件名和位置。");
    }
    if (fs::is_directory(status)) {
        throw WorkbookError(ErrorKind::NotFound, "“" + path.string() + "”是一个文件夹，不是文件。");
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) throw WorkbookError(ErrorKind::NotFound, "无法读取文件“" + path.string() + "”：" + ec.message() + "。");
    if (size > kMaxFileSize) {
        throw WorkbookError(ErrorKind::TooLarge, "文件“" + path.string() + "”有 " + std::to_string(size / (1024 * 1024)) +
                                                     " MB，超过了可以处理的 " +
                                                     std::to_string(kMaxFileSize / (1024 * 1024)) +
                                                     " MB。考生名单不会这么大，请确认选择的文件是否正确。");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw WorkbookError(ErrorKind::NotFound, "无法打开文件“" + path.string() + "”：没有读取权限或文件正被占用。");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        throw WorkbookError(ErrorKind::NotFound, "读取文件“" + path.string() + "”时出错：文件在读取过程中发生了变化。");
    }
    return bytes;
}

// What a file that is not an Excel 97-2003 workbook looks like, from its first
// bytes; throws the matching WorkbookError. Returns normally for a compound file.
void identifyFile(const std::uint8_t* data, std::size_t size) {
    if (size == 0) notWorkbook("是空的（0 字节）");
    if (cfb::CompoundFile::hasSignature({data, size})) return;
    const std::string_view head(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096));
    if (startsWith(head, "pk\x03\x04")) notWorkbook("是 .xlsx（Excel 2007 及以后的格式）或其他压缩包");
    if (size >= 2 && data[0] == 0x1F && data[1] == 0x8B) notWorkbook("是 gzip 压缩文件（例如 Gnumeric 工作簿）");
    if (isOldBiff(data, size)) {
        throw WorkbookError(ErrorKind::OldFormat,
                            "这个文件是 Excel 2.x 到 4.0 的旧格式工作簿，无法直接处理。" + kSaveAgain);
    }
    std::string_view text = head;
    if (startsWith(text, "\xef\xbb\xbf")) text.remove_prefix(3);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    if (startsWith(text, "<?xml")) {
        if (contains(head, "urn:schemas-microsoft-com:office:spreadsheet")) {
            notWorkbook("是 XML 表格（Excel 2003 XML，SpreadsheetML）");
        }
        if (contains(head, "<html")) notWorkbook("是网页（HTML）格式，只是扩展名为 .xls");
        notWorkbook("是 XML 文件");
    }
    if (startsWith(text, "<html") || startsWith(text, "<!doctype html") || startsWith(text, "<table") ||
        contains(head, "<html") || startsWith(text, "mime-version:")) {
        notWorkbook("是网页（HTML 或 MHTML）格式，只是扩展名为 .xls");
    }
    if ((size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF)))) {
        notWorkbook("是文本文件（CSV 或制表符分隔）");
    }
    const bool textual = std::all_of(head.begin(), head.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 || u == '\t' || u == '\r' || u == '\n';
    });
    if (textual) notWorkbook("是文本文件（CSV 或制表符分隔）");
    notWorkbook("的格式无法识别");
}

}  // namespace

struct Workbook::Impl {
    fs::path path;
    cfb::CompoundFile container;
    std::size_t workbookEntry = 0;
    Book book;
    SheetView sheet{book};

    Impl(fs::path p, cfb::CompoundFile c, std::size_t entry, Book b)
        : path(std::move(p)), container(std::move(c)), workbookEntry(entry), book(std::move(b)) {}

    static std::unique_ptr<Impl> parse(fs::path path, std::vector<std::uint8_t> bytes) {
        identifyFile(bytes.data(), bytes.size());
        cfb::CompoundFile container = cfb::CompoundFile::parse(std::move(bytes));
        const auto workbook = container.findRootStream(u"Workbook");
        if (!workbook) {
            if (container.findRootStream(u"Book")) {
                throw WorkbookError(ErrorKind::OldFormat,
                                    "这个文件是 Excel 95（BIFF5）格式的旧工作簿，无法直接处理。" + kSaveAgain);
            }
            if (container.findRootStream(u"EncryptedPackage")) {
                throw WorkbookError(ErrorKind::Encrypted,
                                    "这个文件是设置了打开密码的 Excel 2007 及以后格式的工作簿。请在 Excel 中取消密码，"
                                    "另存为“Excel 97-2003 工作簿(*.xls)”后再打开。");
            }
            notWorkbook("是其他程序的复合文档（例如 Word 文档），其中没有 Excel 工作簿");
        }
        Book book = Book::parse(container.readStream(*workbook));
        return std::make_unique<Impl>(std::move(path), std::move(container), *workbook, std::move(book));
    }

    std::vector<std::uint8_t> image() const {
        if (!book.modified()) return container.image();
        return container.replaceStream(workbookEntry, book.serialize());
    }
};

Workbook::Workbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::open(const fs::path& path) {
    return fromParsed(path, readWholeFile(path));
}

std::unique_ptr<Workbook> Workbook::fromBytes(std::vector<std::uint8_t> bytes) { return fromParsed({}, std::move(bytes)); }

std::unique_ptr<Workbook> Workbook::fromParsed(const fs::path& path, std::vector<std::uint8_t> bytes) {
    try {
        return std::unique_ptr<Workbook>(new Workbook(Impl::parse(path, std::move(bytes))));
    } catch (const WorkbookError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw WorkbookError(ErrorKind::Corrupt, "文件已损坏：其中声明的数据大小不合理，无法读取。" + kSaveAgain);
    } catch (const std::exception& e) {
        throw WorkbookError(ErrorKind::Corrupt, std::string("文件已损坏，无法读取（") + e.what() + "）。" + kSaveAgain);
    }
}

CellSheet& Workbook::firstSheet() { return impl_->sheet; }
std::string Workbook::sheetName() const { return impl_->book.sheetName(); }
const fs::path& Workbook::path() const noexcept { return impl_->path; }
std::vector<std::uint8_t> Workbook::saveToBytes() const { return impl_->image(); }

void Workbook::save(const FileOps* ops) {
    std::vector<std::uint8_t> bytes = impl_->image();
    replaceFileContents(impl_->path, bytes, std::span<const std::uint8_t>(impl_->container.image()), ops);
    // What is on disk now is the base for the next save; the book already holds its contents.
    impl_->container = cfb::CompoundFile::parse(std::move(bytes));
}

void Workbook::saveAs(const fs::path& target, const FileOps* ops) {
    const std::vector<std::uint8_t> bytes = impl_->image();
    replaceFileContents(target, bytes, std::nullopt, ops);
}

}  // namespace zembrix::xls
