// zembrix-cli: the format check and the arrangement from the command line.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <malloc.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrange/engine.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

namespace {

constexpr int kOk = 0;
constexpr int kRefused = 1;
constexpr int kFileError = 2;

constexpr const char* kUsage =
    "用法：\n"
    "  zembrix-cli check FILE.xls               检查考生名单的格式，不保存任何改动\n"
    "  zembrix-cli arrange FILE.xls [-o OUT.xls] 检查格式并编排考号、考室、座号，\n"
    "                                            保存到原文件，或保存到 OUT.xls 而不改动原文件\n"
    "  zembrix-cli show FILE.xls [ROWS]          显示第一个工作表前几行（默认12行）的A到F列\n"
    "  zembrix-cli --help | --version\n"
    "\n"
    "考生名单在第一个工作表中：第1行标题，第2行表头，从第3行起每行一名考生，\n"
    "A列学校代码，B列姓名，C列性别（男/女）。考号、考室、座号写入D、E、F列。\n"
    "\n"
    "退出码：0 成功；1 格式检测或编排未通过；2 用法错误或文件错误。\n";

struct Options {
    std::string command;
    std::filesystem::path file;
    std::optional<std::filesystem::path> output;
    int rows = 12;
};

std::optional<Options> parse(const std::vector<std::string_view>& args, int& exitCode) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        exitCode = kOk;
        return std::nullopt;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "zembrix-cli 1.0.0\n";
        exitCode = kOk;
        return std::nullopt;
    }
    exitCode = kFileError;
    Options o;
    if (args.empty() || (args[0] != "check" && args[0] != "arrange" && args[0] != "show")) {
        std::cerr << (args.empty() ? "缺少命令。\n" : "未知的命令：" + std::string(args[0]) + "\n") << kUsage;
        return std::nullopt;
    }
    o.command = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o" && o.command == "arrange" && i + 1 < args.size() && !o.output) {
            o.output = std::filesystem::path(args[++i]);
        } else if (!args[i].empty() && args[i][0] != '-' && o.file.empty()) {
            o.file = std::filesystem::path(args[i]);
        } else if (o.command == "show" && !o.file.empty() && args[i].find_first_not_of("0123456789") == std::string_view::npos &&
                   !args[i].empty() && args[i].size() <= 5) {
            o.rows = std::stoi(std::string(args[i]));
        } else {
            std::cerr << "无法理解的参数：" << args[i] << "\n" << kUsage;
            return std::nullopt;
        }
    }
    if (o.file.empty()) {
        std::cerr << "缺少要处理的 .xls 文件。\n" << kUsage;
        return std::nullopt;
    }
    return o;
}

int run(const Options& o) {
    std::unique_ptr<zembrix::xls::Workbook> workbook = zembrix::xls::Workbook::open(o.file);
    zembrix::CellSheet& sheet = workbook->firstSheet();
    if (o.command == "show") {
        for (int row = 1; row <= std::min(o.rows, zembrix::xls::kMaxRow); ++row) {
            for (int column = 1; column <= 6; ++column) std::cout << (column > 1 ? "\t" : "") << sheet.readCell(row, column);
            std::cout << "\n";
        }
        return kOk;
    }

    std::int32_t recordCount = 0;
    bool checkPassed = false;
    const zembrix::CheckOutcome check = zembrix::CheckFormat(true, sheet, recordCount, checkPassed);
    std::cout << check.message << "\n";
    if (!checkPassed) return kRefused;
    if (o.command == "check") {
        std::cout << "考生 " << recordCount << " 人。\n";
        return kOk;
    }

    zembrix::Roster roster;
    zembrix::ArrangeSummary summary;
    try {
        summary = zembrix::ExecuteArrangement(sheet, roster);
    } catch (const zembrix::ArrangeError& e) {
        std::cout << e.what() << "\n";
        return kRefused;
    }
    if (o.output) workbook->saveAs(*o.output);
    else workbook->save();
    std::cout << zembrix::kArranged << "\n";
    std::cout << "考生 " << summary.candidates << " 人，学校 " << summary.schools << " 所，分组 " << summary.groups
              << " 个，考室 " << summary.rooms << " 间。\n";
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    // The workbook's few large buffers come and go once each; keeping them on the
    // heap instead of fresh mappings saves a page fault per page every time.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    std::vector<std::string_view> args(argv + 1, argv + argc);
    int exitCode = kOk;
    const std::optional<Options> options = parse(args, exitCode);
    if (!options) return exitCode;
    try {
        return run(*options);
    } catch (const zembrix::xls::WorkbookError& e) {
        std::cerr << e.what() << "\n";
        return kFileError;
    } catch (const std::exception& e) {
        std::cerr << "处理文件时出错：" << e.what() << "\n";
        return kFileError;
    }
}
