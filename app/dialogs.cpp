#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/look.h"

namespace zembrix {

QString FailureText(const QString& message) {
    if (!message.isEmpty()) {
        const char16_t last = message.back().unicode();
        if (last < 0x80 && last <= u'.') return message;
    }
    return message + QLatin1Char('.');
}

namespace {

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(kOkText, QMessageBox::AcceptRole);
    box.setEscapeButton(ok);
    box.exec();
}

}  // namespace

void WidgetDialogs::warning(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Warning, QStringLiteral("警告"), text);
}

void WidgetDialogs::error(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Critical, QStringLiteral("错误"), text);
}

void WidgetDialogs::failure(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Critical, kApplicationTitle, FailureText(text));
}

std::optional<QString> WidgetDialogs::chooseFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.front();
}

}  // namespace zembrix
