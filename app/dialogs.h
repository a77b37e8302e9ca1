#pragma once
// Every dialog the windows show goes through here, so that tests can answer them.
#include <QString>

#include <optional>

class QFileDialog;
class QWidget;

namespace zembrix {

// The file-open dialog's one entry: only .xls names, in any letter case.
inline const QString kOpenFilter = QStringLiteral("Microsoft Excel 成绩工作簿(*.xls)");
inline const QString kOkText = QStringLiteral("确定");

// The default failure report's text: a full stop is appended unless the message
// already ends in a single-byte character whose code is at most that of ".".
QString FailureText(const QString& message);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Caption "警告", warning icon, one button "确定".
    virtual void warning(QWidget* parent, const QString& text) = 0;
    // Caption "错误", error icon, one button "确定".
    virtual void error(QWidget* parent, const QString& text) = 0;
    // The default failure report: caption "Zembrix", error icon, one button "确定",
    // the text after FailureText.
    virtual void failure(QWidget* parent, const QString& text) = 0;
    // Runs the file-open dialog; the chosen path, or nothing when cancelled.
    virtual std::optional<QString> chooseFile(QFileDialog& dialog) = 0;
};

// Real message boxes and the real file dialog.
class WidgetDialogs final : public Dialogs {
public:
    void warning(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    void failure(QWidget* parent, const QString& text) override;
    std::optional<QString> chooseFile(QFileDialog& dialog) override;
};

}  // namespace zembrix
